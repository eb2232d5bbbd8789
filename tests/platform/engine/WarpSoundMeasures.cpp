#include "tests/platform/engine/WarpSoundMeasures.h"

#include "tests/platform/engine/EngineTestRig.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>

namespace tindrel::test {

namespace {

constexpr size_t spectrumFrames = 65536;
constexpr int toneHalfWidthBins = 6; // the window's main lobe and a little leakage

std::vector<double> powerSpectrum(const std::vector<float>& x, size_t begin,
                                  size_t length = spectrumFrames) {
    std::vector<std::complex<double>> a(length);
    for (size_t k = 0; k < length; ++k) {
        const double t =
            2 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(length - 1);
        const double window =
            0.35875 - 0.48829 * std::cos(t) + 0.14128 * std::cos(2 * t) - 0.01168 * std::cos(3 * t);
        a[k] = begin + k < x.size() ? x[begin + k] * window : 0.0;
    }
    fft(a);
    std::vector<double> power(length / 2);
    for (size_t k = 0; k < power.size(); ++k) {
        power[k] = std::norm(a[k]);
    }
    return power;
}

size_t peakNear(const std::vector<double>& power, double frequency, double sampleRate) {
    const auto centre = static_cast<size_t>(frequency * spectrumFrames / sampleRate + 0.5);
    size_t best = centre;
    for (size_t k = centre - 20; k <= centre + 20 && k < power.size(); ++k) {
        if (power[k] > power[best]) {
            best = k;
        }
    }
    return best;
}

// Power above `frequency` against all of it, in dB, over 2048 frames from `begin`.
double shareAboveDb(const std::vector<float>& x, size_t begin, double frequency,
                    double sampleRate) {
    constexpr size_t length = 2048;
    const auto power = powerSpectrum(x, begin, length);
    const auto first = static_cast<size_t>(frequency * length / sampleRate);
    double above = 0;
    double all = 0;
    for (size_t k = 0; k < power.size(); ++k) {
        all += power[k];
        above += k >= first ? power[k] : 0;
    }
    return 10 * std::log10(std::max(above, 1e-30) / std::max(all, 1e-30));
}

} // namespace

void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const double angle = -2 * std::numbers::pi / static_cast<double>(length);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t i = 0; i < n; i += length) {
            std::complex<double> w(1);
            for (size_t j = 0; j < length / 2; ++j) {
                const auto u = a[i + j];
                const auto v = a[i + j + length / 2] * w;
                a[i + j] = u + v;
                a[i + j + length / 2] = u - v;
                w *= step;
            }
        }
    }
}

std::vector<float> renderWarped(const Signal& signal, const WarpMode& mode, size_t frames) {
    EngineTestRig rig(signal);
    rig.setWarp(mode.overlap, mode.rate, mode.cents);
    rig.playFrom(0);
    return rig.pump(static_cast<uint32_t>(frames));
}

double thdPlusNoiseDb(const std::vector<float>& x, size_t begin,
                      std::initializer_list<double> tones, double sampleRate) {
    const auto power = powerSpectrum(x, begin);
    std::vector<bool> tone(power.size(), false);
    for (double frequency : tones) {
        const size_t peak = peakNear(power, frequency, sampleRate);
        for (size_t k = peak - toneHalfWidthBins; k <= peak + toneHalfWidthBins; ++k) {
            tone[k] = true;
        }
    }
    double tonal = 0;
    double rest = 0;
    for (size_t k = 4; k < power.size(); ++k) { // above DC and the window's own spread
        (tone[k] ? tonal : rest) += power[k];
    }
    return 10 * std::log10(std::max(rest, 1e-30) / std::max(tonal, 1e-30));
}

double pitchErrorCents(const std::vector<float>& x, size_t begin, double expected,
                       double sampleRate) {
    const auto power = powerSpectrum(x, begin);
    const size_t peak = peakNear(power, expected, sampleRate);
    const double left = std::log(power[peak - 1]);
    const double centre = std::log(power[peak]);
    const double right = std::log(power[peak + 1]);
    const double offset = 0.5 * (left - right) / (left - 2 * centre + right);
    const double frequency =
        (static_cast<double>(peak) + offset) * sampleRate / static_cast<double>(spectrumFrames);
    return 1200 * std::log2(frequency / expected);
}

double envelopeDipDb(const std::vector<float>& x, size_t begin, size_t count, double sampleRate) {
    const auto window = static_cast<size_t>(0.01 * sampleRate);
    std::vector<double> levels;
    for (size_t k = begin; k + window <= std::min(begin + count, x.size()); k += window) {
        levels.push_back(rms(x, k, window));
    }
    auto sorted = levels;
    std::nth_element(sorted.begin(),
                     sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2), sorted.end());
    const double median = sorted[sorted.size() / 2];
    return 20 * std::log10(*std::min_element(levels.begin(), levels.end()) / median);
}

Signal clickTrainSignal(double seconds) {
    Signal signal = silenceSignal(seconds);
    std::mt19937 random(3);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (int64_t k = 0; k < signal.frames(); ++k) {
        const double t = static_cast<double>(k) / signal.sampleRate;
        if (t >= 0.25 && std::fmod(t, 0.25) < 0.03) {
            const float sample = noise(random);
            for (int c = 0; c < signal.channels; ++c) {
                signal.samples[static_cast<size_t>(k * signal.channels + c)] = sample;
            }
        }
    }
    return signal;
}

OnsetTiming clickTrainTiming(const std::vector<float>& out, double rate, double sampleRate) {
    OnsetTiming timing;
    const auto ms = [&](double milliseconds) {
        return static_cast<int64_t>(milliseconds * sampleRate / 1000);
    };
    for (int burst = 1;; ++burst) {
        const auto onset = static_cast<int64_t>(burst * 0.25 * sampleRate / rate);
        if (onset + ms(30) > static_cast<int64_t>(out.size())) {
            break;
        }
        double peak = 0;
        for (int64_t k = onset; k < onset + ms(10); ++k) {
            peak = std::max(peak, static_cast<double>(std::abs(out[static_cast<size_t>(k)])));
        }
        int64_t first = onset + ms(10);
        for (int64_t k = onset - ms(30); k < onset + ms(10); ++k) {
            if (std::abs(out[static_cast<size_t>(k)]) >= 0.5 * peak) {
                first = k;
                break;
            }
        }
        timing.worstOnsetMs = std::max(
            timing.worstOnsetMs, std::abs(static_cast<double>(first - onset)) * 1000 / sampleRate);
        const double before =
            rms(out, static_cast<size_t>(onset - ms(30)), static_cast<size_t>(ms(20)));
        const double during = rms(out, static_cast<size_t>(onset), static_cast<size_t>(ms(30)));
        timing.worstPreEchoDb =
            std::max(timing.worstPreEchoDb, 20 * std::log10(std::max(before, 1e-10) / during));
    }
    return timing;
}

JoinMeasure measureJoins(const WarpMode& mode, bool wrap, double sampleRate, int channels) {
    // Counts of frames are those at 44.1 kHz, taken to the same times at `sampleRate`.
    const double scale = sampleRate / 44100;
    const auto at = [&](double frames) { return static_cast<size_t>(std::lround(frames * scale)); };
    constexpr uint32_t block = 512;
    const size_t levelWindow = at(441); // ten periods of the tone
    const auto loopIn = static_cast<int64_t>(at(44100));
    const auto loopLength = static_cast<int64_t>(at(13230));
    EngineTestRig rig(sineSignal(1000, 0.5, 5.0, sampleRate, channels));
    auto& player = rig.engine().playerNode();
    rig.setWarp(mode.overlap, mode.rate, mode.cents);
    rig.playFrom(loopIn);
    std::vector<float> out;
    const auto pumpBlock = [&] {
        const auto part = rig.pump(block);
        out.insert(out.end(), part.begin(), part.end());
    };
    // Past the swell of a stretcher's plain start, which a seek's start plays through unheard.
    for (size_t k = 0; k < at(48); ++k) {
        pumpBlock();
    }
    JoinMeasure measure;
    const size_t settled = out.size();
    std::vector<size_t> joins;
    for (const double target : {96001.0, 30017.0, 150011.0, 61423.0, 120500.0}) {
        while (rig.heard() < loopLength || out.size() < settled + at(16 * block)) {
            pumpBlock();
        }
        const int64_t to = wrap ? loopIn : static_cast<int64_t>(at(target));
        player.scheduleSegment(rig.file(), to, rig.file().length() - to);
        joins.push_back(out.size());
        for (size_t k = 0; k < at(8); ++k) {
            pumpBlock();
        }
        const double played = static_cast<double>(out.size() - joins.back()) * mode.rate;
        const auto heard = static_cast<double>(rig.heard());
        measure.playheadBehind = std::max(measure.playheadBehind, played - heard);
        measure.playheadAhead = std::max(measure.playheadAhead, heard - played);
    }
    const auto largestStep = [&](size_t begin, size_t end) {
        double largest = 0;
        for (size_t k = begin; k < std::min(end, out.size()); ++k) {
            largest = std::max(largest, static_cast<double>(std::abs(out[k] - out[k - 1])));
        }
        return largest;
    };
    measure.ownStep = largestStep(settled, joins.front());
    measure.ownHighDb = shareAboveDb(out, settled, 3000, sampleRate);
    measure.worstHighDb = -300;
    measure.level = rms(out, settled, joins.front() - settled);
    measure.lowestLevel = measure.level;
    measure.lowestLevelUntilNext = measure.level;
    for (size_t j = 0; j < joins.size(); ++j) {
        const size_t join = joins[j];
        const size_t next = j + 1 < joins.size() ? joins[j + 1] : out.size();
        for (size_t k = join; k + levelWindow <= next; k += at(32)) {
            measure.lowestLevelUntilNext =
                std::min(measure.lowestLevelUntilNext, rms(out, k, levelWindow));
        }
        measure.worstStep =
            std::max(measure.worstStep, largestStep(join - at(64), join + at(2048)));
        for (size_t from = join - at(1024); from <= join + at(1024); from += at(512)) {
            measure.worstHighDb =
                std::max(measure.worstHighDb, shareAboveDb(out, from, 3000, sampleRate));
        }
        for (size_t k = join - levelWindow; k < join + at(2048); k += at(32)) {
            measure.lowestLevel = std::min(measure.lowestLevel, rms(out, k, levelWindow));
        }
    }
    return measure;
}

} // namespace tindrel::test
