#pragma once

// A short text on a rounded background with padding, as the canvas draws its IN/OUT tags,
// range summary and window readout. GUI thread only.

#include "Tindrel/platform/ui/SystemFont.h"

#include <QColor>
#include <QRectF>
#include <QString>

class QPainter;

namespace tindrel {

struct TextPillStyle {
    double fontSize = 9.5;
    platform::FontWeight weight = platform::FontWeight::bold;
    bool monospacedDigits = false;
    QColor text;
    QColor background;
    double horizontalPadding = 0;
    double verticalPadding = 0;
    double cornerRadius = 0;
};

class TextPill {
public:
    // The whole box: text plus padding.
    static QSizeF size(const QString& text, const TextPillStyle& style);
    static void draw(QPainter& painter, const QRectF& box, const QString& text,
                     const TextPillStyle& style);
};

} // namespace tindrel
