#pragma once

// The main mixer: applies the player's volume and the output volume (ramped across a block,
// so a change never clicks), interleaves for the output, and feeds the tap.
//
// Threads: setOutputVolume(), installTap(), removeTap() and configure() are for the main
// thread; configure() only while no render runs. process() is for the render thread: it
// copies into a lock-free ring and never allocates, locks or calls the tap block. A worker
// thread cuts the ring into blocks of the requested size and calls the block there, in order;
// removeTap() returns only once no call of the old block is running. The block must not wait
// for the main thread. When nothing has been written for a while (the output rests), the
// worker sleeps until the next write rings it awake: a futex wake, never a lock.

#include "Tindrel/platform/audio/engine/MixerNode.h"
#include "Tindrel/platform/audio/engine/RingBuffer.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace tindrel::platform {

class MainMixerNode final : public MixerNode {
public:
    MainMixerNode();
    ~MainMixerNode() override;
    MainMixerNode(const MainMixerNode&) = delete;
    MainMixerNode& operator=(const MainMixerNode&) = delete;

    void setOutputVolume(float gain) override;
    float outputVolume() const override;
    void installTap(uint32_t bufferSize, TapBlock block) override;
    void removeTap() override;

    void configure(double sampleRate, uint32_t channelCount);
    // Mixes `frames` frames of `chain` (non-interleaved, modified in place) into `interleaved`.
    void process(float* const* chain, uint32_t frames, float playerVolume, float* interleaved);

private:
    void deliver();
    // Sleeps until a write, a new tap or the end; `lock` is released meanwhile.
    void doze(std::unique_lock<std::mutex>& lock);
    void ringDoorbell();

    std::atomic<float> outputVolume_{1.0f};
    float appliedGain_ = 1.0f; // render side

    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread worker_;
    bool quit_ = false;
    TapBlock block_;
    uint32_t bufferSize_ = 0;
    double sampleRate_ = 44100;
    std::unique_ptr<RingBuffer> ring_;
    std::atomic<bool> tapActive_{false};
    std::atomic<bool> dozing_{false};
    std::atomic<uint32_t> doorbell_{0};
};

} // namespace tindrel::platform
