#include "Tindrel/platform/audio/engine/SilentPacedOutput.h"

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
    stopped_.notify_all();
    if (thread_.joinable()) {
        thread_.join();
    }
}

bool SilentPacedOutput::isRunning() const {
    return running_.load(std::memory_order_acquire);
}

void SilentPacedOutput::run(double sampleRate, uint32_t channels, RenderFunction render,
                            void* context) {
    using Clock = std::chrono::steady_clock;
    std::vector<float> block(static_cast<size_t>(blockFrames) * channels);
    const auto period = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(blockFrames / sampleRate));
    auto deadline = Clock::now();
    while (running_.load(std::memory_order_acquire)) {
        render(context, block.data(), blockFrames);
        deadline += period;
        const auto now = Clock::now();
        if (now - deadline > stallLimit) {
            deadline = now;
        }
        std::unique_lock lock(mutex_);
        stopped_.wait_until(lock, deadline,
                            [this] { return !running_.load(std::memory_order_acquire); });
    }
}

} // namespace tindrel::platform
