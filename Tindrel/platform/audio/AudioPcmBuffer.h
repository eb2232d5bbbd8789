#pragma once

// A block of 32-bit float audio, one sample array per channel (non-interleaved).
// Plain value storage: no locking; one thread at a time. Allocates only in its constructor.

#include <cstdint>
#include <vector>

namespace tindrel::platform {

class AudioPcmBuffer {
public:
    AudioPcmBuffer(uint32_t channelCount, int64_t frameCapacity);

    uint32_t channelCount() const { return static_cast<uint32_t>(channels_.size()); }
    int64_t frameCapacity() const { return frameCapacity_; }

    // Frames currently held, 0 to frameCapacity(). Readers fill it; writers may set it.
    int64_t frameLength() const { return frameLength_; }
    void setFrameLength(int64_t frames);

    float* channelData(uint32_t channel) { return channels_[channel].data(); }
    const float* channelData(uint32_t channel) const { return channels_[channel].data(); }

private:
    std::vector<std::vector<float>> channels_;
    int64_t frameCapacity_;
    int64_t frameLength_ = 0;
};

} // namespace tindrel::platform
