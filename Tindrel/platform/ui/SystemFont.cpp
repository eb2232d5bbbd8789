#include "Tindrel/platform/ui/SystemFont.h"

#include <QGuiApplication>
#include <QScreen>

namespace tindrel::platform {

namespace {

QFont::Weight qtWeight(FontWeight weight) {
    switch (weight) {
    case FontWeight::ultraLight:
        return QFont::ExtraLight;
    case FontWeight::thin:
        return QFont::Thin;
    case FontWeight::light:
        return QFont::Light;
    case FontWeight::regular:
        return QFont::Normal;
    case FontWeight::medium:
        return QFont::Medium;
    case FontWeight::semibold:
        return QFont::DemiBold;
    case FontWeight::bold:
        return QFont::Bold;
    case FontWeight::heavy:
        return QFont::ExtraBold;
    case FontWeight::black:
        return QFont::Black;
    }
    return QFont::Normal;
}

qreal logicalDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

} // namespace

QFont SystemFont::font(qreal size, FontWeight weight) {
    QFont f(QStringLiteral("Inter"));
    // QFont has no fractional pixel size; a point size scaled by the logical DPI gives one.
    f.setPointSizeF(size * 72.0 / logicalDpi());
    f.setWeight(qtWeight(weight));
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

} // namespace tindrel::platform
