#include "Tindrel/mainwindow/SettingsPopup.h"

#include "Tindrel/platform/ui/SystemColors.h"

#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

namespace tindrel {

using platform::SystemColors;

namespace {

// Room enough to read as a pop-up while it holds nothing.
constexpr QSize emptySize{220, 90};

} // namespace

SettingsPopup::SettingsPopup(QWidget* parent)
    : QWidget(parent, Qt::Popup | Qt::FramelessWindowHint) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
}

void SettingsPopup::setContentFactory(ContentFactory makeContent) {
    makeContent_ = std::move(makeContent);
}

void SettingsPopup::openBelow(const QWidget& anchor) {
    delete content_;
    content_ = makeContent_ ? makeContent_(this) : nullptr;
    if (content_)
        layout()->addWidget(content_);
    setFixedSize(content_ ? layout()->sizeHint() : emptySize);

    const QPoint below = anchor.mapToGlobal(QPoint(anchor.width() / 2, anchor.height()));
    QRect frame(QPoint(below.x() - width() / 2, below.y() + 4), size());
    if (const QScreen* screen = anchor.screen()) {
        const QRect room = screen->availableGeometry();
        frame.moveLeft(
            std::clamp(frame.left(), room.left(), std::max(room.left(), room.right() - width())));
    }
    move(frame.topLeft());
    show();
}

bool SettingsPopup::closedMomentsAgo() const {
    return closedAt_ && clock_() - *closedAt_ < sameClickWindow;
}

void SettingsPopup::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    closedAt_ = clock_();
    emit dismissed();
}

void SettingsPopup::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(0.11f, 0.12f, 0.15f));
    painter.setPen(SystemColors::white(0.16));
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}

} // namespace tindrel
