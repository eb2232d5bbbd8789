// The beats character keeps a sustained tone clean, a drum hit where it was, and held sound
// under hits at its level.

#include "tests/platform/engine/BeatsGridMeasures.h"
#include "tests/platform/engine/BeatsSoundMeasures.h"
#include "tests/platform/engine/WarpPathPlayer.h"
#include "tests/platform/engine/WarpSoundMeasures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

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

TEST(BeatsMode, HeldNotesUnderHitsDipNoDeeperThanMusical) {
    // Two- and three-note pads under kicks, snares and hats of varying spacing and loudness. A
    // note carried by both stretchers in turn, or a hit left to the held part's stretcher, dipped
    // it 5 to 25 dB deeper than the musical character does; a held stretcher that resets phases
    // dipped it by 10 to 40 dB here and there; a hit that took the skirt of a note's spectrum to
    // its own stretcher, by 4 to 8 dB.
    const std::vector<GridSetting> grid = {{0.5, 0}, {0.75, -12}, {1, 3}, {1.25, -24},
                                           {2, -12}, {4, 0},      {4, 3}, {0.25, 24}};
    for (const BeatsGridMeasure& measure :
         measureBeatsGrid(grid, heldPads(), 4.0, false, 48000, 256, 3)) {
        SCOPED_TRACE(std::to_string(measure.setting.rate) + "x " +
                     std::to_string(measure.setting.semitones) + " st");
        EXPECT_GE(measure.beatsDipDb, measure.musicalDipDb - 1);
        EXPECT_GE(measure.beatsDipDb, -3);
        // At most hits a note is to hold as it does through the musical character; the deepest
        // dips are single hits whose own sound in the note's band adds against it.
        EXPECT_GE(measure.beatsHitDipMedianDb, measure.musicalHitDipMedianDb - 0.5);
    }
}

TEST(BeatsMode, PlaysTheCornersAtEverySampleRate) {
    // At 192 kHz the held stretcher reads some 130k frames ahead at 4x and -24 st; windows
    // sized for 48 kHz stalled the path there for good.
    for (const double rate : {44100.0, 96000.0, 192000.0}) {
        const Signal tone = sineSignal(440, 0.5, 5.0, rate);
        WarpPathPlayer player(rate, tone.channels);
        for (const GridSetting setting : {GridSetting{4, -24}, GridSetting{0.25, 24}}) {
            SCOPED_TRACE(std::to_string(rate) + " Hz, " + std::to_string(setting.rate) + "x " +
                         std::to_string(setting.semitones) + " st");
            const auto frames = static_cast<size_t>(rate);
            const PathRender played = player.render(tone, WarpPathKind::beats, setting.rate,
                                                    std::exp2(setting.semitones / 12), frames, 256);
            ASSERT_EQ(played.out.size(), frames);
            double energy = 0;
            for (size_t k = frames / 2; k < frames; ++k) {
                energy += static_cast<double>(played.out[k]) * played.out[k];
            }
            EXPECT_NEAR(20 * std::log10(std::sqrt(energy / static_cast<double>(frames / 2)) /
                                        (0.5 / std::sqrt(2.0))),
                        0, 0.5);
        }
    }
}

// One burst of white noise, 30 ms long at 1 s, after and before silence.
Signal singleHitSignal() {
    Signal signal = silenceSignal(3.0);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (int64_t k = 44100; k < 44100 + 1323; ++k) {
        const float sample = noise(random);
        for (int c = 0; c < signal.channels; ++c) {
            signal.samples[static_cast<size_t>(k * signal.channels + c)] = sample;
        }
    }
    return signal;
}

// The centre of the energy within 200 ms of `due`, in ms from it.
double energyCentreMs(const std::vector<float>& out, double due) {
    double energy = 0;
    double moment = 0;
    for (auto k = static_cast<int64_t>(due - 0.2 * sampleRate);
         k < static_cast<int64_t>(due + 0.2 * sampleRate); ++k) {
        const double sample = out[static_cast<size_t>(k)];
        const double power = sample * sample;
        energy += power;
        moment += power * static_cast<double>(k);
    }
    return (moment / energy - due) * 1000 / sampleRate;
}

TEST(BeatsMode, HitComesWhenDueFastAtTheDeepestPitches) {
    // There the crisp stretcher played a hit's frames at the input's speed and all after it
    // came 35 to 80 ms late.
    for (const Setting setting :
         {Setting{2, -2400}, Setting{3, -2100}, Setting{4, -2400}, Setting{4, -1200}}) {
        SCOPED_TRACE(traceOf(setting));
        const WarpMode beats{"beats", 3.5f, setting.rate, setting.cents};
        const auto out = renderWarped(singleHitSignal(), beats,
                                      static_cast<size_t>(2.5 * sampleRate / setting.rate));
        const double hitCentre = (sampleRate + 0.015 * sampleRate) / setting.rate;
        EXPECT_LE(std::abs(energyCentreMs(out, hitCentre)), 12);
    }
}

} // namespace
} // namespace tindrel::test
