#pragma once

#include <QAbstractTableModel>
#include <QLocale>
#include <QStringList>

#include "dataset/DataSetTable.h"

namespace kl516 {

// The data-set list of the DataLogger window: one row per set, the eight texts of
// DataSetTable::rowText. The model keeps its own copy of the sets' header lists and formats a
// row only when a view asks for it, so that listing 4000 sets costs a copy of their headers,
// not 32 000 strings. A list without sets keeps one empty row.
class DataSetListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 8;

    explicit DataSetListModel(QObject* parent = nullptr);

    // Lists the sets of `table` (their samples are not copied), texts formatted in `locale`.
    void setSets(const DataSetTable& table, const QLocale& locale);
    int setCount() const { return sets_.setCount(); }
    // Set `set` now starts at `start`: its DATE and TIME cells show the new start.
    void setStartTime(int set, SerialDateTime start);
    // The text in one cell; empty outside the sets.
    QString text(int row, int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    DataSetTable sets_;  // header lists only
    QLocale locale_;
    // A view asks for a row's cells one after another: the row's texts are made once.
    mutable int cachedRow_ = -1;
    mutable QStringList cachedTexts_;
    mutable DataSetTable::RowTextCache cache_;
};

}  // namespace kl516
