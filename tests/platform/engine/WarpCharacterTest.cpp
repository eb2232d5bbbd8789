#include "Tindrel/platform/audio/engine/WarpCharacter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace tindrel::platform {
namespace {

TEST(WarpCharacter, ChoosesThePathAndRatiosForEachSetting) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float infinity = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        float overlap, rate, cents;
        WarpPath path;
        double rate_, pitchScale;
    };
    const Case cases[] = {
        {"neutral", 8, 1, 0, WarpPath::varispeed, 1, 1},
        {"musical at 1x, 0 st is neutral", 12, 1, 0, WarpPath::varispeed, 1, 1},
        {"beats at 1x, 0 st is neutral", 3.5f, 1, 0, WarpPath::varispeed, 1, 1},
        {"tape 2x", 8, 2, 1200, WarpPath::varispeed, 2, 2},
        {"tape 0.5x", 8, 0.5f, -1200, WarpPath::varispeed, 0.5, 0.5},
        {"tape 1.5x in single precision", 8, 1.5f, static_cast<float>(1200 * std::log2(1.5f)),
         WarpPath::varispeed, 1.5, 1.5},
        {"musical", 12, 1.25f, 300, WarpPath::smoothStretcher, 1.25, std::exp2(0.25)},
        {"musical pitch only", 12, 1, 1200, WarpPath::smoothStretcher, 1, 2},
        {"beats", 3.5f, 1.25f, -300, WarpPath::crispStretcher, 1.25, std::exp2(-0.25)},
        {"overlap 8 with a pitch of its own", 8, 1.25f, 300, WarpPath::smoothStretcher, 1.25,
         std::exp2(0.25)},
        {"rate and pitch clamp", 12, 10, 5000, WarpPath::smoothStretcher, 4, 4},
        {"low clamp", 3.5f, 0, -5000, WarpPath::crispStretcher, 0.25, 0.25},
        {"NaN rate and pitch are neutral", 12, nan, nan, WarpPath::varispeed, 1, 1},
        {"infinite rate is neutral", 3.5f, infinity, 0, WarpPath::varispeed, 1, 1},
        {"NaN overlap reads as tape", nan, 2, 1200, WarpPath::varispeed, 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const WarpSetting setting = warpSettingFor(c.overlap, c.rate, c.cents);
        EXPECT_EQ(setting.path, c.path);
        EXPECT_NEAR(setting.rate, c.rate_, 1e-6);
        EXPECT_NEAR(setting.pitchScale, c.pitchScale, 1e-4);
    }
}

TEST(WarpCharacter, MusicalUsesTheFinerEngineAndBeatsHitsTheFasterOne) {
    using RubberBand::RubberBandStretcher;
    const auto smooth = stretcherOptions(WarpPath::smoothStretcher);
    const auto crisp = stretcherOptions(WarpPath::crispStretcher);
    EXPECT_EQ(RubberBandStretcher(44100, 2, smooth).getEngineVersion(), 3);
    EXPECT_EQ(RubberBandStretcher(44100, 2, crisp).getEngineVersion(), 2);
    EXPECT_TRUE(crisp & RubberBandStretcher::OptionWindowShort);
    EXPECT_TRUE(crisp & RubberBandStretcher::OptionDetectorPercussive);
    EXPECT_TRUE(smooth & RubberBandStretcher::OptionProcessRealTime);
    EXPECT_TRUE(crisp & RubberBandStretcher::OptionProcessRealTime);
}

} // namespace
} // namespace tindrel::platform
