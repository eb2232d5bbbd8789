#include "Tindrel/mainwindow/TwoGroupRowLayout.h"

#include <QWidgetItem>

#include <algorithm>

namespace tindrel {

TwoGroupRowLayout::TwoGroupRowLayout(QWidget* leading, QWidget* trailing, QWidget* parent)
    : QLayout(parent) {
    setContentsMargins(0, 0, 0, 0);
    addChildWidget(leading);
    addChildWidget(trailing);
    items_ = {new QWidgetItem(leading), new QWidgetItem(trailing)};
}

TwoGroupRowLayout::~TwoGroupRowLayout() {
    for (QLayoutItem* item : items_)
        delete item;
}

void TwoGroupRowLayout::addItem(QLayoutItem* item) {
    // The two groups are fixed at construction.
    delete item;
}

QLayoutItem* TwoGroupRowLayout::itemAt(int index) const {
    return index >= 0 && index < 2 ? items_[size_t(index)] : nullptr;
}

QLayoutItem* TwoGroupRowLayout::takeAt(int index) {
    if (index < 0 || index >= 2 || !items_[size_t(index)])
        return nullptr;
    QLayoutItem* item = items_[size_t(index)];
    items_[size_t(index)] = nullptr;
    return item;
}

int TwoGroupRowLayout::count() const {
    return int(std::count_if(items_.begin(), items_.end(), [](auto* item) { return item; }));
}

bool TwoGroupRowLayout::fitsOnOneRow(int width) const {
    if (!items_[0] || !items_[1])
        return true;
    return items_[0]->sizeHint().width() + spacing() + items_[1]->sizeHint().width() <= width;
}

QSize TwoGroupRowLayout::sizeHint() const {
    QSize size;
    for (QLayoutItem* item : items_) {
        if (!item)
            continue;
        const QSize hint = item->sizeHint();
        size.setWidth(size.width() + hint.width());
        size.setHeight(std::max(size.height(), hint.height()));
    }
    if (count() == 2)
        size.rwidth() += spacing();
    return size;
}

QSize TwoGroupRowLayout::minimumSize() const {
    QSize size;
    for (QLayoutItem* item : items_) {
        if (!item)
            continue;
        size = size.expandedTo(item->sizeHint());
    }
    return size;
}

int TwoGroupRowLayout::heightForWidth(int width) const {
    const int first = items_[0] ? items_[0]->sizeHint().height() : 0;
    const int second = items_[1] ? items_[1]->sizeHint().height() : 0;
    if (fitsOnOneRow(width))
        return std::max(first, second);
    return first + spacing() + second;
}

void TwoGroupRowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    wrapped_ = !fitsOnOneRow(rect.width());
    const QSize first = items_[0] ? items_[0]->sizeHint() : QSize();
    const QSize second = items_[1] ? items_[1]->sizeHint() : QSize();
    if (!wrapped_) {
        const int rowHeight = std::max(first.height(), second.height());
        if (items_[0])
            items_[0]->setGeometry(QRect(rect.left(), rect.top() + (rowHeight - first.height()) / 2,
                                         first.width(), first.height()));
        if (items_[1])
            items_[1]->setGeometry(QRect(rect.right() + 1 - second.width(),
                                         rect.top() + (rowHeight - second.height()) / 2,
                                         second.width(), second.height()));
        return;
    }
    if (items_[0])
        items_[0]->setGeometry(QRect(rect.topLeft(), first));
    if (items_[1])
        items_[1]->setGeometry(QRect(rect.right() + 1 - second.width(),
                                     rect.top() + first.height() + spacing(), second.width(),
                                     second.height()));
}

} // namespace tindrel
