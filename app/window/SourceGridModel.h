// The rows of the source grid `NextGrid`: one source file per row, fourteen columns (the
// thumbnail, the four shown lines and the hidden facts), kept in the order of conversion.
#pragma once

#include <QAbstractTableModel>
#include <QImage>
#include <QString>
#include <array>
#include <vector>

enum TSourceColumn : int {
    NxGraphicColumnMainImage,
    NxTextColumnFileMinName,
    NxTextColumnDuration,
    NxTextColumnBitrate,
    NxTextColumnDimension,
    NxTextColumnFileFullName,
    NxTextColumnFileSize,
    NxTextColumnVideoEncoder,
    NxTextColumnAudioChannels,
    NxTextColumnAudioSampleRate,
    NxTextColumnAudioBitrate,
    NxTextColumnAudioEncoder,
    NxTextColumnFrameRate,
    NxTextColumnRealDuration,
    SourceColumnCount
};

struct TSourceRow {
    QImage Picture;                               // column 0; shared with the window's list
    std::array<QString, SourceColumnCount> Texts; // columns 1 to 13 (entry 0 unused)
};

// The MIME type of a row dragged inside the grid: its row number in decimal.
inline constexpr const char* SourceRowMimeType = "application/x-audioconv-source-row";

class TSourceGridModel final : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Column 0: the picture (decoration) and, for the accessibility interface, the four
    // shown lines; the text columns: their text.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    // Moves one row (count 1) to stand before `destinationChild`.
    bool moveRows(const QModelIndex& sourceParent, int sourceRow, int count,
                  const QModelIndex& destinationParent, int destinationChild) override;

    // Appends rows at the end, in one insertion.
    void AppendRows(std::vector<TSourceRow> rows);
    void RemoveSourceRow(int row);
    void Clear();
    // Moves the row at `from` so that it ends up at index `to`.
    bool MoveSourceRow(int from, int to);

    const QString& Text(int row, TSourceColumn column) const;

private:
    std::vector<TSourceRow> FRows;
};
