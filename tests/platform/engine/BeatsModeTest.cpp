// The beats character keeps a sustained tone clean, a drum hit where it was, and held sound
// under hits at its level.

#include "tests/platform/engine/BeatsSoundMeasures.h"
#include "tests/platform/engine/WarpSoundMeasures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace tindrel::test {
namespace {

constexpr double sampleRate = 44100;

struct Setting {
    float rate;
    float cents;
};
constexpr Setting settings[] = {{1.25f, 0}, {1, 300}, {0.75f, -500}, {2, 700}};

std::string traceOf(const Setting& setting) {
    return std::to_string(setting.rate) + "x " + std::to_string(setting.cents) + " c";
}

TEST(BeatsMode, SustainedToneStaysCleanAtEverySetting) {
    for (const Setting& setting : settings) {
        SCOPED_TRACE(traceOf(setting));
        const WarpMode beats{"beats", 3.5f, setting.rate, setting.cents};
        const double tone = 1000 * std::exp2(setting.cents / 1200.0);
        const auto out = renderWarped(sineSignal(1000, 0.5, 6.0), beats, 44100 + 65536);
        EXPECT_LE(thdPlusNoiseDb(out, 44100, {tone}, sampleRate), -45);
        EXPECT_GE(envelopeDipDb(out, 44100, 65536, sampleRate), -1);
        EXPECT_LT(std::abs(pitchErrorCents(out, 44100, tone, sampleRate)), 0.1);
    }
}

TEST(BeatsMode, DrumHitsKeepTheirPlace) {
    for (const Setting& setting : settings) {
        SCOPED_TRACE(traceOf(setting));
        const WarpMode beats{"beats", 3.5f, setting.rate, setting.cents};
        const auto out = renderWarped(clickTrainSignal(4.0), beats,
                                      static_cast<size_t>(3.5 * sampleRate / setting.rate));
        const OnsetTiming timing = clickTrainTiming(out, setting.rate, sampleRate);
        EXPECT_LE(timing.worstOnsetMs,
                  1.5); // the transient stretcher runs up to 1.3 ms late at 1.25x
        EXPECT_LE(timing.worstPreEchoDb, -60);
    }
}

TEST(BeatsMode, HeldToneUnderHitsKeepsItsLevel) {
    const Signal tone = toneUnderHitsSignal(2.0);
    for (const Setting& setting : settings) {
        SCOPED_TRACE(traceOf(setting));
        const WarpMode beats{"beats", 3.5f, setting.rate, setting.cents};
        const auto out =
            renderWarped(tone, beats, static_cast<size_t>(1.8 * sampleRate / setting.rate));
        const HitDips dips =
            hitDips(out, setting.rate, 1000 * std::exp2(setting.cents / 1200.0), 0.5, sampleRate);
        EXPECT_GE(dips.medianDb, -1);
        EXPECT_GE(dips.worstDb, -3);
    }
}

TEST(BeatsMode, MusicWithDrumsKeepsItsLevel) {
    // Where hits are handed to another stretcher at all: loud drums, which are found even by a
    // detector of rises in level.
    const Signal music = drumMixSignal(8.0, loudDrums);
    for (const Setting& setting : {settings[0], settings[3]}) {
        SCOPED_TRACE(traceOf(setting));
        const WarpMode beats{"beats", 3.5f, setting.rate, setting.cents};
        const auto played =
            renderWarped(music, beats, static_cast<size_t>(7.8 * sampleRate / setting.rate));
        const LevelAgainstSource level = levelAgainstSource(music, played, setting.rate, 0.5);
        EXPECT_LE(std::abs(level.changeDb), 0.5);
        EXPECT_LE(level.shareFramesLow, 0.01);
    }
}

} // namespace
} // namespace tindrel::test
