#include "graph/ui/DataSetListModel.h"

#include <algorithm>

namespace kl516 {

namespace {
const char* const kTitles[DataSetListModel::kColumns] = {"Set",  "DATE", "TIME",  "Rate",
                                                          "Nums", "A/C",  "Fa/Sl", "LEVEL"};
}

DataSetListModel::DataSetListModel(QObject* parent) : QAbstractTableModel(parent) {}

void DataSetListModel::setSets(const DataSetTable& table, const QLocale& locale) {
    beginResetModel();
    DataSetHeaders headers{table.startTimes(),   table.intervals(),    table.counts(),
                           table.modes(),        table.recordStarts(), table.recordEnds()};
    sets_.replaceAll(std::move(headers));
    locale_ = locale;
    cachedRow_ = -1;
    cachedTexts_.clear();
    cache_ = {};
    endResetModel();
}

void DataSetListModel::setStartTime(int set, SerialDateTime start) {
    if (set < 0 || set >= sets_.setCount()) return;
    sets_.changeStartTime(set, start);  // the copy holds headers only: no samples move
    if (cachedRow_ == set) cachedRow_ = -1;
    emit dataChanged(index(set, 1), index(set, 2), {Qt::DisplayRole});
}

QString DataSetListModel::text(int row, int column) const {
    if (row < 0 || row >= sets_.setCount() || column < 0 || column >= kColumns) return {};
    if (row != cachedRow_) {
        cachedTexts_ = sets_.rowText(row, locale_, cache_);
        cachedRow_ = row;
    }
    return cachedTexts_.value(column);
}

int DataSetListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max(1, sets_.setCount());
}

int DataSetListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant DataSetListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    return text(index.row(), index.column());
}

QVariant DataSetListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
        section >= kColumns)
        return {};
    return QLatin1String(kTitles[section]);
}

}  // namespace kl516
