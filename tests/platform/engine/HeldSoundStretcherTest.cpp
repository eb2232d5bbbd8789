// The held-sound stretcher keeps chords steady and at their level at every speed and pitch,
// gives the source back at its own speed and pitch, and plays each moment when it is due.

#include "Tindrel/platform/audio/engine/HeldSoundStretcher.h"
#include "tests/platform/engine/BeatsGridMeasures.h"
#include "tests/platform/engine/SignalSampleSource.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace tindrel::test {
namespace {

using platform::HeldSoundStretcher;
using platform::SourceWindow;

constexpr double sampleRate = 48000;

struct Setting {
    double rate;
    double semitones;
};

std::string traceOf(const Setting& setting) {
    return std::to_string(setting.rate) + "x " + std::to_string(setting.semitones) + " st";
}

// Channel 0 of `frames` output frames, rendered in blocks of an odd size as a deck asks.
std::vector<float> stretch(const Signal& signal, const Setting& setting, size_t frames) {
    SignalSampleSource feed(signal);
    SourceWindow window(static_cast<uint32_t>(signal.channels), size_t{1} << 18);
    window.reset(0);
    HeldSoundStretcher stretcher(signal.sampleRate, static_cast<uint32_t>(signal.channels));
    const double pitchScale = std::exp2(setting.semitones / 12);
    stretcher.start(0, setting.rate, pitchScale, window, feed);
    std::vector<std::vector<float>> block(static_cast<size_t>(signal.channels),
                                          std::vector<float>(333));
    std::vector<float*> pointers;
    for (auto& channel : block) {
        pointers.push_back(channel.data());
    }
    std::vector<float> out;
    while (out.size() < frames) {
        const size_t made = stretcher.render(pointers.data(), 0, block[0].size(), setting.rate,
                                             pitchScale, window, feed);
        out.insert(out.end(), block[0].begin(),
                   block[0].begin() + static_cast<std::ptrdiff_t>(made));
        window.keepFrom(static_cast<int64_t>(stretcher.heard()) - SourceWindow::leadFrames);
    }
    out.resize(frames);
    return out;
}

double rms(const std::vector<float>& samples, size_t from, size_t to) {
    double sum = 0;
    for (size_t k = from; k < to; ++k) {
        sum += static_cast<double>(samples[k]) * samples[k];
    }
    return std::sqrt(sum / static_cast<double>(to - from));
}

TEST(HeldSoundStretcher, KeepsChordsSteadyAndAtTheirLevelAtEverySpeedAndPitch) {
    // Rubber Band's engines dipped single notes of these chords by 10 to 40 dB now and then.
    const Setting settings[] = {{0.25, 24}, {0.25, -5}, {0.5, 7}, {0.75, -12},
                                {1, -5},    {1.25, 3},  {2, -24}, {4, 12}};
    for (const GridPad& pad : heldPads()) {
        const Signal chord = padSignal(pad.notes, 4.0, sampleRate, 2);
        const double sourceLevel =
            rms(chord.samples, chord.samples.size() / 2, chord.samples.size());
        for (const Setting& setting : settings) {
            SCOPED_TRACE(traceOf(setting) + ", " + std::to_string(pad.notes.size()) + " notes");
            const auto frames = static_cast<size_t>(3.0 * sampleRate / setting.rate);
            const std::vector<float> out = stretch(chord, setting, frames);
            EXPECT_GE(
                worstNoteDipDb(out, pad.notes, std::exp2(setting.semitones / 12), 0.5, sampleRate),
                -0.5);
            const double level = rms(out, frames / 4, frames);
            EXPECT_NEAR(20 * std::log10(level / sourceLevel), 0, 0.5);
        }
    }
}

TEST(HeldSoundStretcher, GivesTheSourceBackAtItsOwnSpeedAndPitch) {
    // A chord, a kick sweeping down over it and a burst of noise: whatever the peaks do from
    // frame to frame, a speed of 1 puts every frame back where it was.
    Signal signal = padSignal(heldPads()[1].notes, 2.0, sampleRate, 2);
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-0.3f, 0.3f);
    double phase = 0;
    for (int64_t k = 0; k < signal.frames(); ++k) {
        const double t = static_cast<double>(k) / sampleRate - 0.8;
        float add = 0;
        if (t >= 0 && t < 0.4) {
            phase += 2 * M_PI * (45 + 90 * std::exp(-t / 0.03)) / sampleRate;
            add = static_cast<float>(std::exp(-t / 0.12) * std::sin(phase));
        }
        if (t >= 0.5 && t < 0.53) {
            add += noise(random);
        }
        for (int c = 0; c < 2; ++c) {
            signal.samples[static_cast<size_t>(2 * k + c)] += add;
        }
    }
    const std::vector<float> out = stretch(signal, {1, 0}, static_cast<size_t>(1.8 * sampleRate));
    double worst = 0;
    for (size_t k = 0; k < out.size(); ++k) {
        worst = std::max(
            worst, std::abs(static_cast<double>(out[k]) - signal.at(static_cast<int64_t>(k), 0)));
    }
    EXPECT_LT(worst, 1e-4);
}

TEST(HeldSoundStretcher, PlaysEachMomentWhenItIsDue) {
    // A short tone burst in silence: the centre of its energy comes out at its source time
    // over the rate. (Where the speed is above the pitch scale, a frame plays what it holds at
    // the source's own speed, as any phase vocoder's does: there hits are timed by the hits
    // stretcher.)
    Signal signal = silenceSignal(3.0, sampleRate, 2);
    const double burstAt = 1.0;
    for (int64_t k = 0; k < static_cast<int64_t>(0.02 * sampleRate); ++k) {
        const double t = static_cast<double>(k) / sampleRate;
        const auto value =
            static_cast<float>(0.5 * std::sin(2 * M_PI * 700 * t) * std::sin(M_PI * t / 0.02));
        const auto frame = static_cast<int64_t>(burstAt * sampleRate) + k;
        signal.samples[static_cast<size_t>(2 * frame)] = value;
        signal.samples[static_cast<size_t>(2 * frame + 1)] = value;
    }
    for (const Setting& setting :
         {Setting{0.25, 0}, Setting{0.5, 7}, Setting{1.25, 5}, Setting{2, 12}, Setting{4, 24}}) {
        SCOPED_TRACE(traceOf(setting));
        const std::vector<float> out =
            stretch(signal, setting, static_cast<size_t>(2.5 * sampleRate / setting.rate));
        double energy = 0;
        double moment = 0;
        for (size_t k = 0; k < out.size(); ++k) {
            const double power = static_cast<double>(out[k]) * out[k];
            energy += power;
            moment += power * static_cast<double>(k);
        }
        const double due = (burstAt + 0.01) * sampleRate / setting.rate;
        EXPECT_NEAR((moment / energy - due) / sampleRate * 1000, 0, 3);
    }
}

} // namespace
} // namespace tindrel::test
