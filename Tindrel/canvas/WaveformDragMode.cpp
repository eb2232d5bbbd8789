#include "Tindrel/canvas/WaveformDragMode.h"

#include <algorithm>
#include <cmath>

namespace tindrel {

WaveformDragMode WaveformDragRules::decide(bool sweepModifierHeld, double t, double pressX,
                                           const DragRangeState& range, double inX, double outX) {
    using Kind = WaveformDragMode::Kind;
    if (sweepModifierHeld)
        return WaveformDragMode::sweepNewRange(t);
    if (!range.hasActiveRange)
        return {Kind::scrubPlayhead, 0};
    if (std::abs(pressX - inX) <= handleReach)
        return {Kind::moveInHandle, 0};
    if (std::abs(pressX - outX) <= handleReach)
        return {Kind::moveOutHandle, 0};
    return {Kind::scrubPlayhead, 0};
}

double WaveformDragRules::movedIn(double t, double effectiveRangeEnd) {
    return std::max(0.0, std::min(effectiveRangeEnd - minimumHandleGap, t));
}

double WaveformDragRules::movedOut(double t, double effectiveRangeStart, double duration) {
    return std::max(effectiveRangeStart + minimumHandleGap, std::min(duration, t));
}

} // namespace tindrel
