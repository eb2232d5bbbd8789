// A seek while playing, and the loop wrap that is one, through the real graph: no click, no
// dip in level, and a playhead that names what is heard, in every warp mode.

#include "tests/platform/engine/WarpSoundMeasures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace tindrel::test {
namespace {

TEST(SeekWhilePlaying, JoinsTheToneWithoutAClickOrADip) {
    const WarpMode modes[] = {{"neutral", 8, 1, 0},
                              {"tape", 8, 1.25f, static_cast<float>(1200 * std::log2(1.25))},
                              {"musical", 12, 1.25f, 0},
                              // The faster engine stands in here; its start sags and swells.
                              {"musical at 4x, -24 st", 12, 4, -2400},
                              {"beats", 3.5f, 1.25f, 0}};
    for (bool wrap : {true, false}) {
        for (const WarpMode& mode : modes) {
            SCOPED_TRACE(std::string(wrap ? "wrap" : "seek") + " in " + mode.name);
            const JoinMeasure joins = measureJoins(mode, wrap);
            ASSERT_GT(joins.level, 0.3);
            EXPECT_LE(joins.worstStep, 1.5 * joins.ownStep);
            EXPECT_GE(joins.lowestLevel, joins.level * std::pow(10, -1 / 20.0))
                << "dips more than 1 dB";
            EXPECT_LE(joins.worstHighDb, -60) << "a burst above 3 kHz";
            // Heard from the new place: what played since, less at most one block not yet
            // counted, plus at most the 5 ms skipped to line the tone up.
            EXPECT_LE(joins.playheadBehind, 512 * mode.rate);
            EXPECT_LE(joins.playheadAhead, 0.005 * 44100 * mode.rate + 1);
        }
    }
}

} // namespace
} // namespace tindrel::test
