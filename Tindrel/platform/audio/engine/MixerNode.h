#pragma once

// The engine's main mixer: output volume and one tap on its output.

#include "Tindrel/platform/audio/AudioPcmBuffer.h"

#include <cstdint>
#include <functional>

namespace tindrel::platform {

class MixerNode {
public:
    // Called on a worker thread (never the audio thread) with blocks of the mixer's output
    // of about the requested size, in order. It may allocate and post to other threads.
    using TapBlock = std::function<void(const AudioPcmBuffer& buffer)>;

    virtual ~MixerNode() = default;
    virtual void setOutputVolume(float gain) = 0;
    virtual float outputVolume() const = 0;
    // One tap at a time; installing replaces the previous one.
    virtual void installTap(uint32_t bufferSize, TapBlock block) = 0;
    virtual void removeTap() = 0;
};

} // namespace tindrel::platform
