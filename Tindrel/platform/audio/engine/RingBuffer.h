#pragma once

// A lock-free ring of non-interleaved float frames, thread-safe provided only one thread
// writes and only one thread reads. All memory is allocated by the constructor; write(),
// read() and discardReadable() never allocate, lock or block.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tindrel::platform {

class RingBuffer {
public:
    RingBuffer(uint32_t channelCount, size_t capacityFrames);
    RingBuffer(const RingBuffer&) = delete;
    RingBuffer& operator=(const RingBuffer&) = delete;

    uint32_t channelCount() const { return static_cast<uint32_t>(channels_.size()); }
    size_t capacity() const { return capacity_; }

    // Either side may ask; the answer is a lower bound for its own operation.
    size_t readable() const;
    size_t writable() const;

    // Writer: copies up to `frames` frames from `source[channel] + offset`; returns frames written.
    size_t write(const float* const* source, size_t offset, size_t frames);
    // Reader: copies up to `frames` frames to `destination[channel] + offset`; returns frames read.
    size_t read(float* const* destination, size_t offset, size_t frames);
    // Reader: drops everything written so far.
    void discardReadable();

private:
    std::vector<std::vector<float>> channels_;
    size_t capacity_;
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> consumed_{0};
};

} // namespace tindrel::platform
