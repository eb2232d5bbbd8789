// Every setting of the controls sounds as shown: the pitch of a sine at every corner of speed
// and pitch, played and exported, and the level of a held tone where a range that alone is
// warped begins and ends.

#include "tests/platform/engine/EngineTestRig.h"
#include "tests/platform/engine/WarpGridMeasures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>

namespace tindrel::test {
namespace {

std::string nameOf(const WarpMode& mode) {
    return std::string(mode.name) + " " + std::to_string(mode.rate) + "x " +
           std::to_string(mode.cents) + " c";
}

TEST(WarpGrid, PitchHeardIsThePitchSetAtEverySpeedAndPitchLiveAndExported) {
    const auto grid = cornerGrid();
    const auto measures = measureCornerPitches(grid);
    for (size_t k = 0; k < grid.size(); ++k) {
        SCOPED_TRACE(nameOf(grid[k]));
        EXPECT_TRUE(measures[k].finite);
        EXPECT_LE(std::abs(measures[k].liveCents), 1.0);
        EXPECT_LE(std::abs(measures[k].exportedCents), 1.0);
    }
}

TEST(WarpGrid, CrossingTheFinerEnginesBoundWhilePlayingKeepsSoundingInTune) {
    // At 4x, -12 st is the finer engine's last pitch; -24 st is the faster engine's.
    for (float overlap : {12.0f, 3.5f}) {
        for (const auto& [from, to] :
             {std::pair{-1200.0f, -2400.0f}, std::pair{-2400.0f, -1200.0f}}) {
            SCOPED_TRACE(std::to_string(overlap) + ": " + std::to_string(from) + " to " +
                         std::to_string(to) + " c");
            EngineTestRig rig(sineSignal(1000, 0.5, 8.0, 44100, 1));
            rig.setWarp(overlap, 4, from);
            rig.playFrom(0);
            rig.pump(22050);
            rig.setWarp(overlap, 4, to);
            const auto out = rig.pump(22050);
            for (size_t k = 0; k + 256 <= out.size(); k += 256) {
                ASSERT_GT(rms(out, k, 256), 0.2) << "gap at frame " << k;
            }
            const double heard = zeroCrossingFrequency(out, 11025, 8192, 44100);
            EXPECT_NEAR(1200 * std::log2(heard / 1000), to, 1);
        }
    }
}

TEST(WarpGrid, WhereTheFasterEngineStandsInASoundComesWhenItIsDue) {
    // A tone starting at 1 s of the source; the faster engine reports about twice its delay.
    struct Setting {
        float rate;
        float cents;
    };
    for (const Setting setting : {Setting{2.5f, -2100}, Setting{3, -2400}, Setting{4, -2400}}) {
        SCOPED_TRACE(std::to_string(setting.rate) + "x " + std::to_string(setting.cents) + " c");
        EngineTestRig rig(toneAfterSilence(440, 1.0, 3.0));
        rig.setWarp(12, setting.rate, setting.cents);
        rig.playFrom(0);
        const auto out = rig.pump(static_cast<uint32_t>(44100 / setting.rate + 8192));
        const double onsetMs = static_cast<double>(firstFrameAbove(out, 0.25f)) / 44.1;
        EXPECT_NEAR(onsetMs, 1000 / setting.rate, 15);
    }
}

TEST(WarpGrid, HeldToneKeepsItsLevelWhereAWarpedRangeBeginsAndEnds) {
    struct Setting {
        float rate;
        float semitones;
    };
    // 1.25x once dipped 5 dB on the way out, 1x at a pitch swelled 3 dB on the way in.
    constexpr Setting settings[] = {{0.5f, -12}, {0.5f, 5},  {1, 7},      {1, -12},
                                    {1.25f, 0},  {1.2f, 0},  {1.25f, 12}, {2, 0},
                                    {2, -5},     {0.75f, 0}, {1.5f, 12}};
    std::vector<WarpMode> modes;
    for (const Setting& setting : settings) {
        modes.push_back({"musical", 12, setting.rate, setting.semitones * 100});
        modes.push_back({"beats", 3.5f, setting.rate, setting.semitones * 100});
    }
    for (float rate : {0.5f, 1.25f, 2.0f}) {
        modes.push_back({"tape", 8, rate, 1200 * std::log2(rate)});
    }
    for (const WarpMode& mode : modes) {
        SCOPED_TRACE(nameOf(mode));
        const EdgeChange change = measureRangeEdges(mode);
        EXPECT_LE(change.enteringDb, 0.5);
        EXPECT_LE(change.leavingDb, 0.5);
    }
}

} // namespace
} // namespace tindrel::test
