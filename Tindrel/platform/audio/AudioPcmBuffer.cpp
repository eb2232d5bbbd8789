#include "Tindrel/platform/audio/AudioPcmBuffer.h"

#include <algorithm>

namespace tindrel::platform {

AudioPcmBuffer::AudioPcmBuffer(uint32_t channelCount, int64_t frameCapacity)
    : channels_(channelCount, std::vector<float>(static_cast<size_t>(std::max<int64_t>(0, frameCapacity)))),
      frameCapacity_(std::max<int64_t>(0, frameCapacity)) {}

void AudioPcmBuffer::setFrameLength(int64_t frames) {
    frameLength_ = std::clamp<int64_t>(frames, 0, frameCapacity_);
}

} // namespace tindrel::platform
