#pragma once

// The time-pitch unit's output, rendered ahead of the device in whole quanta, each with the
// playhead it leaves behind. Thread-safe provided only one thread writes (the render-ahead
// worker, or the caller of a manual render) and only one reads (the device's render function).
// All memory is allocated by the constructor; nothing else allocates, locks or blocks, except
// splice(), which the writer alone calls and which may wait for a read in progress to end.
//
// Positions count the frames written since the queue was made. A splice rewrites what is
// written from a position on that the reader has not reached: the reader is held before it
// (a fence) while the writer takes the old frames there and puts the new ones in their place.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tindrel::platform {

class RenderAheadQueue {
public:
    // Where playback stands once a quantum's frames have been heard.
    struct Mark {
        uint64_t generation = 0; // the player's segment
        int64_t heard = 0;       // source frames of the segment heard
        bool known = false;      // false while a seek waits for the new place
    };

    RenderAheadQueue(uint32_t channelCount, size_t capacityFrames, size_t maximumWrite);
    RenderAheadQueue(const RenderAheadQueue&) = delete;
    RenderAheadQueue& operator=(const RenderAheadQueue&) = delete;

    uint32_t channelCount() const { return static_cast<uint32_t>(channels_.size()); }
    size_t capacity() const { return capacity_; }
    // Either side may ask; for the writer a lower bound of what it may write.
    size_t readable() const;
    size_t writable() const;

    // Writer: appends `frames` (at most writable() and the maximum write) frames of
    // `source[c] + offset`, with the mark that holds once they have been heard.
    void write(const float* const* source, size_t offset, size_t frames, const Mark& mark);
    // Whatever was written so far will not be heard; the reader skips it. Any thread.
    void dropUnread();
    // Writer: the position of the next frame written, and of the next frame the reader takes.
    uint64_t writePosition() const { return written_.load(std::memory_order_relaxed); }
    uint64_t readPosition() const { return consumed_.load(std::memory_order_acquire); }

    // Writer: holds the reader before `position` (clamped to what it has not read yet) and
    // returns the position it holds at, once no read runs past it.
    uint64_t fence(uint64_t position);
    // Writer: copies up to `frames` written frames from `position` into
    // `destination[c] + offset`; returns the frames copied. Only the writer changes frames, so
    // it may peek at those the reader is still to take without holding it.
    size_t peek(uint64_t position, float* const* destination, size_t offset, size_t frames) const;
    // The largest number of frames one read asked for so far.
    size_t largestRead() const { return largestRead_.load(std::memory_order_relaxed); }
    // Writer, fenced: drops what was written from the fence on, so that the next write lands
    // there, and lets the reader go on.
    void truncateAtFenceAndRelease();
    // Writer, fenced: lets the reader go on, nothing changed.
    void release();

    // Reader: copies up to `frames` frames to `destination[c] + offset`; returns the frames
    // copied. `passed`, when given, becomes where playback stands after them: between two
    // marks of one segment, in proportion to the frames read (untouched when nothing is known).
    size_t read(float* const* destination, size_t offset, size_t frames, Mark* passed);
    // Reader: skips what was dropped, making room for the writer.
    void skipDropped();

private:
    struct Stamp {
        uint64_t end = 0; // one past the quantum's last frame
        Mark mark;
    };
    // A stamp the writer may rewrite after a splice while the reader looks at it: the reader
    // takes a copy only when its version is even and unchanged across the copy.
    struct StampSlot {
        std::atomic<uint32_t> version{0};
        std::atomic<uint64_t> end{0};
        std::atomic<uint64_t> generation{0};
        std::atomic<int64_t> heard{0};
        std::atomic<bool> known{false};
    };
    void storeStamp(uint64_t index, const Stamp& stamp);
    // False while the writer rewrites it; such a stamp lies beyond the fence, past any frame the
    // reader may take.
    bool loadStamp(uint64_t index, Stamp& stamp) const;
    // Frames before the write position are the only ones a drop may cover.
    void clampDroppedTo(uint64_t position);

    std::vector<std::vector<float>> channels_;
    size_t capacity_;
    std::vector<StampSlot> stamps_;
    std::atomic<uint64_t> written_{0};
    std::atomic<uint64_t> consumed_{0};
    std::atomic<uint64_t> stampsWritten_{0};
    std::atomic<uint64_t> stampsRead_{0};
    // Everything written before this position is dropped (written by the writer only).
    std::atomic<uint64_t> droppedBefore_{0};
    std::atomic<uint64_t> fence_{UINT64_MAX};
    // Odd while a read runs.
    std::atomic<uint64_t> readsRunning_{0};
    Stamp lastPassed_; // reader only
    std::atomic<size_t> largestRead_{0};
};

} // namespace tindrel::platform
