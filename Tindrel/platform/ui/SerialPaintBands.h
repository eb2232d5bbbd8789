#pragma once

// Qt's raster engine hands any fill of more than about 96 lines to worker threads. For the
// narrow strips repainted every frame (a playhead, a readout beside a tall panel) waking them
// costs more than the fill itself, so such repaints are drawn in bands short enough to stay
// on the painting thread. Drawing band by band sets the same pixels as drawing at once.
// GUI thread only.

#include <QRegion>

#include <vector>

namespace tindrel::platform {

// `region` (in device-independent pixels) cut into horizontal bands of fewer device lines
// than the engine would share out; an empty region gives none.
std::vector<QRegion> serialPaintBands(const QRegion& region, qreal devicePixelRatio);

} // namespace tindrel::platform
