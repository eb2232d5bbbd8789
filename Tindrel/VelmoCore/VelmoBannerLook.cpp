#include "Tindrel/VelmoCore/VelmoBannerLook.h"

#include <QGuiApplication>
#include <QScreen>

namespace velmo {

QColor VelmoBannerLook::orange(qreal opacity) {
    return QColor::fromRgbF(255 / 255.0f, 159 / 255.0f, 10 / 255.0f, static_cast<float>(opacity));
}

QColor VelmoBannerLook::primaryLabel() {
    return QColor(255, 255, 255);
}

QColor VelmoBannerLook::secondaryLabel() {
    return QColor::fromRgbF(235 / 255.0f, 235 / 255.0f, 245 / 255.0f, 0.6f);
}

QFont VelmoBannerLook::font(qreal size, QFont::Weight weight) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchY() : 96.0;
    QFont font(QStringLiteral("Inter"));
    // QFont has no fractional pixel size; a point size scaled by the logical DPI gives one.
    font.setPointSizeF(size * 72.0 / dpi);
    font.setWeight(weight);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

QString VelmoBannerLook::styleSheetColor(const QColor& color) {
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

} // namespace velmo
