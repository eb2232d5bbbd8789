#include "Tindrel/mainwindow/RoundedPanel.h"

#include <QPainter>
#include <QPainterPath>

namespace tindrel {

RoundedPanel::RoundedPanel(QWidget* parent) : QWidget(parent) {}

void RoundedPanel::setLook(const QColor& fill, const QColor& outline, qreal radius) {
    if (fill == fill_ && outline == outline_ && radius == radius_)
        return;
    fill_ = fill;
    outline_ = outline;
    radius_ = radius;
    update();
}

void RoundedPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath shape;
    shape.addRoundedRect(box, radius_, radius_);
    painter.fillPath(shape, fill_);
    if (outline_.alpha() > 0) {
        painter.setPen(QPen(outline_, 1));
        painter.drawPath(shape);
    }
}

} // namespace tindrel
