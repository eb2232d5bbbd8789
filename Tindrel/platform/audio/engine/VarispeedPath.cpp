#include "Tindrel/platform/audio/engine/VarispeedPath.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tindrel::platform {

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
            const float weight = static_cast<float>(cutoff) *
                                 kernel_.at((position_ - static_cast<double>(i)) * cutoff);
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
