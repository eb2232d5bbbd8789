#include "tests/platform/engine/EngineTestRig.h"

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace tindrel::test {

EngineTestRig::EngineTestRig(const Signal& signal)
    : engine_([this] {
          auto output = std::make_unique<platform::ManualOutput>();
          output_ = output.get();
          return output;
      }) {
    const auto path = folder_ / "fixture.wav";
    writeAudioFile(path, signal, SampleEncoding::Float32);
    std::string error;
    file_ = platform::AudioFile::openForReading(path, &error);
    if (!file_) {
        throw std::runtime_error("fixture does not open: " + error);
    }
    engine_.connect(file_->processingFormat());
    if (!engine_.start()) {
        throw std::runtime_error("the engine does not start on a manual output");
    }
}

void EngineTestRig::setWarp(float overlap, float rate, float cents) {
    auto& unit = engine_.timePitchUnit();
    unit.setOverlap(overlap);
    unit.setRate(rate);
    unit.setPitch(cents);
}

void EngineTestRig::playFrom(int64_t frame) {
    auto& player = engine_.playerNode();
    player.stop();
    player.scheduleSegment(*file_, frame, file_->length() - frame);
    player.play();
}

std::vector<float> EngineTestRig::pump(uint32_t frames, int channel) {
    output_->pump(frames);
    const auto channels = output_->channels();
    std::vector<float> result(frames);
    for (uint32_t k = 0; k < frames; ++k) {
        result[k] =
            output_
                ->lastPumped()[static_cast<size_t>(k) * channels + static_cast<uint32_t>(channel)];
    }
    return result;
}

int64_t EngineTestRig::heard() {
    return engine_.playerNode().playerSampleTime().value_or(-1);
}

Signal toneAfterSilence(double frequency, double onsetSeconds, double seconds, int channels) {
    Signal signal = sineSignal(frequency, 0.5, seconds, 44100, channels);
    const auto onset = static_cast<int64_t>(onsetSeconds * signal.sampleRate);
    for (int64_t k = 0; k < onset * channels && k < static_cast<int64_t>(signal.samples.size());
         ++k) {
        signal.samples[static_cast<size_t>(k)] = 0.0f;
    }
    return signal;
}

double rms(const std::vector<float>& x, size_t begin, size_t count) {
    double sum = 0;
    for (size_t k = begin; k < begin + count && k < x.size(); ++k) {
        sum += static_cast<double>(x[k]) * x[k];
    }
    return count == 0 ? 0.0 : std::sqrt(sum / static_cast<double>(count));
}

double tonePower(const std::vector<float>& x, double frequency, double sampleRate) {
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / sampleRate);
    double previous = 0;
    double beforePrevious = 0;
    for (float sample : x) {
        const double current = sample + coefficient * previous - beforePrevious;
        beforePrevious = previous;
        previous = current;
    }
    return previous * previous + beforePrevious * beforePrevious -
           coefficient * previous * beforePrevious;
}

int64_t firstFrameAbove(const std::vector<float>& x, float threshold) {
    for (size_t k = 0; k < x.size(); ++k) {
        if (std::abs(x[k]) > threshold) {
            return static_cast<int64_t>(k);
        }
    }
    return -1;
}

double largestSecondDifference(const std::vector<float>& x) {
    double largest = 0;
    for (size_t k = 2; k < x.size(); ++k) {
        largest =
            std::max(largest, std::abs(static_cast<double>(x[k]) - 2.0 * x[k - 1] + x[k - 2]));
    }
    return largest;
}

} // namespace tindrel::test
