#include "Tindrel/canvas/TransientMarkerLayer.h"

#include "Tindrel/platform/ui/SystemColors.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tindrel {

using platform::SystemColors;

void TransientMarkerLayer::paintDirectly(QPainter& painter, const std::vector<double>& transients,
                                         const TransientMarkerFrame& frame) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen line(SystemColors::orange(frame.lineOpacity), 1);
    line.setDashPattern({3, 3});
    line.setCapStyle(Qt::FlatCap);
    painter.setPen(line);
    const QColor triangle = SystemColors::orange(0.85);
    for (const double t : transients) {
        if (!(t >= frame.t0 && t <= frame.t1))
            continue;
        const double x = (t - frame.t0) / frame.T * frame.width;
        painter.drawLine(QPointF(x, 0), QPointF(x, frame.height));
        QPainterPath marker;
        marker.moveTo(x - 3, 0);
        marker.lineTo(x + 3, 0);
        marker.lineTo(x, 5.5);
        marker.closeSubpath();
        painter.fillPath(marker, triangle);
    }
    painter.restore();
}

void TransientMarkerLayer::paint(QPainter& painter, const std::vector<double>& transients,
                                 const TransientMarkerFrame& frame, qreal devicePixelRatio) {
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    if (image_.isNull() || ratio != ratio_ || !(frame == frame_) || transients != transients_) {
        transients_ = transients;
        frame_ = frame;
        ratio_ = ratio;
        image_ = QImage(int(std::ceil(frame.width * ratio)), int(std::ceil(frame.height * ratio)),
                        QImage::Format_ARGB32_Premultiplied);
        image_.setDevicePixelRatio(ratio);
        image_.fill(Qt::transparent);
        QPainter imagePainter(&image_);
        paintDirectly(imagePainter, transients, frame);
        ++rebuildCount_;
    }
    painter.drawImage(QPointF(0, 0), image_);
}

} // namespace tindrel
