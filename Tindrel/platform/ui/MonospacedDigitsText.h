#pragma once

// Draws and measures text whose digits all take the same advance (the widest digit of the
// font), so a readout does not jitter as its digits change. Qt 6.4 cannot switch on the
// font's tabular-figures feature, so each digit is centred in a fixed-width cell and the
// runs between digits are drawn as ordinary text. GUI thread only.

#include <QFont>
#include <QPointF>
#include <QSizeF>
#include <QString>

class QPainter;

namespace tindrel::platform {

class MonospacedDigitsText {
public:
    // Width by the fixed digit advance, height of the font's line box.
    static QSizeF size(const QString& text, const QFont& font);
    // Draws with the top-left corner of the line box at topLeft, in the painter's pen colour.
    static void draw(QPainter& painter, const QPointF& topLeft, const QString& text,
                     const QFont& font);
};

} // namespace tindrel::platform
