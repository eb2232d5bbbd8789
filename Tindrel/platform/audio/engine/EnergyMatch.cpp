#include "Tindrel/platform/audio/engine/EnergyMatch.h"

#include <algorithm>
#include <cmath>

namespace tindrel::platform {

namespace {

constexpr double memorySeconds = 4.0;
constexpr double largestGain = 2.0;
// Below this per frame (over the memory) no hit has come out yet that a gain could be taken
// from.
constexpr double quietEnergy = 1e-10;

} // namespace

EnergyMatch::EnergyMatch(double sampleRate, double glideDbPerSecond)
    : sampleRate_(sampleRate), glideDbPerSecond_(glideDbPerSecond) {}

void EnergyMatch::reset() {
    input_ = 0;
    output_ = 0;
    gain_ = 1;
}

void EnergyMatch::apply(float* const* frames, uint32_t channelCount, size_t count) {
    if (count == 0) {
        return;
    }
    for (uint32_t c = 0; c < channelCount; ++c) {
        for (size_t k = 0; k < count; ++k) {
            output_ += static_cast<double>(frames[c][k]) * frames[c][k];
        }
    }
    float target = gain_;
    if (output_ > quietEnergy * sampleRate_) {
        target = static_cast<float>(std::clamp(std::sqrt(input_ / output_), 1.0, largestGain));
    }
    const double glide =
        std::pow(10.0, glideDbPerSecond_ * static_cast<double>(count) / sampleRate_ / 20);
    target =
        static_cast<float>(std::clamp(static_cast<double>(target), gain_ / glide, gain_ * glide));
    const double leak = std::exp(-static_cast<double>(count) / (memorySeconds * sampleRate_));
    input_ *= leak;
    output_ *= leak;
    const float step = (target - gain_) / static_cast<float>(count);
    for (uint32_t c = 0; c < channelCount; ++c) {
        for (size_t k = 0; k < count; ++k) {
            frames[c][k] *= gain_ + step * static_cast<float>(k + 1);
        }
    }
    gain_ = target;
}

} // namespace tindrel::platform
