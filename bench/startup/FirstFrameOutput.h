#pragma once

// An audio output that passes everything to the real default output and notes the moment
// the first non-silent frame leaves it. The note is taken on the output's real-time thread
// with one atomic store; nothing there allocates or locks.

#include "Tindrel/platform/audio/engine/AudioOutput.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace tindrel::bench {

class FirstFrameOutput final : public platform::AudioOutput {
public:
    // Steady-clock nanoseconds of the first audible frame; 0 until then.
    explicit FirstFrameOutput(std::atomic<int64_t>& firstFrameNs);

    bool start(double sampleRate, uint32_t channels, RenderFunction render, void* context) override;
    void stop() override;
    bool isRunning() const override;
    void wake() override;

private:
    static bool renderAndWatch(void* self, float* interleaved, uint32_t frames);

    std::unique_ptr<platform::AudioOutput> inner_;
    std::atomic<int64_t>& firstFrameNs_;
    RenderFunction render_ = nullptr;
    void* context_ = nullptr;
    uint32_t channels_ = 0;
};

} // namespace tindrel::bench
