#include "Tindrel/store/OutputMeterLevels.h"

#include "Tindrel/platform/audio/AudioPcmBuffer.h"

#include <algorithm>
#include <cmath>

namespace tindrel {

namespace {

float levelDB(float sum, float count) {
    const float rms = std::sqrt(sum / count);
    return std::max(-60.0f, 20.0f * std::log10(std::max(0.00001f, rms)));
}

float finiteOrZero(float sample) {
    return std::isfinite(sample) ? sample : 0.0f;
}

} // namespace

std::optional<OutputMeterLevels> measureOutputMeterLevels(const platform::AudioPcmBuffer& buffer) {
    const int64_t frames = buffer.frameLength();
    if (buffer.channelCount() == 0 || frames <= 0)
        return std::nullopt;
    const float* left = buffer.channelData(0);
    const float* right = buffer.channelData(buffer.channelCount() >= 2 ? 1 : 0);
    const int64_t step = std::max<int64_t>(1, frames / 128);
    float leftSum = 0.0f;
    float rightSum = 0.0f;
    float count = 0.0f;
    for (int64_t i = 0; i < frames; i += step) {
        const float l = finiteOrZero(left[i]);
        const float r = finiteOrZero(right[i]);
        leftSum += l * l;
        rightSum += r * r;
        count += 1.0f;
    }
    return OutputMeterLevels{levelDB(leftSum, count), levelDB(rightSum, count)};
}

} // namespace tindrel
