#include "Tindrel/platform/audio/FiniteSampleAudioFile.h"

#include <cmath>

namespace tindrel::platform {

namespace {

// 2^15 times full scale (+90 dBFS): no real recording comes near it, and float arithmetic after
// the reader (gains, filters, the stretcher, squares in the measurement) stays far from overflow.
constexpr float largestPlausibleMagnitude = 32768.0f;

} // namespace

std::unique_ptr<AudioFile> FiniteSampleAudioFile::reopen(std::string* error) const {
    auto reader = reader_->reopen(error);
    return reader ? std::make_unique<FiniteSampleAudioFile>(std::move(reader)) : nullptr;
}

bool FiniteSampleAudioFile::read(AudioPcmBuffer& buffer, int64_t frameCount) {
    if (!reader_->read(buffer, frameCount))
        return false;
    for (uint32_t channel = 0; channel < buffer.channelCount(); ++channel) {
        float* samples = buffer.channelData(channel);
        for (int64_t i = 0; i < buffer.frameLength(); ++i) {
            // NaN fails every comparison, so it is replaced too.
            if (!(std::fabs(samples[i]) <= largestPlausibleMagnitude))
                samples[i] = 0.0f;
        }
    }
    return true;
}

} // namespace tindrel::platform
