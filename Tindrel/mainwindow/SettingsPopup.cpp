#include "Tindrel/mainwindow/SettingsPopup.h"

#include "Tindrel/platform/ui/PopoverPlacement.h"
#include "Tindrel/platform/ui/SystemColors.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

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

    // Four pixels of air between the button and the pop-up.
    const QRect button = QRect(anchor.mapToGlobal(QPoint()), anchor.size()).adjusted(0, 0, 0, 4);
    const QScreen* screen = QGuiApplication::screenAt(button.center());
    if (!screen)
        screen = anchor.screen();
    move(platform::popoverTopLeft(size(), button, button.center(),
                                  screen ? screen->availableGeometry() : QRect(pos(), size())));
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
