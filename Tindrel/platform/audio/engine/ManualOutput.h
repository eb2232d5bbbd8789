#pragma once

// An output that renders only when told: pump(n) pulls n frames on the caller's thread.
// For deterministic tests of everything above the engine. Not real-time, unless made so: the
// engine then renders ahead on its worker, as for a device, and the caller waits for the
// worker to rest (AudioEngine::renderAheadSettled()) before each pump.

#include "Tindrel/platform/audio/engine/AudioOutput.h"

#include <vector>

namespace tindrel::platform {

class ManualOutput : public AudioOutput {
public:
    explicit ManualOutput(bool realTime = false) : realTime_(realTime) {}
    bool start(double sampleRate, uint32_t channels, RenderFunction render, void* context) override;
    void stop() override;
    bool isRunning() const override;
    bool isRealTime() const override { return realTime_; }

    // Pulls `frames` frames through the engine (in blocks of at most 512), keeping the last
    // pumped audio (interleaved) for inspection. Does nothing while stopped.
    void pump(uint32_t frames);
    const std::vector<float>& lastPumped() const;
    double sampleRate() const;
    uint32_t channels() const;

private:
    bool realTime_;
    RenderFunction render_ = nullptr;
    void* context_ = nullptr;
    double sampleRate_ = 0;
    uint32_t channels_ = 0;
    bool running_ = false;
    std::vector<float> lastPumped_;
};

} // namespace tindrel::platform
