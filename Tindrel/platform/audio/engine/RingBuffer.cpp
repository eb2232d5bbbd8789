#include "Tindrel/platform/audio/engine/RingBuffer.h"

#include "Tindrel/platform/audio/engine/PlanarRingCopy.h"

#include <algorithm>

namespace tindrel::platform {

RingBuffer::RingBuffer(uint32_t channelCount, size_t capacityFrames)
    : channels_(channelCount, std::vector<float>(std::max<size_t>(1, capacityFrames))),
      capacity_(std::max<size_t>(1, capacityFrames)) {}

size_t RingBuffer::readable() const {
    return static_cast<size_t>(written_.load(std::memory_order_acquire) -
                               consumed_.load(std::memory_order_acquire));
}

size_t RingBuffer::writable() const {
    return capacity_ - readable();
}

size_t RingBuffer::write(const float* const* source, size_t offset, size_t frames) {
    const uint64_t written = written_.load(std::memory_order_relaxed);
    const uint64_t consumed = consumed_.load(std::memory_order_acquire);
    const size_t count = std::min(frames, capacity_ - static_cast<size_t>(written - consumed));
    copyIntoRing(channels_, capacity_, written, source, offset, count);
    written_.store(written + count, std::memory_order_release);
    return count;
}

size_t RingBuffer::read(float* const* destination, size_t offset, size_t frames) {
    const uint64_t consumed = consumed_.load(std::memory_order_relaxed);
    const uint64_t written = written_.load(std::memory_order_acquire);
    const size_t count = std::min(frames, static_cast<size_t>(written - consumed));
    copyOutOfRing(channels_, capacity_, consumed, destination, offset, count);
    consumed_.store(consumed + count, std::memory_order_release);
    return count;
}

void RingBuffer::discardReadable() {
    consumed_.store(written_.load(std::memory_order_acquire), std::memory_order_release);
}

} // namespace tindrel::platform
