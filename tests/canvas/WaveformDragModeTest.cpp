#include "Tindrel/canvas/WaveformDragMode.h"

#include <gtest/gtest.h>

namespace tindrel {
namespace {

using Kind = WaveformDragMode::Kind;

TEST(WaveformDragRules, DecisionAtThePress) {
    const DragRangeState noRange{false, 0, 90};
    const DragRangeState range{true, 10, 20};
    // In at x = 100, Out at x = 200.
    struct Case {
        const char* name;
        bool modifier;
        DragRangeState state;
        double pressX;
        double inX, outX;
        Kind expected;
    };
    const Case cases[] = {
        {"no range scrubs", false, noRange, 100, 0, 600, Kind::scrubPlayhead},
        {"modifier without range sweeps", true, noRange, 100, 0, 600, Kind::sweepNewRange},
        {"modifier on the In handle still sweeps", true, range, 100, 100, 200, Kind::sweepNewRange},
        {"exactly 12 points left of In", false, range, 88, 100, 200, Kind::moveInHandle},
        {"exactly 12 points right of In", false, range, 112, 100, 200, Kind::moveInHandle},
        {"12.5 points from In", false, range, 87.5, 100, 200, Kind::scrubPlayhead},
        {"exactly 12 points from Out", false, range, 212, 100, 200, Kind::moveOutHandle},
        {"12.5 points from Out", false, range, 212.5, 100, 200, Kind::scrubPlayhead},
        {"between the edges, far from both", false, range, 150, 100, 200, Kind::scrubPlayhead},
        {"narrow range: In wins", false, range, 105, 100, 110, Kind::moveInHandle},
        {"In edge left of the window still grabbed", false, range, 5, -6, 300, Kind::moveInHandle},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WaveformDragMode mode =
            WaveformDragRules::decide(c.modifier, 7.5, c.pressX, c.state, c.inX, c.outX);
        EXPECT_EQ(mode.kind, c.expected);
        if (c.expected == Kind::sweepNewRange) {
            EXPECT_EQ(mode.anchorSec, 7.5);
        }
    }
}

TEST(WaveformDragRules, HandleMovesKeepTheMinimumGap) {
    struct Case {
        const char* name;
        double t, otherEdge, expected;
    };
    const Case inCases[] = {
        {"free move", 5, 20, 5},
        {"past the Out edge stops 0.05 s before it", 30, 20, 19.95},
        {"before the start stops at 0", -1, 20, 0},
        {"Out closer than 0.05 s to the start", 0.5, 0.03, 0},
    };
    for (const Case& c : inCases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(WaveformDragRules::movedIn(c.t, c.otherEdge), c.expected, 1e-12);
    }
    const Case outCases[] = {
        {"free move", 40, 20, 40},
        {"before the In edge stops 0.05 s after it", 5, 20, 20.05},
        {"past the end stops at the duration", 120, 20, 90},
        {"In in the last 0.05 s goes past the end", 89.99, 89.98, 90.03},
    };
    for (const Case& c : outCases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(WaveformDragRules::movedOut(c.t, c.otherEdge, 90), c.expected, 1e-9);
    }
}

} // namespace
} // namespace tindrel
