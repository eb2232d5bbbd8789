#pragma once

// Paints one row of the folder crate (a FolderCrateModel row): a rounded fill, the leading
// symbol, the title cut in the middle when too long, and the trailing size (file rows) or
// chevron (folder rows). The current file's row is cyan: a tinted fill, a semibold cyan title,
// the speaker symbol while playing. Rows never change on hover. Each row's height includes
// the 4 points of space below it. GUI thread only.

#include <QFont>
#include <QStyledItemDelegate>

namespace tindrel {

class FolderCrateRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    static constexpr int rowSpacing = 4;

    explicit FolderCrateRowDelegate(QObject* parent = nullptr);

    int rowHeight() const { return rowHeight_; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QFont regularTitle_;
    QFont mediumTitle_;
    QFont currentTitle_;
    QFont sizeFont_;
    int rowHeight_;
};

} // namespace tindrel
