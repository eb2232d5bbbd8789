#pragma once

// The named colours of the views: a fixed dark-appearance palette, never taken from the
// desktop theme. Each accessor applies an opacity from 0 to 1 on top of the colour's own alpha.
// Pure values; safe from any thread.

#include <QColor>

namespace tindrel::platform {

class SystemColors {
public:
    static QColor red(qreal opacity = 1.0);
    static QColor orange(qreal opacity = 1.0);
    static QColor yellow(qreal opacity = 1.0);
    static QColor green(qreal opacity = 1.0);
    static QColor mint(qreal opacity = 1.0);
    static QColor cyan(qreal opacity = 1.0);
    static QColor blue(qreal opacity = 1.0);
    static QColor purple(qreal opacity = 1.0);
    static QColor gray(qreal opacity = 1.0);
    static QColor white(qreal opacity = 1.0);
    static QColor black(qreal opacity = 1.0);
    static QColor primaryLabel(qreal opacity = 1.0);
    // Light grey at 0.6 before the opacity given here is applied.
    static QColor secondaryLabel(qreal opacity = 1.0);
};

} // namespace tindrel::platform
