#include "Tindrel/mainwindow/FolderCrateList.h"

#include "Tindrel/mainwindow/FolderCrateModel.h"
#include "Tindrel/mainwindow/FolderCrateRowDelegate.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QScrollBar>

namespace tindrel {

FolderCrateList::FolderCrateList(FolderCrateModel& model, QWidget* parent)
    : QListView(parent), model_(model), delegate_(new FolderCrateRowDelegate(this)) {
    setModel(&model_);
    setItemDelegate(delegate_);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setFocusPolicy(Qt::NoFocus);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    verticalScrollBar()->setSingleStep(delegate_->rowHeight());
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setAttribute(Qt::WA_Hover, false);
    viewport()->setAttribute(Qt::WA_Hover, false);
    viewport()->setAutoFillBackground(false);
    // A thin, faint scroll bar that suits the dark column whatever the desktop theme.
    setStyleSheet(QStringLiteral(
        "QListView { background: transparent; } QScrollBar:vertical { background: transparent; "
        "width: 8px; margin: 0 0 0 2px; } QScrollBar::handle:vertical { background: "
        "rgba(255,255,255,56); border-radius: 3px; min-height: 24px; } "
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; } "
        "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }"));
}

QRect FolderCrateList::rowRect(int row) const {
    return visualRect(model_.index(row));
}

int FolderCrateList::rowAt(const QPoint& viewportPosition) const {
    const QModelIndex index = indexAt(viewportPosition);
    if (!index.isValid())
        return -1;
    // The space below each row belongs to no row.
    const QRect rect = visualRect(index);
    if (viewportPosition.y() >= rect.top() + delegate_->rowHeight())
        return -1;
    return index.row();
}

void FolderCrateList::mousePressEvent(QMouseEvent* event) {
    pressedRow_ = event->button() == Qt::LeftButton ? rowAt(event->position().toPoint()) : -1;
    event->accept();
}

void FolderCrateList::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
}

void FolderCrateList::mouseReleaseEvent(QMouseEvent* event) {
    const int pressed = pressedRow_;
    pressedRow_ = -1;
    event->accept();
    if (event->button() == Qt::LeftButton && pressed >= 0 &&
        rowAt(event->position().toPoint()) == pressed)
        emit rowClicked(pressed);
}

void FolderCrateList::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is another press, as two quick clicks are.
    mousePressEvent(event);
}

void FolderCrateList::contextMenuEvent(QContextMenuEvent* event) {
    const int row = rowAt(event->pos());
    event->accept();
    if (row >= 0)
        emit rowMenuRequested(row, event->globalPos());
}

} // namespace tindrel
