#include "Tindrel/canvas/CanvasGeometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tindrel {
namespace {

constexpr double kDuration = 90.0;

// The visible window as the store derives it for a zoom and centre (clamped window).
CanvasGeometry geometryFor(double width, double zoom, double centre, double currentTime) {
    const double span = 1.0 / zoom;
    const double f0 = std::max(0.0, std::min(1.0 - span, centre - span / 2));
    const double f1 = std::min(1.0, f0 + span);
    return CanvasGeometry::make(
        {width, 165, f0, f1, f0 * kDuration, f1 * kDuration, currentTime, kDuration});
}

TEST(CanvasGeometry, PointerToTimeAndBackAtZoomOneAndOneAndAHalfNearBothEnds) {
    struct Case {
        const char* name;
        double zoom, centre;
        double px;
        double expectedTime;
    };
    // Zoom 1.5 centred as far left as allowed shows 0..60 s; as far right, 30..90 s.
    const Case cases[] = {
        {"zoom 1, left edge", 1.0, 0.5, 0.0, 0.0},
        {"zoom 1, one pixel in", 1.0, 0.5, 1.0, 0.15},
        {"zoom 1, right edge", 1.0, 0.5, 600.0, 90.0},
        {"zoom 1, one pixel before the end", 1.0, 0.5, 599.0, 89.85},
        {"zoom 1.5 at start, left edge", 1.5, 1.0 / 3, 0.0, 0.0},
        {"zoom 1.5 at start, right edge", 1.5, 1.0 / 3, 600.0, 60.0},
        {"zoom 1.5 at end, left edge", 1.5, 2.0 / 3, 0.0, 30.0},
        {"zoom 1.5 at end, one pixel in", 1.5, 2.0 / 3, 1.0, 30.1},
        {"zoom 1.5 at end, right edge", 1.5, 2.0 / 3, 600.0, 90.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CanvasGeometry g = geometryFor(600, c.zoom, c.centre, 0);
        const double t = g.pointerToTime(c.px, kDuration);
        EXPECT_NEAR(t, c.expectedTime, 1e-9);
        EXPECT_NEAR(g.timeToX(t), c.px, 1e-9);
    }
}

TEST(CanvasGeometry, PointerBeyondTheFramePinsToTheWindowEdges) {
    const CanvasGeometry g = geometryFor(600, 1.5, 2.0 / 3, 0);
    EXPECT_DOUBLE_EQ(g.pointerToTime(-50, kDuration), 30.0);
    EXPECT_DOUBLE_EQ(g.pointerToTime(10'000, kDuration), 90.0);
    EXPECT_DOUBLE_EQ(g.pointerToTime(std::numeric_limits<double>::quiet_NaN(), kDuration), 30.0);
    // Times outside the window are not clamped when mapped to x.
    EXPECT_DOUBLE_EQ(g.timeToX(0), -300.0);
}

TEST(CanvasGeometry, DegenerateSizesAndWindowsNeverDivideByZero) {
    const CanvasGeometry g = CanvasGeometry::make({0, -5, 0.5, 0.5, 3, 3, 0, 0});
    EXPECT_EQ(g.w, 1.0);
    EXPECT_EQ(g.h, 1.0);
    EXPECT_EQ(g.F, 0.0001);
    EXPECT_EQ(g.T, 0.0001);
    EXPECT_EQ(g.p, 0.0); // no duration: playhead at the start
    EXPECT_TRUE(std::isfinite(g.q));
    EXPECT_EQ(g.pointerToTime(0.5, 0), 0.0);
}

TEST(CanvasGeometry, PlayheadPlacementAndVisibility) {
    struct Case {
        const char* name;
        double zoom, centre, currentTime;
        bool shown;
        double x;
    };
    const Case cases[] = {
        {"start of track", 1.0, 0.5, 0.0, true, 0.0},
        {"middle", 1.0, 0.5, 45.0, true, 300.0},
        {"very end stays inside the frame", 1.0, 0.5, 90.0, true, 598.0},
        {"past the end is treated as the end", 1.0, 0.5, 200.0, true, 598.0},
        {"before a zoomed window", 1.5, 2.0 / 3, 10.0, false, 0.0},
        {"after a zoomed window", 1.5, 1.0 / 3, 75.0, false, 598.0},
        {"inside a zoomed window", 1.5, 2.0 / 3, 60.0, true, 300.0},
        // Centred as far right as the store allows, this window's end fraction comes out a
        // rounding error below 1.
        {"very end of a window at the track's end", 25.62890625, 1 - 0.5 / 25.62890625, 90.0, true,
         598.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CanvasGeometry g = geometryFor(600, c.zoom, c.centre, c.currentTime);
        EXPECT_EQ(g.showsPlayhead(), c.shown);
        if (c.shown) {
            EXPECT_NEAR(g.playheadX(), c.x, 1e-9);
        }
    }
}

} // namespace
} // namespace tindrel
