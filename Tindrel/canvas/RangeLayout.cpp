#include "Tindrel/canvas/RangeLayout.h"

#include <algorithm>

namespace tindrel {

RangeLayout RangeLayout::make(const CanvasGeometry& g, double start, double end) {
    RangeLayout r;
    r.inX = g.timeToX(start);
    r.outX = g.timeToX(end);
    r.cin = std::clamp(r.inX, 0.0, g.w);
    r.cout = std::clamp(r.outX, 0.0, g.w);
    r.rangeW = std::max(0.0, r.cout - r.cin);
    r.showsTint = r.rangeW > 0;
    r.showsInHandle = r.inX >= 0 && r.inX <= g.w;
    r.showsOutHandle = r.outX >= 0 && r.outX <= g.w;
    r.outBarX = std::max(0.0, r.outX - handleWidth);
    r.showsSummaryPill = r.rangeW > summaryPillMinimumWidth;
    return r;
}

} // namespace tindrel
