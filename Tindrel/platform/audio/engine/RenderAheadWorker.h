#pragma once

// The thread that renders the graph ahead of the device: it calls `step` while that reports
// more to do, then sleeps until rung. ring() is for any thread, the device's included: an
// atomic increment and a futex wake, never a lock. suspend() and resume() are for the owning
// thread; when suspend() returns, no step runs until resume().
//
// The thread asks for real-time scheduling below the device's (ThreadPriority.h), and goes
// back to ordinary scheduling once it has run half the process's RLIMIT_RTTIME (100 ms under
// RealtimeKit), or a second where none is set, of CPU time without sleeping, until it has
// slept again.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace tindrel::platform {

class RenderAheadWorker {
public:
    explicit RenderAheadWorker(std::function<bool()> step);
    ~RenderAheadWorker();
    RenderAheadWorker(const RenderAheadWorker&) = delete;
    RenderAheadWorker& operator=(const RenderAheadWorker&) = delete;

    void ring();
    void suspend();
    void resume();
    // Asleep with no ring since: nothing to render until the next one. Any thread.
    bool resting() const;

private:
    void run();

    std::function<bool()> step_;
    std::mutex mutex_; // held by the thread during a step
    bool quit_ = false;
    bool suspended_ = true;
    std::atomic<uint32_t> doorbell_{0};
    std::atomic<bool> asleep_{false};
    std::atomic<uint32_t> asleepAt_{0}; // the doorbell it sleeps on
    std::thread thread_;
};

} // namespace tindrel::platform
