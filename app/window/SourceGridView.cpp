#include "SourceGridView.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QUrl>

#include "SourceGridDelegate.h"
#include "SourceGridModel.h"

TSourceGridView::TSourceGridView(TSourceGridModel* model, QWidget* parent)
    : QTableView(parent), FModel(model) {
    setModel(model);
    setItemDelegate(new TSourceGridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDropIndicatorShown(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    // Every row is a slide of the same height: no measuring of rows.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(SlideHeight);
    horizontalHeader()->setStretchLastSection(false);
    // The slide is painted in column 0; the other columns stay in the model, hidden.
    for (int column = 1; column < SourceColumnCount; ++column)
        setColumnHidden(column, true);
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    // One Tab stop: Tab leaves the grid, the arrows move inside it.
    setTabKeyNavigation(false);
}

void TSourceGridView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        event->modifiers() == Qt::NoModifier && currentIndex().isValid() && OnRowEntered) {
        OnRowEntered();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

int TSourceGridView::DropTargetRow(int from, const QPoint& position) const {
    const int last = FModel->rowCount() - 1;
    const QModelIndex at = indexAt(position);
    if (!at.isValid())
        return last;
    // The lower half of a row drops after it.
    const QRect rect = visualRect(at);
    int target = at.row() + (position.y() >= rect.center().y() ? 1 : 0);
    if (target > from)
        --target;
    return std::clamp(target, 0, last);
}

void TSourceGridView::startDrag(Qt::DropActions) {
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty())
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(FModel->mimeData(rows));
    const QRect rect = visualRect(rows.first());
    drag->setPixmap(viewport()->grab(QRect(rect.left(), rect.top(), rect.width(), SlideHeight)));
    // The drop moves the row itself; nothing is removed afterwards.
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

void TSourceGridView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->source() == this || event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void TSourceGridView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->source() == this) {
        QTableView::dragMoveEvent(event);
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void TSourceGridView::dropEvent(QDropEvent* event) {
    if (event->source() == this && event->mimeData()->hasFormat(SourceRowMimeType)) {
        bool ok = false;
        const int from = event->mimeData()->data(SourceRowMimeType).toInt(&ok);
        if (ok && OnRowDragged)
            OnRowDragged(from, DropTargetRow(from, event->position().toPoint()));
        event->setDropAction(Qt::MoveAction);
        event->accept();
        setState(NoState);
        viewport()->update();
        return;
    }
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        if (OnFilesDropped)
            OnFilesDropped(DroppedLocalFiles(event->mimeData()));
        return;
    }
    event->ignore();
}

std::vector<std::string> DroppedLocalFiles(const QMimeData* data) {
    std::vector<std::string> files;
    if (!data)
        return files;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            files.push_back(url.toLocalFile().toStdString());
    return files;
}
