#pragma once

// The symbol-image catalogue: our own monochrome SVG icons, one per symbol name the views use
// (e.g. "chevron.left", "metronome.fill"), stored as :/symbols/<name>.svg and drawn tinted
// in one colour. Rendered images are cached per name, size, colour and pixel ratio.
// GUI thread only.

#include <QColor>
#include <QPixmap>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QStringList>

class QPainter;

namespace tindrel::platform {

class SymbolImages {
public:
    static bool contains(const QString& name);
    static QStringList names();
    // The symbol filling `size` device-independent pixels (aspect kept, centred) in `tint`;
    // a null pixmap for an unknown name or an empty size.
    static QPixmap pixmap(const QString& name, const QSize& size, const QColor& tint,
                          qreal devicePixelRatio = 1.0);
    // Draws the symbol into `target` at the painter's device pixel ratio.
    static void draw(QPainter& painter, const QRectF& target, const QString& name,
                     const QColor& tint);
};

} // namespace tindrel::platform
