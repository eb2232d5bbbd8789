#pragma once

// A colour in the form style sheets take ("rgba(r,g,b,a)", alpha 0-255), for the few
// controls that Qt styles through style sheets (text fields, push buttons, sliders).

#include <QColor>
#include <QString>

namespace tindrel {

inline QString cssColor(const QColor& color) {
    return QStringLiteral("rgba(%1,%2,%3,%4)")
        .arg(color.red())
        .arg(color.green())
        .arg(color.blue())
        .arg(color.alpha());
}

} // namespace tindrel
