#include "Tindrel/platform/ui/SerialPaintBands.h"

#include <algorithm>
#include <cmath>

namespace tindrel::platform {

std::vector<QRegion> serialPaintBands(const QRegion& region, qreal devicePixelRatio) {
    constexpr int deviceLinesPerBand = 64;
    const int lines = std::max(1, int(deviceLinesPerBand / std::max(1.0, devicePixelRatio)));
    std::vector<QRegion> bands;
    const QRect bounds = region.boundingRect();
    for (int top = bounds.top(); top <= bounds.bottom(); top += lines) {
        const QRegion band = region.intersected(QRect(bounds.left(), top, bounds.width(), lines));
        if (!band.isEmpty())
            bands.push_back(band);
    }
    return bands;
}

} // namespace tindrel::platform
