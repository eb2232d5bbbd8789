#include "Tindrel/mainwindow/RoundedPanel.h"

#include "Tindrel/platform/ui/SerialPaintBands.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include <cmath>

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

namespace {

// Where the rounded shape covers every pixel whole and its outline touches none: away from
// the edges by two pixels and from the corners by the radius.
QRegion wholeInterior(const QRect& box, qreal radius) {
    const int corner = int(std::ceil(radius)) + 2;
    return QRegion(box.adjusted(2, corner, -2, -corner)) +
           QRegion(box.adjusted(corner, 2, -corner, -2));
}

} // namespace

void RoundedPanel::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // A readout or meter repainted inside the panel (every tick while playing) needs no
    // shape: a plain fill there sets the same pixels, at whole device pixel ratios.
    const qreal ratio = devicePixelRatioF();
    if (ratio == std::floor(ratio) &&
        event->region().subtracted(wholeInterior(rect(), radius_)).isEmpty()) {
        for (const QRegion& band : platform::serialPaintBands(event->region(), ratio))
            for (const QRect& part : band)
                painter.fillRect(part, fill_);
        return;
    }
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
