#pragma once

#include <QWidget>

#include "formats/ListTable.h"

class QTableView;

namespace kl516 {

// The tabular list: a text file shown as a table, one row per line with its number in front.
// Its caption is the file's full path. It is filled once, by the text reader, and destroyed
// when closed.
class TabularListWindow final : public QWidget {
    Q_OBJECT
  public:
    // Row height of the table at 96 dpi.
    static constexpr int kRowHeight = 18;

    explicit TabularListWindow(const QString& caption, QWidget* parent = nullptr);

    QString caption() const { return windowTitle(); }
    ListTableModel& table() const { return *model_; }

    // Controls
    QTableView* listTable;

  private:
    ListTableModel* model_;
};

}  // namespace kl516
