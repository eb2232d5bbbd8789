#pragma once

// The system's default output device through PortAudio, opened at the engine's rate and
// channel count, in periods of 512 frames with three periods (32 ms at 48 kHz) or the device's
// low latency, whichever is longer, queued in the device. The library's error printing (ALSA,
// JACK) is silenced before PortAudio starts. start() and stop() are for the owning thread;
// the render function runs on PortAudio's callback thread, whose priority the first call of
// each stream raises (ThreadPriority.h).

#include "Tindrel/platform/audio/engine/AudioOutput.h"

namespace tindrel::platform {

class PortAudioOutput final : public AudioOutput {
public:
    ~PortAudioOutput() override;

    bool start(double sampleRate, uint32_t channels, RenderFunction render, void* context) override;
    void stop() override;
    bool isRunning() const override;

private:
    static int callback(const void* input, void* output, unsigned long frames, const void* timeInfo,
                        unsigned long statusFlags, void* self);

    void* stream_ = nullptr;
    bool initialised_ = false;
    RenderFunction render_ = nullptr;
    void* context_ = nullptr;
    bool priorityRaised_ = false; // by the callback's thread
};

} // namespace tindrel::platform
