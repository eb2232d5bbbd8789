#include "Tindrel/platform/audio/FiniteSampleAudioFile.h"

#include <cmath>

namespace tindrel::platform {

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
            if (!std::isfinite(samples[i]))
                samples[i] = 0.0f;
        }
    }
    return true;
}

} // namespace tindrel::platform
