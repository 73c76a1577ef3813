#include "SourceGridModel.h"

#include <QMimeData>

namespace {

constexpr const char* ColumnNames[SourceColumnCount] = {
    "Picture",        "File",        "Duration",      "Bit rate",      "Audio encoder",
    "Full name",      "File size",   "Video encoder", "Channels",      "Sample rate",
    "Audio bit rate", "Audio codec", "Frame rate",    "Duration (us)",
};

} // namespace

int TSourceGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TSourceGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : SourceColumnCount;
}

QVariant TSourceGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const TSourceRow& row = FRows[static_cast<size_t>(index.row())];
    if (index.column() == NxGraphicColumnMainImage) {
        if (role == Qt::DecorationRole)
            return row.Picture;
        // The slide as a screen reader reads it: the four lines it shows.
        if (role == Qt::AccessibleTextRole || role == Qt::ToolTipRole)
            return row.Texts[NxTextColumnFileFullName] + '\n' + row.Texts[NxTextColumnDuration] +
                   '\n' + row.Texts[NxTextColumnBitrate] + '\n' + row.Texts[NxTextColumnDimension];
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return row.Texts[static_cast<size_t>(index.column())];
    return {};
}

QVariant TSourceGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    return section >= 0 && section < SourceColumnCount ? QString(ColumnNames[section]) : QVariant();
}

Qt::ItemFlags TSourceGridModel::flags(const QModelIndex& index) const {
    // Read-only rows that can be dragged to a new place.
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

Qt::DropActions TSourceGridModel::supportedDropActions() const {
    return Qt::MoveAction;
}

QStringList TSourceGridModel::mimeTypes() const {
    return {SourceRowMimeType};
}

QMimeData* TSourceGridModel::mimeData(const QModelIndexList& indexes) const {
    if (indexes.isEmpty())
        return nullptr;
    auto* data = new QMimeData;
    data->setData(SourceRowMimeType, QByteArray::number(indexes.first().row()));
    return data;
}

bool TSourceGridModel::moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                                const QModelIndex& destinationParent, int destinationChild) {
    const int size = rowCount();
    if (sourceParent.isValid() || destinationParent.isValid() || count != 1 || sourceRow < 0 ||
        sourceRow >= size || destinationChild < 0 || destinationChild > size ||
        destinationChild == sourceRow || destinationChild == sourceRow + 1)
        return false;
    if (!beginMoveRows({}, sourceRow, sourceRow, {}, destinationChild))
        return false;
    TSourceRow moved = std::move(FRows[static_cast<size_t>(sourceRow)]);
    FRows.erase(FRows.begin() + sourceRow);
    const int target = destinationChild > sourceRow ? destinationChild - 1 : destinationChild;
    FRows.insert(FRows.begin() + target, std::move(moved));
    endMoveRows();
    return true;
}

void TSourceGridModel::AppendRows(std::vector<TSourceRow> rows) {
    if (rows.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
    FRows.reserve(FRows.size() + rows.size());
    for (TSourceRow& row : rows)
        FRows.push_back(std::move(row));
    endInsertRows();
}

void TSourceGridModel::RemoveSourceRow(int row) {
    if (row < 0 || row >= rowCount())
        return;
    beginRemoveRows({}, row, row);
    FRows.erase(FRows.begin() + row);
    endRemoveRows();
}

void TSourceGridModel::Clear() {
    beginResetModel();
    FRows.clear();
    endResetModel();
}

bool TSourceGridModel::MoveSourceRow(int from, int to) {
    if (to < 0 || to >= rowCount())
        return false;
    return moveRows({}, from, 1, {}, to > from ? to + 1 : to);
}

const QString& TSourceGridModel::Text(int row, TSourceColumn column) const {
    return FRows.at(static_cast<size_t>(row)).Texts[static_cast<size_t>(column)];
}
