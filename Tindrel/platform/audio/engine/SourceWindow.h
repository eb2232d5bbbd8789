#pragma once

// The time-pitch unit's view of its input: the frames pulled from the player, addressed by
// their index in the segment, kept while any processing path may still read them (a path
// taking over mid-play primes itself from the frames before its start). Indices below 0 read
// as silence, or as the input before the segment when the player delivers it first (a seek
// while playing). Allocates only in its constructor; render thread only.

#include "Tindrel/platform/audio/engine/SampleSource.h"

#include <cstdint>
#include <vector>

namespace tindrel::platform {

class SourceWindow {
public:
    // Silence held before index 0, so every path can prime from before the segment start.
    static constexpr int64_t leadFrames = 8192;
    // The input before a seek's start that the player delivers first, at most: the priming pad
    // and what a stretcher plays through before it is heard (StretcherPath.h), 1.2 s of input
    // (300 ms of output at 4x) as far as the window holds it beside a path's read-ahead.
    static int64_t preRollFrames(double sampleRate);

    SourceWindow(uint32_t channelCount, size_t capacityFrames);

    uint32_t channelCount() const { return static_cast<uint32_t>(channels_.size()); }
    // Drops everything; the next `preRoll` (at most preRollFrames()) pulled become indices
    // [-preRoll, 0).
    void reset(int64_t preRoll = 0);
    int64_t end() const { return end_; }
    // The first index still held.
    int64_t firstHeld() const { return base_; }
    // Pulls until end() >= index; false when the source is late (an underrun).
    bool fill(int64_t index, SampleSource& source);
    // Frames [index, end()) of a channel are contiguous from here; index >= first kept index.
    const float* at(uint32_t channel, int64_t index) const;
    // Frames before `index` may be dropped.
    void keepFrom(int64_t index);
    // Pulls, as far as the source has them ready, up to `frames` beyond the furthest index
    // fill() was asked for, so that the paths can play on briefly once the source is gone.
    void readAhead(int64_t frames, SampleSource& source);

private:
    bool makeRoom(size_t frames);
    bool pullUntil(int64_t index, SampleSource& source);

    std::vector<std::vector<float>> channels_;
    std::vector<float*> pullPointers_;
    size_t capacity_;
    int64_t base_ = 0; // index of the frame at storage offset 0
    int64_t end_ = 0;  // one past the last held index
    int64_t keepFrom_ = 0;
    int64_t demand_ = 0; // the furthest index fill() was asked for
};

} // namespace tindrel::platform
