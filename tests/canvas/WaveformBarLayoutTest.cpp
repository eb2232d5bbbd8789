#include "Tindrel/canvas/WaveformBarLayout.h"

#include <gtest/gtest.h>

#include <vector>

namespace tindrel {
namespace {

TEST(WaveformBarLayout, BarCountsAndBinRanges) {
    struct Case {
        const char* name;
        int bins;
        double f0, f1, width;
        int bars;
        int firstBinsOfBar1[2]; // bins of bar 1: first, end
    };
    const double z32 = 1.0 / 32;
    const Case cases[] = {
        {"whole 2048-bin file at 600", 2048, 0, 1, 600, 230, {8, 17}},
        {"zoom 32 at the start, one bin a bar", 2048, 0, z32, 600, 64, {1, 2}},
        {"zoom 32 at the start, wide canvas", 2048, 0, z32, 3000, 64, {1, 2}},
        {"zoom 32 off a bin boundary", 2048, 0.1001, 0.1001 + z32, 600, 65, {206, 207}},
        {"240-bin fallback at 300, two bins a bar", 240, 0, 1, 300, 120, {2, 4}},
        {"narrow mini canvas keeps 120 bars", 2048, 0, 1, 82, 120, {17, 34}},
        {"three bins only", 3, 0, 1, 600, 3, {1, 2}},
        {"one bin", 1, 0, 1, 600, 1, {0, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<float> peaks(size_t(c.bins), 0.5f);
        const WaveformEnvelope env{peaks, {}};
        const WaveformBarLayout l = WaveformBarLayout::make(c.bins, c.f0, c.f1, c.width, 100);
        EXPECT_EQ(l.bars, c.bars);
        const int barIndex = l.bars > 1 ? 1 : 0;
        const WaveformBar bar = l.bar(barIndex, env);
        EXPECT_EQ(bar.firstBin, c.firstBinsOfBar1[0]);
        EXPECT_EQ(bar.endBin, c.firstBinsOfBar1[1]);
        // The bars tile the visible bins: no gap, no overlap, never past the end.
        int expectedFirst = l.s;
        for (int i = 0; i < l.bars; ++i) {
            const WaveformBar b = l.bar(i, env);
            ASSERT_EQ(b.firstBin, expectedFirst) << "bar " << i;
            ASSERT_GT(b.endBin, b.firstBin);
            ASSERT_LE(b.endBin, c.bins);
            expectedFirst = b.endBin;
        }
        EXPECT_EQ(expectedFirst, l.e);
    }
}

TEST(WaveformBarLayout, HeightsFromBinMaximaWithFloors) {
    const std::vector<float> peaks = {0.001f, 0.002f, 0.9f, 0.4f, 0.5f, 0.5f};
    const std::vector<float> rms = {0.001f, 0.002f, 0.3f}; // shorter than peaks
    const WaveformEnvelope env{peaks, rms};
    const WaveformBarLayout l = WaveformBarLayout::make(6, 0, 1, 600, 100);
    ASSERT_EQ(l.bars, 6);
    struct Case {
        int bar;
        double peakHeight, rmsHeight;
    };
    const Case cases[] = {
        {0, 3.0, 2.0}, // silence still draws 3 and 2 points
        {2, 0.9 * 86, 0.3 * 86},
        {4, 0.5 * 86, 2.0}, // past the end of rms
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bar);
        const WaveformBar b = l.bar(c.bar, env);
        EXPECT_NEAR(b.peakHeight, c.peakHeight, 1e-4);
        EXPECT_NEAR(b.rmsHeight, c.rmsHeight, 1e-4);
    }
    // A bar over several bins takes their maximum.
    const WaveformBarLayout three = WaveformBarLayout::make(6, 0, 1, 600, 100);
    WaveformBarLayout merged = three;
    merged.bars = 3; // two bins a bar
    EXPECT_NEAR(merged.bar(1, env).peakHeight, 0.9 * 86, 1e-4);
}

TEST(WaveformBarLayout, MissingOrEmptyPeaksDrawTheFlatFallback) {
    const std::vector<float> empty;
    const std::vector<float> someRms(10, 0.5f);
    const WaveformEnvelope cases[] = {
        WaveformEnvelope::withFallback(nullptr, nullptr),
        WaveformEnvelope::withFallback(&empty, &someRms),
        WaveformEnvelope::withFallback(&empty, &empty),
    };
    for (const WaveformEnvelope& env : cases) {
        ASSERT_EQ(env.peaks.size(), 240u);
        ASSERT_EQ(env.rms.size(), 240u);
        const WaveformBarLayout l = WaveformBarLayout::make(int(env.peaks.size()), 0, 1, 300, 100);
        const WaveformBar b = l.bar(0, env);
        EXPECT_NEAR(b.peakHeight, 0.12 * 86, 1e-4);
        EXPECT_NEAR(b.rmsHeight, 0.06 * 86, 1e-4);
    }
    const std::vector<float> peaks(5, 0.3f);
    EXPECT_EQ(WaveformEnvelope::withFallback(&peaks, nullptr).peaks.size(), 5u);
}

TEST(WaveformBarLayout, PlayedBoundaryIsTheBarsLeftEdge) {
    const WaveformBarLayout l = WaveformBarLayout::make(2048, 0, 1, 600, 100);
    struct Case {
        const char* name;
        double playX;
        int played;
    };
    const Case cases[] = {
        {"left of the first bar", l.barX(0) - 0.01, 0},
        {"exactly on bar 0's left edge", l.barX(0), 1},
        {"exactly on bar 10's left edge", l.barX(10), 11},
        {"just before bar 10's left edge", l.barX(10) - 1e-9, 10},
        {"playhead after the window (q > 1)", 1.5 * 600, l.bars},
        {"playhead before the window (q < 0)", -30, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(l.playedBarCount(c.playX), c.played);
    }
}

} // namespace
} // namespace tindrel
