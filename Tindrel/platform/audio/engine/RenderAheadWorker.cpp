#include "Tindrel/platform/audio/engine/RenderAheadWorker.h"

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
    for (;;) {
        // Read before the steps, so a ring during them is not slept through.
        const uint32_t bell = doorbell_.load(std::memory_order_acquire);
        for (bool more = true; more;) {
            std::lock_guard lock(mutex_);
            if (quit_) {
                return;
            }
            more = !suspended_ && step_();
        }
        asleepAt_.store(bell, std::memory_order_seq_cst);
        asleep_.store(true, std::memory_order_seq_cst);
        doorbell_.wait(bell, std::memory_order_acquire);
        asleep_.store(false, std::memory_order_seq_cst);
    }
}

} // namespace tindrel::platform
