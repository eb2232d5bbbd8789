#include "tests/platform/engine/BeatsSoundMeasures.h"
#include "tests/platform/engine/SignalSampleSource.h"

#include "tests/platform/engine/EngineTestRig.h"

#include "Tindrel/platform/audio/engine/PercussionSplit.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <utility>

namespace tindrel::test {

namespace {

constexpr double pi = std::numbers::pi;

// High-passed noise (a second difference), as a hat or a click's sizzle.
class HatNoise {
public:
    explicit HatNoise(uint32_t seed) : random_(seed) {}
    double next() {
        const double white = noise_(random_);
        const double value = (white - 2 * last_ + beforeLast_) / 4;
        beforeLast_ = last_;
        last_ = white;
        return value;
    }

private:
    std::mt19937 random_;
    std::uniform_real_distribution<double> noise_{-1.0, 1.0};
    double last_ = 0;
    double beforeLast_ = 0;
};

void addToEveryChannel(Signal& signal, int64_t frame, double value) {
    if (frame < 0 || frame >= signal.frames()) {
        return;
    }
    for (int c = 0; c < signal.channels; ++c) {
        signal.samples[static_cast<size_t>(frame * signal.channels + c)] +=
            static_cast<float>(value);
    }
}

// Adds `voice(t)` for t in [0, length) seconds from `at` seconds.
template <typename Voice> void addEvent(Signal& signal, double at, double length, Voice&& voice) {
    const auto first = static_cast<int64_t>(std::llround(at * signal.sampleRate));
    const auto count = static_cast<int64_t>(length * signal.sampleRate);
    for (int64_t k = 0; k < count; ++k) {
        addToEveryChannel(signal, first + k, voice(static_cast<double>(k) / signal.sampleRate));
    }
}

void addHat(Signal& signal, double at, double peak, double decaySeconds, uint32_t seed) {
    HatNoise noise(seed);
    addEvent(signal, at, 6 * decaySeconds,
             [&](double t) { return peak * std::exp(-t / decaySeconds) * noise.next(); });
}

double midiHz(int note) {
    return 440 * std::exp2((note - 69) / 12.0);
}

// 1 inside [begin, end], raised-cosine ramps of `ramp` seconds centred on both ends.
double held(double t, double begin, double end, double ramp) {
    const auto edge = [&](double x) {
        return x <= -ramp / 2  ? 0.0
               : x >= ramp / 2 ? 1.0
                               : 0.5 - 0.5 * std::cos(pi * (x / ramp + 0.5));
    };
    return edge(t - begin) * edge(end - t);
}

} // namespace

SplitParts splitAsBeatsDoes(const Signal& signal) {
    using platform::PercussionSplit;
    const auto channels = static_cast<uint32_t>(signal.channels);
    const auto frames =
        static_cast<size_t>(signal.frames() - std::llround(0.25 * signal.sampleRate));
    platform::SourceWindow window(channels, size_t{1} << 18);
    SignalSampleSource source(signal);
    PercussionSplit split(signal.sampleRate, channels);
    split.bind(window, source);
    split.start(0, 0);
    std::vector<std::vector<float>> held(channels, std::vector<float>(frames));
    std::vector<std::vector<float>> hits(channels, std::vector<float>(frames));
    std::vector<float*> heldPointers;
    std::vector<float*> hitPointers;
    for (uint32_t c = 0; c < channels; ++c) {
        heldPointers.push_back(held[c].data());
        hitPointers.push_back(hits[c].data());
    }
    constexpr size_t block = 1024;
    for (size_t at = 0; at < frames; at += block) {
        const size_t count = std::min(block, frames - at);
        split.part(PercussionSplit::Part::held).pull(heldPointers.data(), at, count);
        split.part(PercussionSplit::Part::hits).pull(hitPointers.data(), at, count);
        window.keepFrom(static_cast<int64_t>(at));
    }
    return {std::move(held[0]), std::move(hits[0]), split.hitsFound()};
}

Signal toneUnderHitsSignal(double seconds) {
    Signal signal = sineSignal(1000, 0.25, seconds);
    uint32_t seed = 1;
    for (double at = hitSpacingSeconds; at < seconds; at += hitSpacingSeconds) {
        addHat(signal, at, 0.5, 0.02, seed++);
    }
    return signal;
}

HitDips hitDips(const std::vector<float>& out, double rate, double toneHz, double fromSeconds,
                double sampleRate) {
    constexpr double windowSeconds = 0.01;
    const auto length = static_cast<size_t>(windowSeconds * sampleRate);
    const auto step = static_cast<size_t>(0.001 * sampleRate);
    std::vector<std::complex<double>> kernel(length);
    double gain = 0;
    for (size_t k = 0; k < length; ++k) {
        const double t = 2 * pi * static_cast<double>(k) / static_cast<double>(length - 1);
        const double window =
            0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        kernel[k] =
            window * std::polar(1.0, -2 * pi * toneHz * static_cast<double>(k) / sampleRate);
        gain += window;
    }
    // Level of the window centred on each step from fromSeconds.
    const auto first = static_cast<size_t>(fromSeconds * sampleRate);
    std::vector<double> centres;
    std::vector<double> levels;
    for (size_t begin = first; begin + length <= out.size(); begin += step) {
        std::complex<double> sum;
        for (size_t k = 0; k < length; ++k) {
            sum += kernel[k] * static_cast<double>(out[begin + k]);
        }
        centres.push_back(static_cast<double>(begin + length / 2) / sampleRate);
        levels.push_back(std::abs(sum) / gain);
    }
    auto sorted = levels;
    std::nth_element(sorted.begin(),
                     sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const double reference = sorted[sorted.size() / 2];
    std::vector<double> dips;
    for (double hit = hitSpacingSeconds;; hit += hitSpacingSeconds) {
        const double heard = hit / rate;
        if (heard - 0.06 < centres.front()) {
            continue;
        }
        if (heard + 0.09 > centres.back()) {
            break;
        }
        double lowest = reference;
        for (size_t k = 0; k < centres.size(); ++k) {
            if (centres[k] >= heard - 0.06 && centres[k] <= heard + 0.09) {
                lowest = std::min(lowest, levels[k]);
            }
        }
        dips.push_back(20 * std::log10(std::max(lowest, 1e-9) / reference));
    }
    HitDips result;
    if (dips.empty()) {
        return result;
    }
    result.worstDb = *std::min_element(dips.begin(), dips.end());
    std::nth_element(dips.begin(), dips.begin() + static_cast<std::ptrdiff_t>(dips.size() / 2),
                     dips.end());
    result.medianDb = dips[dips.size() / 2];
    return result;
}

Signal padSignal(const std::vector<PadNote>& notes, double seconds, double sampleRate,
                 int channels) {
    Signal signal = silenceSignal(seconds, sampleRate, channels);
    addEvent(signal, 0, seconds, [&](double t) {
        double pad = 0;
        for (const PadNote& note : notes) {
            pad += note.amplitude * std::sin(2 * pi * note.hz * t);
        }
        return std::min(1.0, t / 0.05) * pad;
    });
    return signal;
}

namespace {

struct PadDrum {
    double at;
    double gain;
    int kind; // 0 kick, 1 snare, 2 hat
    uint32_t noiseSeed;
};

std::vector<PadDrum> padDrums(double seconds, unsigned seed) {
    std::mt19937 random(seed);
    constexpr double spacings[] = {0.0625, 0.125, 0.25, 0.25, 0.375};
    constexpr double gains[] = {0.5, 1, 1.5, 2};
    std::vector<PadDrum> drums;
    for (double at = 0.3; at < seconds - 0.4;
         at += spacings[std::uniform_int_distribution<size_t>(0, 4)(random)]) {
        const double gain = gains[std::uniform_int_distribution<size_t>(0, 3)(random)];
        const auto kind = std::uniform_int_distribution<int>(0, 2)(random);
        drums.push_back({at, gain, kind, static_cast<uint32_t>(random())});
    }
    return drums;
}

struct NoteLevels {
    std::vector<double> levels; // of windows stepped by `step` from `first`
    size_t length = 0;          // of the window
    double median = 0;
};

NoteLevels noteLevels(const std::vector<float>& out, const PadNote& note,
                      const std::vector<PadNote>& notes, double pitchScale, size_t first,
                      size_t step, double sampleRate) {
    const double hz = note.hz * pitchScale;
    // The drums' own tones (the kick's sweep tops out at 135 Hz, the snare's at 185 Hz) would
    // beat against the note.
    double nearest = std::min(hz - 135 * pitchScale, std::abs(hz - 185 * pitchScale));
    for (const PadNote& other : notes) {
        if (&other != &note) {
            nearest = std::min(nearest, std::abs(other.hz * pitchScale - hz));
        }
    }
    // The window's main lobe reaches 4 / length either side.
    const double seconds = std::max(0.01, 4.0 / nearest);
    NoteLevels result;
    result.length = static_cast<size_t>(seconds * sampleRate);
    std::vector<std::complex<double>> kernel(result.length);
    for (size_t k = 0; k < result.length; ++k) {
        const double t = 2 * pi * static_cast<double>(k) / static_cast<double>(result.length - 1);
        const double window =
            0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        kernel[k] = window * std::polar(1.0, -2 * pi * hz * static_cast<double>(k) / sampleRate);
    }
    for (size_t begin = first; begin + result.length <= out.size(); begin += step) {
        std::complex<double> sum;
        for (size_t k = 0; k < result.length; ++k) {
            sum += kernel[k] * static_cast<double>(out[begin + k]);
        }
        result.levels.push_back(std::abs(sum));
    }
    if (!result.levels.empty()) {
        auto sorted = result.levels;
        const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
        std::nth_element(sorted.begin(), middle, sorted.end());
        result.median = *middle;
    }
    return result;
}

double dipDb(double level, double median) {
    return 20 * std::log10(std::max(level, 1e-12) / median);
}

} // namespace

std::vector<double> padDrumSeconds(double seconds, unsigned seed) {
    std::vector<double> times;
    for (const PadDrum& drum : padDrums(seconds, seed)) {
        times.push_back(drum.at);
    }
    return times;
}

Signal padUnderDrumsSignal(const std::vector<PadNote>& notes, double seconds, double sampleRate,
                           int channels, unsigned seed) {
    Signal signal = padSignal(notes, seconds, sampleRate, channels);
    for (const PadDrum& drum : padDrums(seconds, seed)) {
        const double gain = drum.gain;
        if (drum.kind == 0) {
            double phase = 0;
            addEvent(signal, drum.at, 0.4, [&](double t) {
                phase += 2 * pi * (45 + 90 * std::exp(-t / 0.03)) / signal.sampleRate;
                return 0.3 * gain * std::exp(-t / 0.12) * std::sin(phase);
            });
        } else if (drum.kind == 1) {
            std::mt19937 noiseRandom(drum.noiseSeed);
            std::uniform_real_distribution<double> noise(-1.0, 1.0);
            addEvent(signal, drum.at, 0.3, [&](double t) {
                return gain * (0.08 * std::exp(-t / 0.07) * noise(noiseRandom) +
                               0.08 * std::exp(-t / 0.05) * std::sin(2 * pi * 185 * t));
            });
        } else {
            addHat(signal, drum.at, 0.08 * gain, 0.015, drum.noiseSeed);
        }
    }
    return signal;
}

double worstNoteDipDb(const std::vector<float>& out, const std::vector<PadNote>& notes,
                      double pitchScale, double fromSeconds, double sampleRate) {
    double worst = 0;
    const auto first = static_cast<size_t>(fromSeconds * sampleRate);
    const auto step = static_cast<size_t>(0.001 * sampleRate);
    for (const PadNote& note : notes) {
        const NoteLevels read = noteLevels(out, note, notes, pitchScale, first, step, sampleRate);
        if (!read.levels.empty()) {
            worst = std::min(worst, dipDb(*std::min_element(read.levels.begin(), read.levels.end()),
                                          read.median));
        }
    }
    return worst;
}

std::vector<double> noteDipsAtHitsDb(const std::vector<float>& out,
                                     const std::vector<PadNote>& notes, double pitchScale,
                                     const std::vector<double>& hitSeconds, double rate,
                                     double fromSeconds, double sampleRate) {
    const auto first = static_cast<size_t>(fromSeconds * sampleRate);
    const auto step = static_cast<size_t>(0.001 * sampleRate);
    std::vector<double> dips;
    std::vector<NoteLevels> reads;
    for (const PadNote& note : notes) {
        reads.push_back(noteLevels(out, note, notes, pitchScale, first, step, sampleRate));
    }
    for (const double hit : hitSeconds) {
        const double heard = hit / rate * sampleRate;
        if (heard - 0.01 * sampleRate < static_cast<double>(first) ||
            heard + 0.1 * sampleRate > static_cast<double>(out.size())) {
            continue;
        }
        double deepest = 0;
        for (const NoteLevels& read : reads) {
            for (size_t k = 0; k < read.levels.size(); ++k) {
                const double centre =
                    static_cast<double>(first + k * step) + static_cast<double>(read.length) / 2;
                if (centre >= heard - 0.01 * sampleRate && centre <= heard + 0.1 * sampleRate) {
                    deepest = std::min(deepest, dipDb(read.levels[k], read.median));
                }
            }
        }
        dips.push_back(deepest);
    }
    return dips;
}

std::vector<double> drumMixHitSeconds(double seconds) {
    std::vector<double> hits;
    for (double at = 0.25; at < seconds; at += 0.25) {
        hits.push_back(at);
    }
    return hits;
}

Signal drumMixSignal(double seconds, double drumGain, double sampleRate) {
    Signal signal = silenceSignal(seconds, sampleRate);
    constexpr double bar = 2.0;
    constexpr int chords[4][4] = {
        {60, 64, 67, 72}, {57, 60, 64, 69}, {53, 57, 60, 65}, {55, 59, 62, 67}};
    constexpr int roots[4] = {36, 33, 29, 31};
    for (int b = 0; b * bar < seconds; ++b) {
        const double start = b * bar;
        const int* chord = chords[b % 4];
        addEvent(signal, std::max(0.0, start - 0.05), bar + 0.1, [&](double local) {
            const double t = local + std::max(0.0, start - 0.05);
            double pad = 0;
            for (int n = 0; n < 4; ++n) {
                const double f = midiHz(chord[n]);
                for (int h = 1; h <= 12 && h * f < 0.45 * signal.sampleRate; ++h) {
                    pad += std::sin(2 * pi * h * f * t + h) / h;
                }
            }
            return 0.06 * held(t, start, start + bar, 0.1) * pad;
        });
        const double root = midiHz(roots[b % 4]);
        for (int beat = 0; beat < 4; ++beat) {
            addEvent(signal, start + 0.5 * beat, 0.5, [&](double t) {
                const double envelope = std::min(1.0, t / 0.01) *
                                        (0.6 + 0.4 * std::exp(-t / 0.15)) *
                                        std::min(1.0, (0.5 - t) / 0.03);
                return 0.2 * envelope *
                       (std::sin(2 * pi * root * t) + 0.5 * std::sin(4 * pi * root * t) +
                        0.25 * std::sin(6 * pi * root * t));
            });
        }
    }
    uint32_t seed = 100;
    for (double at = 0.25; at < seconds; at += 0.25) {
        const int eighth = static_cast<int>(std::lround(at / 0.25));
        addHat(signal, at, 0.06 * drumGain, 0.015, seed++);
        if (eighth % 4 == 0) {
            double phase = 0;
            addEvent(signal, at, 0.4, [&](double t) {
                phase += 2 * pi * (45 + 90 * std::exp(-t / 0.03)) / signal.sampleRate;
                return 0.35 * drumGain * std::exp(-t / 0.12) * std::sin(phase);
            });
        } else if (eighth % 2 == 0) {
            std::mt19937 random(seed++);
            std::uniform_real_distribution<double> noise(-1.0, 1.0);
            addEvent(signal, at, 0.3, [&](double t) {
                return drumGain * (0.12 * std::exp(-t / 0.07) * noise(random) +
                                   0.1 * std::exp(-t / 0.05) * std::sin(2 * pi * 185 * t));
            });
        }
    }
    return signal;
}

LevelAgainstSource levelAgainstSource(const Signal& source, const std::vector<float>& out,
                                      double rate, double fromSeconds) {
    const double sampleRate = source.sampleRate;
    const auto frame = static_cast<size_t>(0.01 * sampleRate);
    const auto sourceLevel = [&](double begin, double end) {
        double sum = 0;
        const auto first = static_cast<int64_t>(begin);
        const auto last = std::min(static_cast<int64_t>(end), source.frames());
        for (int64_t k = first; k < last; ++k) {
            sum += static_cast<double>(source.at(k, 0)) * source.at(k, 0);
        }
        return std::sqrt(sum / std::max<double>(1, static_cast<double>(last - first)));
    };
    double outPower = 0;
    double sourcePower = 0;
    size_t counted = 0;
    size_t low = 0;
    for (auto k = static_cast<size_t>(fromSeconds * sampleRate);
         k + frame <= out.size() &&
         static_cast<double>(k + frame) * rate < static_cast<double>(source.frames());
         k += frame) {
        const double mine = rms(out, k, frame);
        const double theirs =
            sourceLevel(static_cast<double>(k) * rate, static_cast<double>(k + frame) * rate);
        outPower += mine * mine;
        sourcePower += theirs * theirs;
        ++counted;
        low += mine < theirs * 0.5 ? 1 : 0;
    }
    LevelAgainstSource result;
    result.changeDb = 10 * std::log10(std::max(outPower, 1e-30) / std::max(sourcePower, 1e-30));
    result.shareFramesLow =
        counted == 0 ? 0 : static_cast<double>(low) / static_cast<double>(counted);
    return result;
}

} // namespace tindrel::test
