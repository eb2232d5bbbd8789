#pragma once

// Plays one scheduled segment of an audio file into the time-pitch unit. Called from the
// main thread only. A streaming thread reads the segment into a lock-free ring buffer; the
// audio thread never touches the disk.

#include "Tindrel/platform/audio/AudioFile.h"

#include <cstdint>
#include <optional>

namespace tindrel::platform {

class AudioPlayerNode {
public:
    virtual ~AudioPlayerNode() = default;

    // Queues frames [startFrame, startFrame + frameCount) of `file` (read through an
    // independent reader of the same file). Replaces whatever was scheduled before; while
    // playing, that is a seek, which the engine joins with a crossfade of a few milliseconds
    // instead of a cut (stop() first to cut).
    virtual void scheduleSegment(const AudioFile& file, int64_t startFrame, int64_t frameCount) = 0;
    virtual void play() = 0;
    // Holds the position; play() resumes the same segment.
    virtual void pause() = 0;
    // Drops the segment; the sample time starts again from 0 at the next play().
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;

    // The loop the transport wraps at, in frames of the file; none: no loop. The renderer,
    // which runs ahead of what is heard, wraps at `outFrame` itself, and the schedule of
    // `inFrame` that follows while playing takes that wrap over instead of seeking again.
    struct LoopRange {
        int64_t inFrame = 0;
        int64_t outFrame = 0;
    };
    virtual void setLoopRange(std::optional<LoopRange> range) = 0;

    virtual void setVolume(float gain) = 0;
    virtual float volume() const = 0;

    // Source frames of the segment that have been heard since the last stop(): frames that
    // have left the time-pitch unit, net of its start delay, so the playhead follows what is
    // heard at any rate. None while nothing has rendered since play().
    virtual std::optional<int64_t> playerSampleTime() const = 0;
    // Source frames of the segment rendered so far: ahead of what is heard by what the output
    // has still to play, and where a change of the time-pitch unit made now is first heard.
    // None while nothing has rendered since play().
    virtual std::optional<int64_t> playerRenderTime() const = 0;

    // Whether the segment stopped short of its scheduled length (the file ends early or a
    // read failed), reported once every frame that was read has been heard; none while it
    // plays on, after it played whole, and after a new schedule or stop().
    enum class Shortfall { none, endedEarly, readFailed };
    virtual Shortfall segmentShortfall() const = 0;
};

} // namespace tindrel::platform
