#include "Tindrel/platform/audio/engine/SilentPacedOutput.h"

#include "Tindrel/platform/audio/engine/ThreadPriority.h"

#include <chrono>

namespace tindrel::platform {

namespace {

constexpr uint32_t blockFrames = 512;
constexpr auto stallLimit = std::chrono::milliseconds(250);

} // namespace

SilentPacedOutput::~SilentPacedOutput() {
    stop();
}

bool SilentPacedOutput::start(double sampleRate, uint32_t channels, RenderFunction render,
                              void* context) {
    stop();
    if (render == nullptr || channels == 0 || !(sampleRate > 0)) {
        return false;
    }
    running_.store(true, std::memory_order_release);
    thread_ = std::thread([=, this] { run(sampleRate, channels, render, context); });
    return true;
}

void SilentPacedOutput::stop() {
    {
        std::lock_guard lock(mutex_);
        running_.store(false, std::memory_order_release);
    }
    signal_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool SilentPacedOutput::isRunning() const {
    return running_.load(std::memory_order_acquire);
}

void SilentPacedOutput::wake() {
    {
        std::lock_guard lock(mutex_);
        wakeRequested_ = true;
    }
    signal_.notify_all();
}

void SilentPacedOutput::run(double sampleRate, uint32_t channels, RenderFunction render,
                            void* context) {
    raiseCurrentThreadPriority(deviceRealTimePriority);
    using Clock = std::chrono::steady_clock;
    std::vector<float> block(static_cast<size_t>(blockFrames) * channels);
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(blockFrames / sampleRate));
    auto deadline = Clock::now();
    std::unique_lock lock(mutex_);
    while (running_.load(std::memory_order_acquire)) {
        // Cleared before the render looks at the source, so a wake() during it is not lost.
        wakeRequested_ = false;
        lock.unlock();
        const bool active = render(context, block.data(), blockFrames);
        lock.lock();
        if (!active) {
            signal_.wait(lock, [this] {
                return wakeRequested_ || !running_.load(std::memory_order_acquire);
            });
            deadline = Clock::now();
            continue;
        }
        deadline += period;
        const auto now = Clock::now();
        if (now - deadline > stallLimit) {
            deadline = now;
        }
        signal_.wait_until(lock, deadline,
                           [this] { return !running_.load(std::memory_order_acquire); });
    }
}

} // namespace tindrel::platform
