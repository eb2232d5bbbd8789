#include "Tindrel/canvas/RangeLayout.h"

#include <gtest/gtest.h>

namespace tindrel {
namespace {

// 100 s shown over 1000 px: one second is ten pixels.
CanvasGeometry tenPixelsPerSecond(double t0 = 0) {
    return CanvasGeometry::make({1000, 165, t0 / 100, (t0 + 100) / 100, t0, t0 + 100, 0, 100});
}

TEST(RangeLayout, EdgesInsideAndOutsideTheWindow) {
    struct Case {
        const char* name;
        double start, end;
        double cin, rangeW;
        bool tint, inHandle, outHandle;
    };
    const Case cases[] = {
        {"both inside", 10, 30, 100, 200, true, true, true},
        {"starts before the window", -20, 30, 0, 300, true, false, true},
        {"covers the whole window", -5, 150, 0, 1000, true, false, false},
        {"ends after the window", 95, 120, 950, 50, true, true, false},
        {"zero length", 40, 40, 400, 0, false, true, true},
        {"entirely after the window", 120, 130, 1000, 0, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RangeLayout r = RangeLayout::make(tenPixelsPerSecond(), c.start, c.end);
        EXPECT_DOUBLE_EQ(r.cin, c.cin);
        EXPECT_DOUBLE_EQ(r.rangeW, c.rangeW);
        EXPECT_EQ(r.showsTint, c.tint);
        EXPECT_EQ(r.showsInHandle, c.inHandle);
        EXPECT_EQ(r.showsOutHandle, c.outHandle);
    }
}

TEST(RangeLayout, OutBarHangsLeftOfItsEdgeButNeverLeavesTheFrame) {
    EXPECT_DOUBLE_EQ(RangeLayout::make(tenPixelsPerSecond(), 0, 30).outBarX, 297.5);
    EXPECT_DOUBLE_EQ(RangeLayout::make(tenPixelsPerSecond(), 0, 0.1).outBarX, 0.0);
}

TEST(RangeLayout, SummaryPillOnlyAboveOneHundredFortyPoints) {
    struct Case {
        double end;
        bool pill;
    };
    const Case cases[] = {{14.0, false}, {14.05, true}, {100.0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.end);
        EXPECT_EQ(RangeLayout::make(tenPixelsPerSecond(), 0, c.end).showsSummaryPill, c.pill);
    }
}

} // namespace
} // namespace tindrel
