#include "Tindrel/shell/PopoverWindow.h"

#include "Tindrel/platform/ui/PopoverPlacement.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>

namespace tindrel {

PopoverWindow::PopoverWindow(QWidget* content, QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint), content_(content),
      clock_([] { return std::chrono::steady_clock::now(); }) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(content_);
    setFixedSize(content_->size());
}

void PopoverWindow::showNear(const QRect& anchor, const QPoint& cursor) {
    const QPoint probe = anchor.isEmpty() ? cursor : anchor.center();
    QScreen* screen = QGuiApplication::screenAt(probe);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(QPoint(), size());
    closedItselfAt_.reset();
    move(platform::popoverTopLeft(size(), anchor, cursor, available));
    show();
    raise();
    activateWindow();
}

void PopoverWindow::closePopover() {
    closingOnRequest_ = true;
    hide();
    closingOnRequest_ = false;
}

bool PopoverWindow::closedItselfJustNow() const {
    return closedItselfAt_ && clock_() - *closedItselfAt_ < sameClickWindow;
}

void PopoverWindow::hideEvent(QHideEvent* event) {
    if (!closingOnRequest_)
        closedItselfAt_ = clock_();
    QWidget::hideEvent(event);
}

} // namespace tindrel
