#include "Tindrel/analysis/WaveformAndLUFS.h"

#include "Tindrel/analysis/KWeightBiquad.h"
#include "Tindrel/analysis/TruePeakOversampler.h"
#include "Tindrel/platform/audio/AudioFile.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

namespace tindrel {
namespace {

constexpr int binCount = 2048;
constexpr int64_t maximumRead = 1024;
// Bins measured together with one filter state; fixed for a file, so every thread count gives
// the same figures. A short file is one chunk: the settling lead of each of many chunks would
// read the whole file over and over.
constexpr int binsPerChunk = 32;
constexpr int chunksOfAShortFile = 1;
constexpr float initialPeak = 0.01f;
constexpr float initialRms = 0.005f;
// Samples beyond this (180 dB over full scale) are no audio, like NaN and the infinities; they
// count as 0 so that no square or sum overflows a float.
constexpr float largestSample = 1e9f;

// Frames read ahead of a bin that does not follow on from the previous read, so the
// K-weighting filters and the interpolator settle on the bin's own audio first. The
// 38 Hz high-pass needs about 25 ms to forget a jump.
int64_t settlingFrames(double sampleRate) {
    return std::max<int64_t>(2 * TruePeakOversampler::tapsPerPhase,
                             std::llround(0.025 * std::max(8000.0, sampleRate)));
}

struct ChannelState {
    KWeightBiquad preFilter;
    KWeightBiquad rlbFilter;
    TruePeakOversampler oversampler;
};

float integratedLoudness(const std::vector<double>& blockPowers) {
    const double absoluteGate = std::pow(10.0, (-70.0 + 0.691) / 10.0);
    std::vector<double> kept;
    for (const double power : blockPowers)
        if (power >= absoluteGate)
            kept.push_back(power);
    if (kept.empty())
        return -70.0f;
    double sum = 0;
    for (const double power : kept)
        sum += power;
    const double mean = sum / double(kept.size());
    const double relativeGate = 0.1 * mean;
    double gatedSum = 0;
    size_t gatedCount = 0;
    for (const double power : kept) {
        if (power >= relativeGate) {
            gatedSum += power;
            ++gatedCount;
        }
    }
    const double p = gatedCount > 0 ? gatedSum / double(gatedCount) : mean;
    return float(-0.691 + 10.0 * std::log10(std::max(1e-12, p)));
}

void normaliseForDisplay(std::vector<float>& peaks, std::vector<float>& rmsEnvelope) {
    const float largest = *std::max_element(peaks.begin(), peaks.end());
    if (!(largest > 0.001f && largest < 0.95f))
        return;
    const float gain = std::min(2.5f, 0.92f / largest);
    for (size_t i = 0; i < peaks.size(); ++i) {
        peaks[i] = std::min(1.0f, peaks[i] * gain);
        rmsEnvelope[i] = std::min(1.0f, rmsEnvelope[i] * gain);
    }
}

std::vector<double> detectTransients(const std::vector<float>& peaks,
                                     const std::vector<float>& rmsEnvelope, double duration) {
    std::vector<float> onset(binCount, 0.0f);
    for (int i = 1; i < binCount; ++i) {
        onset[size_t(i)] =
            std::max(0.0f, peaks[size_t(i)] - peaks[size_t(i - 1)]) +
            1.45f * std::max(0.0f, rmsEnvelope[size_t(i)] - rmsEnvelope[size_t(i - 1)]);
    }
    std::vector<double> times;
    double last = -1.0;
    for (int i = 1; i < binCount - 1; ++i) {
        const float o = onset[size_t(i)];
        if (!(o > 0.045f && peaks[size_t(i)] > 0.08f))
            continue;
        if (o < onset[size_t(i - 1)] || o < onset[size_t(i + 1)])
            continue;
        const int lo = std::max(0, i - 16);
        const int hi = std::min(binCount - 1, i + 16);
        float sum = 0;
        for (int k = lo; k <= hi; ++k)
            sum += onset[size_t(k)];
        const float mean = sum / float(std::max(1, hi - lo + 1));
        if (!(o > 1.65f * mean + 0.032f))
            continue;
        const double t = (double(i) / binCount) * duration;
        if (t - last >= 0.055) {
            times.push_back(t);
            last = t;
        }
    }
    return times;
}

// What one bin contributes to the record.
struct BinFigures {
    bool read = false; // false from the first bin whose read failed, and for those after it
    bool measured = false;
    float peak = 0;         // true peak over the bin, all channels
    float sumOfSquares = 0; // of the strided samples
    int64_t examined = 0;
    double power = 0; // K-weighted mean square, summed over the channels
};

struct BinPlan {
    int64_t length = 0;
    int64_t framesPerBin = 0;
    int64_t readSize = 0;
    int64_t settling = 0;      // lead of a bin read after a gap
    int64_t chunkSettling = 0; // lead of the first bin of a chunk, where no state carries over
    int binsPerChunk = 0;
    uint32_t channelCount = 0;
    double sampleRate = 0;
};

// Measures bins [first, last) with fresh filter state, as if nothing came before the first
// one apart from its lead. Stops at the first failed read, leaving the rest unread.
void measureChunk(platform::AudioFile& file, const BinPlan& plan, int first, int last,
                  std::vector<BinFigures>& figures, const std::atomic<bool>* cancel) {
    const uint32_t channelCount = plan.channelCount;
    platform::AudioPcmBuffer buffer(channelCount,
                                    std::max(plan.settling, plan.chunkSettling) + plan.readSize);
    std::vector<ChannelState> channels(std::max(1u, channelCount),
                                       ChannelState{KWeightBiquad::makePreFilter(plan.sampleRate),
                                                    KWeightBiquad::makeRLBFilter(plan.sampleRate),
                                                    TruePeakOversampler()});
    // The file's first bin follows on from the silence before the start.
    int64_t previousReadEnd = first == 0 ? 0 : -1;
    for (int b = first; b < last; ++b) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return;
        const int64_t start = int64_t(b) * plan.framesPerBin;
        if (start >= plan.length)
            return;
        const int64_t lead =
            b == 0 ? 0 : std::min(start, b == first ? plan.chunkSettling : plan.settling);
        const int64_t readStart = start - lead;
        file.setFramePosition(readStart);
        if (!file.read(buffer, lead + std::min(plan.readSize, plan.length - start)))
            return;
        BinFigures& bin = figures[size_t(b)];
        bin.read = true;
        const int64_t held = buffer.frameLength();
        if (held <= lead || channelCount == 0)
            continue;
        const bool jumped = readStart != previousReadEnd;
        previousReadEnd = readStart + held;

        const int64_t binFrames = held - lead;
        const int64_t stride = std::max<int64_t>(1, binFrames / 256);
        for (uint32_t c = 0; c < channelCount; ++c) {
            ChannelState& state = channels[c];
            if (jumped)
                state.oversampler.restart();
            float* samples = buffer.channelData(c);
            double channelSum = 0;
            for (int64_t j = 0; j < held; ++j) {
                float v = samples[j];
                if (!(std::abs(v) <= largestSample))
                    v = samples[j] = 0.0f;
                const float y = state.rlbFilter.process(state.preFilter.process(v));
                if (j < lead)
                    continue;
                channelSum += double(y * y);
                if ((j - lead) % stride == 0) {
                    bin.sumOfSquares += v * v;
                    ++bin.examined;
                }
            }
            bin.peak = std::max(bin.peak, state.oversampler.processBlock(samples, held, lead));
            bin.power += channelSum / double(binFrames);
        }
        bin.measured = bin.examined > 0;
    }
}

// Runs measureChunk over every chunk, `threads` at a time; each thread reads through its own
// reader. The chunks are fixed, so the figures do not depend on the thread count.
bool measureAllChunks(platform::AudioFile& file, const BinPlan& plan, int threads,
                      std::vector<BinFigures>& figures, const std::atomic<bool>* cancel) {
    const int chunkCount = binCount / plan.binsPerChunk;
    std::atomic<int> nextChunk{0};
    std::atomic<bool> failed{false};
    const auto work = [&](platform::AudioFile* reader) {
        std::unique_ptr<platform::AudioFile> own;
        for (int chunk; (chunk = nextChunk.fetch_add(1)) < chunkCount;) {
            if (!reader) {
                own = file.reopen();
                reader = own.get();
                if (!reader) {
                    failed = true;
                    return;
                }
            }
            measureChunk(*reader, plan, chunk * plan.binsPerChunk,
                         (chunk + 1) * plan.binsPerChunk, figures, cancel);
        }
    };
    std::vector<std::thread> helpers;
    for (int t = 1; t < std::min(threads, chunkCount); ++t)
        helpers.emplace_back(work, nullptr);
    work(&file);
    for (auto& helper : helpers)
        helper.join();
    return !failed && !(cancel && cancel->load(std::memory_order_relaxed));
}

} // namespace

std::optional<AudioFileSpec> extractWaveformAndLUFS(const std::filesystem::path& originalURL,
                                                    const std::filesystem::path& playableURL,
                                                    int64_t fileSize, int originalBitDepth,
                                                    double fallbackDuration,
                                                    const std::atomic<bool>* cancel,
                                                    int workerThreads) {
    auto file = platform::AudioFile::openForReading(playableURL);
    if (!file)
        return std::nullopt;
    const platform::AudioFormat processing = file->processingFormat();
    const platform::AudioFormat stored = file->fileFormat();
    const int64_t length = file->length();
    const double duration =
        stored.sampleRate > 0 ? double(length) / stored.sampleRate : fallbackDuration;
    if (length <= 0)
        return std::nullopt;

    BinPlan plan;
    plan.length = length;
    plan.framesPerBin = std::max<int64_t>(1, length / binCount);
    plan.readSize = std::min(plan.framesPerBin, maximumRead);
    plan.settling =
        std::min(plan.framesPerBin - plan.readSize, settlingFrames(processing.sampleRate));
    plan.chunkSettling = settlingFrames(processing.sampleRate);
    const bool shortFile = length <= int64_t(binCount / binsPerChunk) * plan.chunkSettling;
    plan.binsPerChunk = shortFile ? binCount / chunksOfAShortFile : binsPerChunk;
    plan.channelCount = processing.channelCount;
    plan.sampleRate = processing.sampleRate;

    std::vector<BinFigures> figures(binCount);
    // One core stays free for playback, which starts as the measurement does.
    const int threads = workerThreads > 0
                            ? workerThreads
                            : std::max(1, int(std::thread::hardware_concurrency()) - 1);
    if (!measureAllChunks(*file, plan, threads, figures, cancel))
        return std::nullopt;

    // Folded in bin order, so that sums round the same way whatever the thread count.
    std::vector<float> peaks(binCount, initialPeak);
    std::vector<float> rmsEnvelope(binCount, initialRms);
    float filePeak = 0.00001f;
    double fileSumOfSquares = 0;
    int64_t fileCount = 0;
    std::vector<double> blockPowers;
    blockPowers.reserve(binCount);
    float loudestBin = -70.0f;
    for (int b = 0; b < binCount && figures[size_t(b)].read; ++b) {
        const BinFigures& bin = figures[size_t(b)];
        if (!bin.measured)
            continue;
        const float binRms = std::sqrt(bin.sumOfSquares / float(bin.examined));
        peaks[size_t(b)] = std::min(1.0f, std::max(0.015f, bin.peak));
        rmsEnvelope[size_t(b)] = std::min(1.0f, std::max(0.008f, binRms));
        filePeak = std::max(filePeak, bin.peak);
        fileSumOfSquares += bin.sumOfSquares;
        fileCount += bin.examined;
        if (bin.power > 1e-12) {
            blockPowers.push_back(bin.power);
            loudestBin = std::max(loudestBin, float(-0.691 + 10.0 * std::log10(bin.power)));
        }
    }

    const float integrated = integratedLoudness(blockPowers);
    normaliseForDisplay(peaks, rmsEnvelope);
    std::vector<double> transients = detectTransients(peaks, rmsEnvelope, duration);

    const float truePeak = 20.0f * std::log10(std::max(0.00001f, filePeak));
    const float fileRms =
        fileCount > 0 ? float(std::sqrt(fileSumOfSquares / double(fileCount))) : 0.0001f;
    const float rmsLevel = 20.0f * std::log10(std::max(0.00001f, fileRms));

    AudioFileSpec spec;
    spec.url = originalURL;
    spec.fileName = originalURL.filename().string();
    spec.formatName = formatNameOf(originalURL);
    spec.sampleRate = stored.sampleRate;
    spec.channels = int(stored.channelCount);
    spec.bitDepth = originalBitDepth;
    spec.fileSizeBytes = fileSize;
    spec.duration = duration;
    spec.lufsIntegrated = integrated;
    spec.lufsShortTermMax = std::max(integrated, loudestBin);
    spec.truePeakDBTP = truePeak;
    spec.rmsDB = rmsLevel;
    spec.crestDB = std::max(0.0f, truePeak - rmsLevel);
    spec.peaks = std::move(peaks);
    spec.rmsEnvelope = std::move(rmsEnvelope);
    spec.transientTimes = std::move(transients);
    return spec;
}

} // namespace tindrel
