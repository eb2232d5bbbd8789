#pragma once

// A device for the render benchmarks: a thread of its own that pulls `block` frames per
// period, paced by the steady clock, times each call in its thread's CPU time while
// `recording` is set and, when given room, keeps the first channel of what it pulled. Its thread
// asks for the priority a device's thread of the program has.

#include "Tindrel/platform/audio/engine/AudioOutput.h"
#include "Tindrel/platform/audio/engine/ThreadPriority.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

namespace tindrel::bench {

inline double cpuSeconds(clockid_t clock) {
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

class PacedDevice final : public platform::AudioOutput {
public:
    PacedDevice(uint32_t block, std::vector<double>& calls, std::atomic<bool>& recording,
                std::vector<float>* heard = nullptr)
        : block_(block), calls_(calls), recording_(recording), heard_(heard) {}
    ~PacedDevice() override { stop(); }

    bool start(double rate, uint32_t channels, RenderFunction render, void* context) override {
        stop();
        running_ = true;
        thread_ = std::thread([=, this] {
            platform::raiseCurrentThreadPriority(platform::deviceRealTimePriority);
            std::vector<float> out(static_cast<size_t>(block_) * channels);
            const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(block_ / rate));
            auto deadline = std::chrono::steady_clock::now();
            while (running_.load()) {
                const double before = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
                render(context, out.data(), block_);
                const double cost = cpuSeconds(CLOCK_THREAD_CPUTIME_ID) - before;
                if (recording_.load(std::memory_order_relaxed)) {
                    if (calls_.size() < calls_.capacity()) {
                        calls_.push_back(cost);
                    }
                    for (uint32_t k = 0;
                         heard_ && k < block_ && heard_->size() < heard_->capacity(); ++k) {
                        heard_->push_back(out[static_cast<size_t>(k) * channels]);
                    }
                }
                deadline += period;
                std::this_thread::sleep_until(deadline);
            }
        });
        return true;
    }
    void stop() override {
        running_ = false;
        if (thread_.joinable()) {
            thread_.join();
        }
    }
    bool isRunning() const override { return running_.load(); }

private:
    uint32_t block_;
    std::vector<double>& calls_;
    std::atomic<bool>& recording_;
    std::vector<float>* heard_;
    std::atomic<bool> running_{false};
    std::thread thread_;
};

} // namespace tindrel::bench
