#include "Tindrel/platform/audio/engine/RenderAheadQueue.h"

#include "Tindrel/platform/audio/engine/PlanarRingCopy.h"

#include <algorithm>
#include <thread>

namespace tindrel::platform {

RenderAheadQueue::RenderAheadQueue(uint32_t channelCount, size_t capacityFrames,
                                   size_t maximumWrite)
    : channels_(std::max<uint32_t>(1, channelCount),
                std::vector<float>(std::max(capacityFrames, maximumWrite))),
      capacity_(std::max(capacityFrames, maximumWrite)),
      // Every write of at least one frame takes a stamp; unread frames bound their number.
      stamps_(capacity_ + 1) {}

size_t RenderAheadQueue::readable() const {
    const uint64_t written = written_.load(std::memory_order_acquire);
    const uint64_t from = std::max(consumed_.load(std::memory_order_acquire),
                                   droppedBefore_.load(std::memory_order_acquire));
    return written > from ? static_cast<size_t>(written - from) : 0;
}

size_t RenderAheadQueue::writable() const {
    return capacity_ - static_cast<size_t>(written_.load(std::memory_order_relaxed) -
                                           consumed_.load(std::memory_order_acquire));
}

void RenderAheadQueue::write(const float* const* source, size_t offset, size_t frames,
                             const Mark& mark) {
    frames = std::min(frames, writable());
    if (frames == 0) {
        return;
    }
    const uint64_t written = written_.load(std::memory_order_relaxed);
    copyIntoRing(channels_, capacity_, written, source, offset, frames);
    const uint64_t stamp = stampsWritten_.load(std::memory_order_relaxed);
    storeStamp(stamp, Stamp{written + frames, mark});
    stampsWritten_.store(stamp + 1, std::memory_order_release);
    written_.store(written + frames, std::memory_order_release);
}

void RenderAheadQueue::storeStamp(uint64_t index, const Stamp& stamp) {
    StampSlot& slot = stamps_[index % stamps_.size()];
    const uint32_t version = slot.version.load(std::memory_order_relaxed);
    slot.version.store(version + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    slot.end.store(stamp.end, std::memory_order_relaxed);
    slot.generation.store(stamp.mark.generation, std::memory_order_relaxed);
    slot.heard.store(stamp.mark.heard, std::memory_order_relaxed);
    slot.known.store(stamp.mark.known, std::memory_order_relaxed);
    slot.version.store(version + 2, std::memory_order_release);
}

bool RenderAheadQueue::loadStamp(uint64_t index, Stamp& stamp) const {
    const StampSlot& slot = stamps_[index % stamps_.size()];
    const uint32_t version = slot.version.load(std::memory_order_acquire);
    if (version % 2 == 1) {
        return false;
    }
    Stamp copy;
    copy.end = slot.end.load(std::memory_order_relaxed);
    copy.mark.generation = slot.generation.load(std::memory_order_relaxed);
    copy.mark.heard = slot.heard.load(std::memory_order_relaxed);
    copy.mark.known = slot.known.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (slot.version.load(std::memory_order_relaxed) != version) {
        return false;
    }
    stamp = copy;
    return true;
}

void RenderAheadQueue::dropUnread() {
    const uint64_t written = written_.load(std::memory_order_seq_cst);
    uint64_t dropped = droppedBefore_.load(std::memory_order_relaxed);
    while (dropped < written &&
           !droppedBefore_.compare_exchange_weak(dropped, written, std::memory_order_seq_cst)) {
    }
    // A splice may have rolled the write position back meanwhile: its new frames are not
    // dropped by this call.
    clampDroppedTo(written_.load(std::memory_order_seq_cst));
}

void RenderAheadQueue::clampDroppedTo(uint64_t position) {
    uint64_t dropped = droppedBefore_.load(std::memory_order_seq_cst);
    while (dropped > position &&
           !droppedBefore_.compare_exchange_weak(dropped, position, std::memory_order_seq_cst)) {
    }
}

uint64_t RenderAheadQueue::fence(uint64_t position) {
    const uint64_t written = written_.load(std::memory_order_relaxed);
    position = std::min(position, written);
    fence_.store(std::max(position, consumed_.load(std::memory_order_acquire)),
                 std::memory_order_seq_cst);
    // A read that began before the fence was set may not have seen it: let it end.
    const uint64_t running = readsRunning_.load(std::memory_order_seq_cst);
    if (running % 2 == 1) {
        while (readsRunning_.load(std::memory_order_seq_cst) == running) {
            std::this_thread::yield();
        }
    }
    // The reader may have passed the position before the fence held it; it stops where it is.
    const uint64_t held =
        std::max(fence_.load(std::memory_order_relaxed), consumed_.load(std::memory_order_acquire));
    fence_.store(held, std::memory_order_seq_cst);
    return held;
}

size_t RenderAheadQueue::peek(uint64_t position, float* const* destination, size_t offset,
                              size_t frames) const {
    const uint64_t written = written_.load(std::memory_order_relaxed);
    const size_t count = std::min<size_t>(frames, written > position ? written - position : 0);
    copyOutOfRing(channels_, capacity_, position, destination, offset, count);
    return count;
}

void RenderAheadQueue::truncateAtFenceAndRelease() {
    const uint64_t at = fence_.load(std::memory_order_relaxed);
    // The reader is held at or before the fence, so it has passed no stamp ending beyond it.
    uint64_t stamp = stampsRead_.load(std::memory_order_acquire);
    const uint64_t stamps = stampsWritten_.load(std::memory_order_relaxed);
    Stamp passed;
    while (stamp < stamps && loadStamp(stamp, passed) && passed.end <= at) {
        ++stamp;
    }
    stampsWritten_.store(stamp, std::memory_order_release);
    written_.store(std::min(at, written_.load(std::memory_order_relaxed)),
                   std::memory_order_seq_cst);
    // A drop while fenced covered frames that are no longer written.
    clampDroppedTo(written_.load(std::memory_order_relaxed));
    release();
}

void RenderAheadQueue::release() {
    fence_.store(UINT64_MAX, std::memory_order_seq_cst);
}

void RenderAheadQueue::skipDropped() {
    const uint64_t dropped = droppedBefore_.load(std::memory_order_acquire);
    const uint64_t consumed = consumed_.load(std::memory_order_relaxed);
    if (dropped <= consumed) {
        return;
    }
    const uint64_t stamps = stampsWritten_.load(std::memory_order_acquire);
    uint64_t stamp = stampsRead_.load(std::memory_order_relaxed);
    Stamp passed;
    while (stamp < stamps && loadStamp(stamp, passed) && passed.end <= dropped) {
        ++stamp;
    }
    stampsRead_.store(stamp, std::memory_order_release);
    consumed_.store(dropped, std::memory_order_release);
    lastPassed_ = Stamp{};
}

size_t RenderAheadQueue::read(float* const* destination, size_t offset, size_t frames,
                              Mark* passed) {
    readsRunning_.fetch_add(1, std::memory_order_seq_cst);
    if (frames > largestRead_.load(std::memory_order_relaxed)) {
        largestRead_.store(frames, std::memory_order_relaxed);
    }
    skipDropped();
    const uint64_t consumed = consumed_.load(std::memory_order_relaxed);
    // The fence first: a write position loaded before it could be one a splice has since
    // rolled back, with its frames being rewritten. Loaded after it (a seq_cst load orders the
    // loads after it), the write position is the truncated one or later.
    const uint64_t fence = fence_.load(std::memory_order_seq_cst);
    const uint64_t written = written_.load(std::memory_order_acquire);
    const uint64_t limit = std::min(written, fence);
    const size_t count = std::min<size_t>(frames, limit > consumed ? limit - consumed : 0);
    copyOutOfRing(channels_, capacity_, consumed, destination, offset, count);
    const uint64_t now = consumed + count;
    const uint64_t stamps = stampsWritten_.load(std::memory_order_acquire);
    uint64_t stamp = stampsRead_.load(std::memory_order_relaxed);
    bool moved = false;
    Stamp next;
    bool hasNext = false;
    while (stamp < stamps && (hasNext = loadStamp(stamp, next)) && next.end <= now) {
        lastPassed_ = next;
        moved = true;
        hasNext = false;
        ++stamp;
    }
    stampsRead_.store(stamp, std::memory_order_release);
    if (passed != nullptr && (moved || count > 0)) {
        Mark where = lastPassed_.mark;
        if (hasNext && where.known && next.mark.known && next.mark.generation == where.generation &&
            now > lastPassed_.end && next.end > lastPassed_.end) {
            const auto span = static_cast<double>(next.end - lastPassed_.end);
            const auto into = static_cast<double>(now - lastPassed_.end);
            where.heard += static_cast<int64_t>(static_cast<double>(next.mark.heard - where.heard) *
                                                into / span);
        }
        if (where.known) {
            *passed = where;
        }
    }
    consumed_.store(now, std::memory_order_release);
    readsRunning_.fetch_add(1, std::memory_order_seq_cst);
    return count;
}

} // namespace tindrel::platform
