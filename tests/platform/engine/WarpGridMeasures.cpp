#include "tests/platform/engine/WarpGridMeasures.h"

#include "tests/platform/engine/EngineTestRig.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace tindrel::test {

namespace {

constexpr double sampleRate = 44100;
constexpr int64_t playFrom = 22050;    // the stretchers prime from tone, not from silence
constexpr size_t measureFrames = 4096; // 23 periods at -24 st
constexpr uint32_t block = 512;

// An engine in manual rendering mode, as an export renders, reused from one setting to the next.
class OfflineRender {
public:
    explicit OfflineRender(const platform::AudioFile& file)
        : file_(file), engine_([] { return std::make_unique<platform::ManualOutput>(); }) {
        engine_.connect(file.processingFormat());
        ready_ =
            engine_.enableManualRenderingMode(file.processingFormat(), block) && engine_.start();
    }

    std::vector<float> render(const WarpMode& mode, size_t frames) {
        std::vector<float> out;
        auto& player = engine_.playerNode();
        player.stop();
        engine_.timePitchUnit().setOverlap(mode.overlap);
        engine_.timePitchUnit().setRate(mode.rate);
        engine_.timePitchUnit().setPitch(mode.cents);
        player.scheduleSegment(file_, playFrom, file_.length() - playFrom);
        player.play();
        platform::AudioPcmBuffer buffer(engine_.manualRenderingFormat().channelCount, block);
        while (ready_ && out.size() < frames &&
               engine_.renderOffline(block, buffer) ==
                   platform::AudioEngine::RenderStatus::success) {
            out.insert(out.end(), buffer.channelData(0),
                       buffer.channelData(0) + buffer.frameLength());
        }
        return out;
    }

private:
    const platform::AudioFile& file_;
    platform::AudioEngine engine_;
    bool ready_ = false;
};

bool allFinite(const std::vector<float>& x) {
    return std::all_of(x.begin(), x.end(), [](float v) { return std::isfinite(v); });
}

// Output frames before the tone is steady. The segment starts loud after silence: a stretcher
// smears that onset over its window (up to 0.1 s of input), and the beats path takes it as a
// hit and plays it through its transient stretcher for 60 ms of input (longer when sped up)
// and a 5 ms ramp.
size_t settleFrames(const WarpMode& mode) {
    const double rate = mode.rate;
    const double hit = mode.overlap < 6 ? 0.07 * std::max(1.0, rate) : 0;
    return static_cast<size_t>(((0.1 + hit) / rate + 0.02) * sampleRate);
}

double centsOff(const std::vector<float>& x, size_t settle, double expected) {
    const double frequency = zeroCrossingFrequency(x, settle, measureFrames, sampleRate);
    return frequency > 0 ? 1200 * std::log2(frequency / expected) : 1e9;
}

// The squared envelope of x from its analytic signal: a tone's power at every frame, free of
// the ripple a short window over part of a period shows.
std::vector<double> squaredEnvelope(const std::vector<float>& x) {
    size_t length = 1;
    while (length < x.size()) {
        length <<= 1;
    }
    std::vector<std::complex<double>> a(length);
    std::copy(x.begin(), x.end(), a.begin());
    fft(a);
    for (size_t k = 1; k < length / 2; ++k) {
        a[k] *= 2;
    }
    std::fill(a.begin() + static_cast<std::ptrdiff_t>(length / 2 + 1), a.end(), 0.0);
    // The inverse through the forward transform of the conjugate.
    for (auto& value : a) {
        value = std::conj(value);
    }
    fft(a);
    std::vector<double> power(x.size());
    for (size_t k = 0; k < x.size(); ++k) {
        power[k] = std::norm(a[k]) / (static_cast<double>(length) * static_cast<double>(length));
    }
    return power;
}

// Levels of 2 ms windows every 0.25 ms over [begin, end), in dB.
std::vector<double> levelsDb(const std::vector<double>& power, size_t begin, size_t end) {
    constexpr auto window = static_cast<size_t>(0.002 * sampleRate);
    constexpr auto hop = static_cast<size_t>(0.00025 * sampleRate);
    std::vector<double> levels;
    for (size_t k = begin; k + window <= std::min(end, power.size()); k += hop) {
        double sum = 0;
        for (size_t j = k; j < k + window; ++j) {
            sum += power[j];
        }
        levels.push_back(10 * std::log10(std::max(sum / window, 1e-18)));
    }
    return levels;
}

// How far the levels around `edge` leave the band of the steady levels before and after it.
double edgeChangeDb(const std::vector<double>& x, size_t edge) {
    const auto ms = [](double milliseconds) {
        return static_cast<size_t>(milliseconds * sampleRate / 1000);
    };
    auto steady = levelsDb(x, edge - ms(120), edge - ms(5));
    const auto after = levelsDb(x, edge + ms(90), edge + ms(200));
    steady.insert(steady.end(), after.begin(), after.end());
    const double low = *std::min_element(steady.begin(), steady.end());
    const double high = *std::max_element(steady.begin(), steady.end());
    double change = 0;
    for (double level : levelsDb(x, edge - ms(5), edge + ms(90))) {
        change = std::max({change, low - level, level - high});
    }
    return change;
}

} // namespace

double zeroCrossingFrequency(const std::vector<float>& x, size_t begin, size_t count,
                             double sampleRate) {
    double first = -1;
    double last = -1;
    int crossings = 0;
    for (size_t k = begin + 1; k < std::min(begin + count, x.size()); ++k) {
        if (x[k - 1] < 0 && x[k] >= 0) {
            const double at = static_cast<double>(k - 1) + x[k - 1] / (x[k - 1] - x[k]);
            first = first < 0 ? at : first;
            last = at;
            ++crossings;
        }
    }
    return crossings > 1 ? (crossings - 1) * sampleRate / (last - first) : 0;
}

std::vector<WarpMode> cornerGrid() {
    constexpr float speeds[] = {0.25f, 0.5f, 1, 2, 3, 4};
    constexpr float semitones[] = {-24, -12, -5, 0, 5, 12, 24};
    std::vector<WarpMode> grid;
    for (float speed : speeds) {
        for (float st : semitones) {
            grid.push_back({"musical", 12, speed, st * 100});
            grid.push_back({"beats", 3.5f, speed, st * 100});
        }
        grid.push_back({"tape", 8, speed, 1200 * std::log2(speed)});
    }
    return grid;
}

double expectedPitchScale(const WarpMode& mode) {
    return std::exp2(mode.cents / 1200.0);
}

std::vector<PitchMeasure> measureCornerPitches(const std::vector<WarpMode>& modes) {
    EngineTestRig rig(sineSignal(1000, 0.5, 4.0, sampleRate, 1));
    OfflineRender exporter(rig.file());
    std::vector<PitchMeasure> measures;
    for (const WarpMode& mode : modes) {
        const double expected = 1000 * expectedPitchScale(mode);
        const size_t settle = settleFrames(mode);
        rig.setWarp(mode.overlap, mode.rate, mode.cents);
        rig.playFrom(playFrom);
        const auto live = rig.pump(static_cast<uint32_t>(settle + measureFrames));
        const auto exported = exporter.render(mode, settle + measureFrames);
        measures.push_back({centsOff(live, settle, expected), centsOff(exported, settle, expected),
                            allFinite(live) && allFinite(exported)});
    }
    return measures;
}

EdgeChange measureRangeEdges(const WarpMode& mode) {
    EngineTestRig rig(sineSignal(1000, 0.5, 4.0));
    rig.setWarp(8, 1, 0);
    rig.playFrom(0);
    std::vector<float> out;
    const auto pumpFor = [&](double seconds) {
        while (static_cast<double>(out.size()) < seconds * sampleRate) {
            const auto part = rig.pump(block);
            out.insert(out.end(), part.begin(), part.end());
        }
    };
    pumpFor(0.3);
    const size_t entering = out.size();
    rig.setWarp(mode.overlap, mode.rate, mode.cents);
    pumpFor(0.7);
    const size_t leaving = out.size();
    rig.setWarp(8, 1, 0);
    pumpFor(1.0);
    const auto power = squaredEnvelope(out);
    return {edgeChangeDb(power, entering), edgeChangeDb(power, leaving)};
}

} // namespace tindrel::test
