#include "Tindrel/platform/audio/engine/RenderAheadWorker.h"

#include "Tindrel/platform/audio/engine/ThreadPriority.h"

namespace tindrel::platform {

RenderAheadWorker::RenderAheadWorker(std::function<bool()> step)
    : step_(std::move(step)), thread_([this] { run(); }) {}

RenderAheadWorker::~RenderAheadWorker() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    ring();
    thread_.join();
}

void RenderAheadWorker::ring() {
    doorbell_.fetch_add(1, std::memory_order_release);
    doorbell_.notify_one();
}

void RenderAheadWorker::suspend() {
    std::lock_guard lock(mutex_);
    suspended_ = true;
}

void RenderAheadWorker::resume() {
    {
        std::lock_guard lock(mutex_);
        suspended_ = false;
    }
    ring();
}

bool RenderAheadWorker::resting() const {
    return asleep_.load(std::memory_order_seq_cst) &&
           doorbell_.load(std::memory_order_seq_cst) == asleepAt_.load(std::memory_order_seq_cst);
}

void RenderAheadWorker::run() {
    bool realTime =
        raiseCurrentThreadPriority(renderAheadRealTimePriority) == ThreadPriority::realTime;
    bool lowered = false;
    for (;;) {
        // Read before the steps, so a ring during them is not slept through.
        const uint32_t bell = doorbell_.load(std::memory_order_acquire);
        const double busyFrom = currentThreadCpuSeconds();
        // Read each time: the device's thread may set it later. A refill after a seek at the
        // costliest settings takes over 100 ms of CPU and is no sign of falling behind; where no
        // limit is set, only a worker that does not keep up runs a second.
        const double longestRun = realTimeRunLimitSeconds().value_or(2.0) / 2;
        for (bool more = true; more;) {
            {
                std::lock_guard lock(mutex_);
                if (quit_) {
                    return;
                }
                more = !suspended_ && step_();
            }
            // Kept up, it sleeps once the queue is full. One that cannot keep up would hold a
            // core from everything else, and past RLIMIT_RTTIME the kernel stops the process:
            // it goes back to ordinary scheduling until it has caught up.
            if (realTime && currentThreadCpuSeconds() - busyFrom > longestRun) {
                realTime = lowerCurrentThreadPriority() == ThreadPriority::realTime;
                lowered = !realTime;
            }
        }
        asleepAt_.store(bell, std::memory_order_seq_cst);
        asleep_.store(true, std::memory_order_seq_cst);
        doorbell_.wait(bell, std::memory_order_acquire);
        asleep_.store(false, std::memory_order_seq_cst);
        if (lowered) {
            realTime =
                raiseCurrentThreadPriority(renderAheadRealTimePriority) == ThreadPriority::realTime;
            lowered = false;
        }
    }
}

} // namespace tindrel::platform
