#pragma once

// The update banner's own colours and font, so the component needs nothing of the program that
// shows it: the dark-appearance orange and label colours, and Inter at a size in points (one
// point = one device-independent pixel). GUI thread only.

#include <QColor>
#include <QFont>
#include <QString>

namespace velmo {

struct VelmoBannerLook {
    static QColor orange(qreal opacity = 1.0);
    static QColor primaryLabel();
    static QColor secondaryLabel();
    static QFont font(qreal size, QFont::Weight weight = QFont::Normal);
    // The colour as a style sheet value: "rgba(r,g,b,a)" with a from 0 to 255.
    static QString styleSheetColor(const QColor& color);
};

} // namespace velmo
