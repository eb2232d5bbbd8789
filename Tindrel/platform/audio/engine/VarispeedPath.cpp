#include "Tindrel/platform/audio/engine/VarispeedPath.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace tindrel::platform {

namespace {

constexpr int tableResolution = 512; // entries per zero crossing
constexpr double kaiserBeta = 9.0;

// The Kaiser-windowed sinc from 0 to its last zero crossing, with a zero past the end. The same
// for every path, so it is made once (the Bessel function goes through lgamma, which writes a
// global and so must not run on two threads at once).
const std::vector<float>& kernelTable() {
    static const std::vector<float> table = [] {
        std::vector<float> values(VarispeedPath::zeroCrossings * tableResolution + 2, 0.0f);
        const double normaliser = std::cyl_bessel_i(0.0, kaiserBeta);
        for (int i = 0; i <= VarispeedPath::zeroCrossings * tableResolution; ++i) {
            const double t = static_cast<double>(i) / tableResolution;
            const double sinc =
                i == 0 ? 1.0 : std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
            const double ratio = t / VarispeedPath::zeroCrossings;
            const double window =
                std::cyl_bessel_i(0.0, kaiserBeta * std::sqrt(std::max(0.0, 1.0 - ratio * ratio))) /
                normaliser;
            values[static_cast<size_t>(i)] = static_cast<float>(sinc * window);
        }
        return values;
    }();
    return table;
}

} // namespace

VarispeedPath::VarispeedPath() : table_(kernelTable()) {}

float VarispeedPath::kernel(double t) const {
    const double scaled = std::abs(t) * tableResolution;
    const auto index = static_cast<size_t>(scaled);
    if (index >= table_.size() - 2) {
        return 0.0f;
    }
    const auto fraction = static_cast<float>(scaled - static_cast<double>(index));
    return table_[index] + (table_[index + 1] - table_[index]) * fraction;
}

void VarispeedPath::start(double position, double rate) {
    position_ = position;
    rate_ = rate;
}

size_t VarispeedPath::render(float* const* out, size_t offset, size_t frames, double targetRate,
                             SourceWindow& window, SampleSource& source) {
    const double fromRate = rate_;
    const double widest = std::max(fromRate, targetRate);
    const double narrowestCutoff = std::min(1.0, 1.0 / widest);
    const auto reach =
        static_cast<int64_t>(std::floor(position_ + static_cast<double>(frames) * widest)) +
        static_cast<int64_t>(std::ceil(zeroCrossings / narrowestCutoff)) + 2;
    if (!window.fill(reach, source)) {
        return 0;
    }
    const uint32_t channels = window.channelCount();
    if (fromRate == 1.0 && targetRate == 1.0 && position_ == std::floor(position_)) {
        const auto first = static_cast<int64_t>(position_);
        for (uint32_t c = 0; c < channels; ++c) {
            std::memcpy(out[c] + offset, window.at(c, first), frames * sizeof(float));
        }
        position_ += static_cast<double>(frames);
        return frames;
    }
    for (size_t k = 0; k < frames; ++k) {
        const double rate = fromRate + (targetRate - fromRate) * static_cast<double>(k + 1) /
                                           static_cast<double>(frames);
        const double cutoff = std::min(1.0, 1.0 / rate);
        const double halfWidth = zeroCrossings / cutoff;
        const auto first = static_cast<int64_t>(std::ceil(position_ - halfWidth));
        const auto last = static_cast<int64_t>(std::floor(position_ + halfWidth));
        for (uint32_t c = 0; c < channels; ++c) {
            out[c][offset + k] = 0.0f;
        }
        for (int64_t i = first; i <= last; ++i) {
            const float weight =
                static_cast<float>(cutoff) * kernel((position_ - static_cast<double>(i)) * cutoff);
            for (uint32_t c = 0; c < channels; ++c) {
                out[c][offset + k] += weight * *window.at(c, i);
            }
        }
        position_ += rate;
    }
    rate_ = targetRate;
    return frames;
}

} // namespace tindrel::platform
