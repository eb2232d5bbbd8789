#pragma once

// An output without a device: a thread pulls the engine in 512-frame blocks paced by the
// steady clock and drops the audio, so playback, the playhead and the meters run as they
// would with sound. Falls back to real time after a stall instead of catching up in a burst.
// start() and stop() are for the owning thread.

#include "Tindrel/platform/audio/engine/AudioOutput.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace tindrel::platform {

class SilentPacedOutput final : public AudioOutput {
public:
    ~SilentPacedOutput() override;

    bool start(double sampleRate, uint32_t channels, RenderFunction render, void* context) override;
    void stop() override;
    bool isRunning() const override;

private:
    void run(double sampleRate, uint32_t channels, RenderFunction render, void* context);

    std::thread thread_;
    std::atomic<bool> running_{false};
    // Wakes the pacing thread from its wait at stop(), however long a block lasts.
    std::mutex mutex_;
    std::condition_variable stopped_;
};

} // namespace tindrel::platform
