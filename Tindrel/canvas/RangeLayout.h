#pragma once

// Where the In/Out range's tint, handles and summary pill go for one paint, from the range's
// effective bounds mapped through the canvas geometry. A plain value; no Qt.

#include "Tindrel/canvas/CanvasGeometry.h"

namespace tindrel {

struct RangeLayout {
    double inX = 0;  // unclamped x of the In edge
    double outX = 0; // unclamped x of the Out edge
    double cin = 0;  // In edge pinned to the frame
    double cout = 0; // Out edge pinned to the frame
    double rangeW = 0;
    bool showsTint = false;
    bool showsInHandle = false;
    bool showsOutHandle = false;
    double outBarX = 0; // left edge of the Out bar, whose right edge sits on outX when it can
    bool showsSummaryPill = false;

    static RangeLayout make(const CanvasGeometry& geometry, double effectiveRangeStart,
                            double effectiveRangeEnd);

    static constexpr double handleWidth = 2.5;
    static constexpr double summaryPillMinimumWidth = 140.0; // shown only above this width
};

} // namespace tindrel
