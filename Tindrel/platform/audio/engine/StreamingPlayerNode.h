#pragma once

// The player node: a streaming thread reads the scheduled segment through its own reader of
// the file into a lock-free ring; the render thread pulls from the ring and never touches
// the disk.
//
// Threads: the AudioPlayerNode methods and configure() are for the main thread; configure()
// only while no render runs. beginRender(), pull(), segmentWaiting() and markHeard() are for
// the one render thread, which renders ahead of the device: pull() waits for the streaming
// thread instead of reporting an underrun, so what is rendered never depends on timing.
// publishHeard() is for the device's thread, as the frames are heard; it never allocates,
// locks or waits.
//
// A new schedule or stop() starts a new generation: the streaming thread writes the new
// segment only after the render side has dropped what the ring held of the old one. A segment
// scheduled while playing is a seek: it is delivered after up to SourceWindow::preRollFrames()
// of the input before its start, so the time-pitch unit can prime from them and crossfade into it.
//
// A loop wrap is a generation the render side starts itself when what it renders reaches the
// loop's Out (wrapToLoopIn()); until the transport schedules the loop's In, which takes that
// generation over, the playhead counts on past Out, so the transport wraps as it always did.

#include "Tindrel/platform/audio/engine/AudioPlayerNode.h"
#include "Tindrel/platform/audio/engine/RenderAheadQueue.h"
#include "Tindrel/platform/audio/engine/RingBuffer.h"
#include "Tindrel/platform/audio/engine/SampleSource.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace tindrel::platform {

class StreamingPlayerNode final : public AudioPlayerNode, public SampleSource {
public:
    StreamingPlayerNode();
    ~StreamingPlayerNode() override;
    StreamingPlayerNode(const StreamingPlayerNode&) = delete;
    StreamingPlayerNode& operator=(const StreamingPlayerNode&) = delete;

    // Replaces whatever was scheduled: the new segment plays from its first frame.
    void scheduleSegment(const AudioFile& file, int64_t startFrame, int64_t frameCount) override;
    void play() override;
    void pause() override;
    void stop() override;
    bool isPlaying() const override;
    void setLoopRange(std::optional<LoopRange> range) override;
    void setVolume(float gain) override;
    float volume() const override;
    std::optional<int64_t> playerSampleTime() const override;
    std::optional<int64_t> playerRenderTime() const override;
    Shortfall segmentShortfall() const override;

    // Sets the channel count of the ring and drops the segment.
    void configure(uint32_t channelCount);
    // Called on the main thread after play(), a new schedule and stop(): an output resting
    // while the player was paused must render again, to play or to take the new segment.
    void setRenderWaker(std::function<void()> wake);

    struct Cue {
        bool newSegment = false;
        bool playing = false;
        bool seek = false;   // the new segment was scheduled while playing
        bool wrap = false;   // the render side wrapped at the loop's Out
        int64_t preRoll = 0; // frames pulled before the new segment's first frame
    };
    // Takes a newly scheduled segment only when `takeNewSegment` or not playing; otherwise the
    // current one goes on and the new one waits for a later call.
    Cue beginRender(bool takeNewSegment = true);
    // A segment was scheduled (or the player stopped) since the last beginRender().
    bool segmentWaiting() const;
    // Source frames from `heard` (of the segment rendering) to the loop's Out; none without a
    // loop ahead of the segment's start.
    std::optional<int64_t> framesToLoopOut(int64_t heard) const;
    // Starts a generation at the loop's In, as a seek; the next beginRender() takes it. False
    // when there is no loop or a schedule waits.
    bool wrapToLoopIn();
    size_t pull(float* const* destination, size_t offset, size_t frames) override;
    // Where playback will stand once what was rendered so far is heard: `heard` source frames
    // of the segment (the time-pitch unit's count), none while a seek waits for its input.
    RenderAheadQueue::Mark markHeard(std::optional<int64_t> heard);
    // The device has played the frames of `mark`.
    void publishHeard(const RenderAheadQueue::Mark& mark);

private:
    void stream();
    // preRoll -1: not a seek, the segment starts from silence. `failed`: the segment's reader
    // could not be made; nothing of it will be read.
    void startGeneration(std::unique_ptr<AudioFile> reader, int64_t startFrame, int64_t frameCount,
                         int64_t preRoll = -1, bool failed = false);
    // Under mutex_: the reader's next frames and the segment's bookkeeping for a generation.
    void positionReader(int64_t startFrame, int64_t frameCount, int64_t preRoll);
    std::optional<LoopRange> loopRange() const;
    // Takes over a wrap to `startFrame` the render side made and the transport now schedules.
    bool adoptWrap(int64_t startFrame);
    // `frames` of `generation` counted in the transport's segment: as they are in its own
    // generation, from `pastWrap` in a wrap it has not taken over yet; none in an older one.
    std::optional<int64_t> inTransportSegment(const std::atomic<uint64_t>& generation,
                                              const std::atomic<int64_t>& frames,
                                              int64_t pastWrap) const;

    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;      // wakes the streaming thread
    std::condition_variable dataReady_; // wakes a render waiting for input
    bool quit_ = false;
    std::unique_ptr<RingBuffer> ring_;
    std::function<void()> wakeRender_; // main thread

    // Written by the main thread under mutex_, read by the streaming thread under mutex_; the
    // streaming thread reads the file through its own copy of reader_ without the lock.
    std::shared_ptr<AudioFile> reader_;
    double readerRate_ = 0;
    int64_t readerStart_ = 0;
    int64_t readerLeft_ = 0;
    uint64_t readerGeneration_ = 0;

    std::atomic<uint64_t> generation_{0};
    // The generation the transport's segment is; later ones are the render side's wraps.
    std::atomic<uint64_t> transportGeneration_{0};
    std::atomic<int64_t> transportStart_{0};
    std::atomic<int64_t> wrapOffset_{0}; // Out, in frames of the transport's segment
    std::atomic<int64_t> wrapIn_{-1};
    std::atomic<int64_t> segmentStart_{0}; // the frame of the file at index 0
    int64_t segmentEnd_ = 0;               // under mutex_
    // Written as a sequence lock by the main thread.
    std::atomic<uint32_t> loopVersion_{0};
    std::atomic<int64_t> loopIn_{-1};
    std::atomic<int64_t> loopOut_{-1};
    std::atomic<int64_t> segmentFrames_{0}; // pre-roll included
    std::atomic<int64_t> segmentPreRoll_{0};
    std::atomic<uint64_t> acknowledged_{0};
    std::atomic<uint64_t> streamEnded_{0}; // the generation whose reading finished or failed
    std::atomic<uint64_t> readFailed_{0};  // the generation whose reading failed
    std::atomic<uint64_t> cutShort_{0};    // the generation whose segment ended early
    std::atomic<int64_t> cutShortAt_{0};   // the frames it really had
    std::atomic<bool> playing_{false};
    std::atomic<float> volume_{1.0f};
    std::atomic<bool> renderedSincePlay_{false};
    std::atomic<int64_t> heard_{0};
    std::atomic<uint64_t> heardGeneration_{0};
    std::atomic<int64_t> rendered_{0};
    std::atomic<uint64_t> renderedGeneration_{0};

    // Render side only.
    uint64_t renderGeneration_ = 0;
    int64_t renderSegmentFrames_ = 0;
    int64_t renderPreRoll_ = 0;
    int64_t renderStart_ = 0;
    uint64_t wrapGeneration_ = 0;
    int64_t consumed_ = 0;
};

} // namespace tindrel::platform
