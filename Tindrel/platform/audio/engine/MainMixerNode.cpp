#include "Tindrel/platform/audio/engine/MainMixerNode.h"

#include "Tindrel/platform/audio/AudioPcmBuffer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

namespace tindrel::platform {

namespace {

constexpr size_t minimumRingFrames = 32768;
// Long enough that a device's callbacks, however large, never let the worker doze between them.
constexpr auto quietBeforeDozing = std::chrono::milliseconds(200);

} // namespace

MainMixerNode::MainMixerNode() : ring_(std::make_unique<RingBuffer>(2, minimumRingFrames)) {
    worker_ = std::thread([this] { deliver(); });
}

MainMixerNode::~MainMixerNode() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_all();
    ringDoorbell();
    worker_.join();
}

void MainMixerNode::setOutputVolume(float gain) {
    outputVolume_.store(std::isfinite(gain) ? std::max(0.0f, gain) : 0.0f,
                        std::memory_order_release);
}

float MainMixerNode::outputVolume() const {
    return outputVolume_.load(std::memory_order_acquire);
}

void MainMixerNode::installTap(uint32_t bufferSize, TapBlock block) {
    {
        std::lock_guard lock(mutex_);
        tapActive_.store(false, std::memory_order_release);
        // Whatever the ring held belongs to no current tap; the worker reads only under the
        // lock, so this thread may act as the reader here.
        ring_->discardReadable();
        block_ = std::move(block);
        bufferSize_ =
            std::clamp<uint32_t>(bufferSize, 1, static_cast<uint32_t>(ring_->capacity() / 4));
        tapActive_.store(static_cast<bool>(block_), std::memory_order_release);
    }
    wake_.notify_all();
    ringDoorbell();
}

void MainMixerNode::removeTap() {
    std::lock_guard lock(mutex_);
    tapActive_.store(false, std::memory_order_release);
    block_ = nullptr;
}

void MainMixerNode::configure(double sampleRate, uint32_t channelCount) {
    std::lock_guard lock(mutex_);
    sampleRate_ = sampleRate;
    ring_ =
        std::make_unique<RingBuffer>(std::max<uint32_t>(1, channelCount),
                                     std::max<size_t>(minimumRingFrames, size_t{bufferSize_} * 4));
}

void MainMixerNode::process(float* const* chain, uint32_t frames, float playerVolume,
                            float* interleaved) {
    const uint32_t channels = ring_->channelCount();
    const float target = playerVolume * outputVolume_.load(std::memory_order_acquire);
    const float start = appliedGain_;
    for (uint32_t k = 0; k < frames; ++k) {
        const float gain =
            start + (target - start) * static_cast<float>(k + 1) / static_cast<float>(frames);
        for (uint32_t c = 0; c < channels; ++c) {
            chain[c][k] *= gain;
            interleaved[k * channels + c] = chain[c][k];
        }
    }
    appliedGain_ = frames > 0 ? target : start;
    if (tapActive_.load(std::memory_order_acquire)) {
        // A worker that falls behind loses blocks; the audio thread never waits for it.
        ring_->write(chain, 0, frames);
        // Pairs with the fence in doze(): either the worker sees this write or this sees it doze.
        std::atomic_thread_fence(std::memory_order_seq_cst);
        if (dozing_.load(std::memory_order_relaxed) &&
            dozing_.exchange(false, std::memory_order_acq_rel)) {
            ringDoorbell();
        }
    }
}

void MainMixerNode::ringDoorbell() {
    doorbell_.fetch_add(1, std::memory_order_release);
    doorbell_.notify_all();
}

void MainMixerNode::doze(std::unique_lock<std::mutex>& lock) {
    const uint32_t bell = doorbell_.load(std::memory_order_acquire);
    dozing_.store(true, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    if (!quit_ && tapActive_.load(std::memory_order_acquire) && ring_->readable() < bufferSize_) {
        lock.unlock();
        doorbell_.wait(bell, std::memory_order_acquire);
        lock.lock();
    }
    dozing_.store(false, std::memory_order_relaxed);
}

void MainMixerNode::deliver() {
    std::unique_lock lock(mutex_);
    std::unique_ptr<AudioPcmBuffer> buffer;
    std::vector<float*> channels;
    using Clock = std::chrono::steady_clock;
    Clock::duration quiet{}; // waited with nothing written
    while (!quit_) {
        const bool active = tapActive_.load(std::memory_order_acquire);
        if (active && ring_->readable() >= bufferSize_) {
            if (!buffer || buffer->channelCount() != ring_->channelCount() ||
                buffer->frameCapacity() != bufferSize_) {
                buffer = std::make_unique<AudioPcmBuffer>(ring_->channelCount(), bufferSize_);
                channels.resize(ring_->channelCount());
            }
            for (uint32_t c = 0; c < channels.size(); ++c) {
                channels[c] = buffer->channelData(c);
            }
            buffer->setFrameLength(
                static_cast<int64_t>(ring_->read(channels.data(), 0, bufferSize_)));
            block_(*buffer);
            continue;
        }
        if (!active) {
            wake_.wait(lock);
            quiet = Clock::duration::zero();
        } else if (quiet >= quietBeforeDozing) {
            doze(lock);
            quiet = Clock::duration::zero();
        } else {
            // Half a tap buffer: blocks arrive about when they fill, and the audio thread
            // never has to signal while it writes.
            const auto period = std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(0.5 * bufferSize_ / std::max(1.0, sampleRate_)));
            const size_t before = ring_->readable();
            wake_.wait_for(lock, period);
            quiet = ring_->readable() == before ? quiet + period : Clock::duration::zero();
        }
    }
}

} // namespace tindrel::platform
