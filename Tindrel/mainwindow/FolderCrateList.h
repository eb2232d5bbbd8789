#pragma once

// The crate's scrolling list of rows: a list view over a FolderCrateModel drawn by a
// FolderCrateRowDelegate, so only the rows on screen cost anything however big the folder.
// It takes no keyboard focus and keeps no selection (the arrows belong to the key table and
// the store marks the current file); it reports a click on a row (press and release on the
// same row) and a context-menu request on a row. The scroll position is its own; it never
// scrolls to a row by itself. GUI thread only; the model is not owned.

#include <QListView>

namespace tindrel {

class FolderCrateModel;
class FolderCrateRowDelegate;

class FolderCrateList : public QListView {
    Q_OBJECT
public:
    FolderCrateList(FolderCrateModel& model, QWidget* parent = nullptr);

    // The row's rectangle in viewport coordinates (empty for a row that does not exist).
    QRect rowRect(int row) const;

signals:
    void rowClicked(int row);
    void rowMenuRequested(int row, const QPoint& globalPosition);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    int rowAt(const QPoint& viewportPosition) const;

    FolderCrateModel& model_;
    FolderCrateRowDelegate* delegate_;
    int pressedRow_ = -1;
};

} // namespace tindrel
