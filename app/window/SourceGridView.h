// The view of the source grid: whole rows selected one at a time, read-only, rows moved by
// dragging them inside the grid, local files dropped from outside handed to the window.
#pragma once

#include <QTableView>
#include <functional>
#include <string>
#include <vector>

class TSourceGridModel;

class TSourceGridView final : public QTableView {
    Q_OBJECT
public:
    TSourceGridView(TSourceGridModel* model, QWidget* parent);

    // The dropped local files and folders, in the order given.
    std::function<void(const std::vector<std::string>&)> OnFilesDropped;
    // A row was moved by dragging it to `to`.
    std::function<void(int from, int to)> OnRowDragged;
    // Enter or Return on the current row.
    std::function<void()> OnRowEntered;

    // The index a row dragged from `from` and dropped at `position` (viewport
    // coordinates) ends at.
    int DropTargetRow(int from, const QPoint& position) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TSourceGridModel* FModel;
};

// The local files of a drop, in the order given.
std::vector<std::string> DroppedLocalFiles(const class QMimeData* data);
