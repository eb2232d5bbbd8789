#pragma once

// The join of a seek while playing: the deck started at the new place renders a few
// milliseconds ahead, the deck playing so far renders its next 5 ms (1024 frames at most, which
// bounds the work above 192 kHz), and the new output is lined up with the old one (the offset,
// within the next 5 ms, where the two match best) before a crossfade whose law follows how well
// they match: equal gain where they are alike (a looped tone goes on unbroken), equal power
// where they are not (no level dip either way). The frames before the chosen offset are
// skipped, so what is heard jumps a little further, never back, and the heard position counts
// them.
//
// Allocates only in its constructor; everything else is for the render thread.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tindrel::platform {

class SeekCrossfade {
public:
    SeekCrossfade(double sampleRate, uint32_t channelCount);

    // A seek: collecting starts over.
    void begin();
    void cancel();
    bool collecting() const { return collecting_; }
    bool emitting() const { return emitted_ < pending_; }

    // The incoming deck's output is written to incoming()[c] + incomingFilled(), up to
    // incomingWanted() frames, then counted with addIncoming().
    float* const* incoming() { return incomingPointers_.data(); }
    size_t incomingFilled() const { return incomingFilled_; }
    size_t incomingWanted() const { return fadeFrames_ + searchFrames_ - incomingFilled_; }
    void addIncoming(size_t frames) { incomingFilled_ += frames; }

    // Once collected: the outgoing deck's next fadeFrames() frames go to outgoing(), then
    // join() lines the two up and mixes them.
    size_t fadeFrames() const { return fadeFrames_; }
    // The fade's length at `sampleRate`, for one that places a join ahead of time.
    static size_t fadeFramesAt(double sampleRate);
    float* const* outgoing() { return outgoingPointers_.data(); }
    void silenceOutgoingFrom(size_t frame);
    void join();

    // Both steps above from two renderers, each `size_t(float* const* out, size_t offset,
    // size_t frames)` making up to `frames` (at most `block` at a time) at out[c] + offset and
    // returning how many it made. False, keeping what came, while the incoming side's input is
    // late; an outgoing side that runs dry is silent for the rest of the fade.
    template <typename RenderIncoming, typename RenderOutgoing>
    bool collectAndJoin(RenderIncoming&& renderIncoming, RenderOutgoing&& renderOutgoing,
                        size_t block) {
        while (incomingWanted() > 0) {
            const size_t wanted = std::min(incomingWanted(), block);
            const size_t got = renderIncoming(incoming(), incomingFilled_, wanted);
            addIncoming(got);
            if (got < wanted) {
                return false;
            }
        }
        for (size_t done = 0; done < fadeFrames_;) {
            const size_t got =
                renderOutgoing(outgoing(), done, std::min(fadeFrames_ - done, block));
            if (got == 0) {
                silenceOutgoingFrom(done);
                break;
            }
            done += got;
        }
        join();
        return true;
    }

    // The joined frames not yet played.
    size_t pendingFrames() const { return pending_ - emitted_; }
    // Copies up to `frames` of them to `out[c] + offset`; returns the frames copied.
    size_t emit(float* const* out, size_t offset, size_t frames);

private:
    size_t bestOffset();

    uint32_t channelCount_;
    size_t fadeFrames_;
    size_t searchFrames_;
    std::vector<std::vector<float>> incoming_;
    std::vector<std::vector<float>> outgoing_;
    std::vector<double> incomingSum_; // across channels, for the search
    std::vector<double> outgoingSum_;
    std::vector<float*> incomingPointers_;
    std::vector<float*> outgoingPointers_;
    bool collecting_ = false;
    size_t incomingFilled_ = 0;
    size_t skipped_ = 0; // the chosen offset into incoming_
    size_t pending_ = 0; // frames of incoming_ from skipped_ to play
    size_t emitted_ = 0;
};

} // namespace tindrel::platform
