#pragma once

// An output without a device: a thread pulls the engine in 512-frame blocks paced by the
// steady clock and drops the audio, so playback, the playhead and the meters run as they
// would with sound. Falls back to real time after a stall instead of catching up in a burst.
// While the source reports it has nothing to play, the thread sleeps until wake(); the next
// block is then due at once, paced from there, so playback starts as soon as it is asked for.
// start() and stop() are for the owning thread; wake() is for any thread.

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
    void wake() override;

private:
    void run(double sampleRate, uint32_t channels, RenderFunction render, void* context);

    std::thread thread_;
    std::atomic<bool> running_{false};
    // Wakes the pacing thread at stop(), however long a block lasts, and at wake() from a rest.
    std::mutex mutex_;
    std::condition_variable signal_;
    bool wakeRequested_ = false; // under mutex_
};

} // namespace tindrel::platform
