#include "Tindrel/canvas/CanvasGeometry.h"

#include <algorithm>
#include <cmath>

namespace tindrel {

namespace {

double finiteOr(double value, double fallback) {
    return std::isfinite(value) ? value : fallback;
}

} // namespace

CanvasGeometry CanvasGeometry::make(const CanvasGeometryInput& in) {
    CanvasGeometry g;
    g.w = std::max(1.0, finiteOr(in.width, 1.0));
    g.h = std::max(1.0, finiteOr(in.height, 1.0));
    g.f0 = finiteOr(in.visibleStartFrac, 0.0);
    g.f1 = finiteOr(in.visibleEndFrac, 1.0);
    g.F = std::max(0.0001, g.f1 - g.f0);
    g.t0 = finiteOr(in.visibleStartSec, 0.0);
    g.t1 = finiteOr(in.visibleEndSec, 0.0);
    g.T = std::max(0.0001, g.t1 - g.t0);
    const double duration = finiteOr(in.duration, 0.0);
    g.p =
        duration > 0 ? std::min(1.0, std::max(0.0, finiteOr(in.currentTime, 0.0) / duration)) : 0.0;
    g.q = (g.p - g.f0) / g.F;
    return g;
}

double CanvasGeometry::timeToX(double seconds) const {
    return (seconds - t0) / T * w;
}

double CanvasGeometry::pointerToTime(double px, double duration) const {
    const double fraction = std::min(1.0, std::max(0.0, finiteOr(px, 0.0) / w));
    return std::min(duration, std::max(0.0, t0 + fraction * T));
}

bool CanvasGeometry::showsPlayhead() const {
    // The window's end fraction is a sum that can fall a rounding error short of 1, which
    // would hide a playhead sitting at the very end of the track.
    constexpr double tolerance = 1e-9;
    return q >= -tolerance && q <= 1 + tolerance;
}

double CanvasGeometry::playheadX() const {
    return std::clamp(q * w, 0.0, std::max(0.0, w - playheadWidth));
}

bool CanvasGeometry::showsToolbar() const {
    return h > toolbarMinimumHeight;
}

} // namespace tindrel
