#pragma once

// The playback graph: player node -> time-pitch unit -> main mixer -> output.
// All methods are for the main thread (or one owning thread for an offline engine).
//
// Live use: connect(format) for the open file, start(), then drive the player node.
// Offline use: enableManualRenderingMode(format, maxFrames), start(), schedule and play the
// player node, then renderOffline() pulls the same graph on the caller's thread, unpaced.
//
// The time-pitch unit renders in quanta of 256 frames, waiting for the player's streaming
// thread when its input is late, so what comes out is a function of the file and the settings
// alone: the same in playback and offline, whatever block sizes the output asks for. With a
// real-time output a worker thread renders about 150 ms ahead of it (RenderAheadQueue.h), and
// the output's thread only copies, mixes and publishes the playhead of what it plays: it never
// allocates, locks or waits, whatever a seek, a wrap or a change of path costs. A seek is
// joined 30 ms of the output's time past what it has read, so it is heard soon after the new
// place is ready and the worker has time to render on from there; the join is searched for
// before the output is held, which it is only while the join is copied in. A loop wraps where
// the rendering reaches Out, ahead of what is heard, its join's fade ending there
// (AudioPlayerNode::setLoopRange()).
// With an output that is not real-time (ManualOutput) and in manual rendering mode, the quanta
// are rendered on the caller's thread as they are needed.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/AudioPcmBuffer.h"
#include "Tindrel/platform/audio/engine/AudioOutput.h"
#include "Tindrel/platform/audio/engine/AudioPlayerNode.h"
#include "Tindrel/platform/audio/engine/MixerNode.h"
#include "Tindrel/platform/audio/engine/TimePitchUnit.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tindrel::platform {

class AudioEngine {
public:
    using OutputFactory = std::function<std::unique_ptr<AudioOutput>()>;

    // The output is made by `makeOutput` at the first start(); the default is the real device
    // with its silent fallback.
    explicit AudioEngine(OutputFactory makeOutput = makeDefaultAudioOutput);
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    AudioPlayerNode& playerNode();
    TimePitchUnit& timePitchUnit();
    MixerNode& mainMixer();

    // Wires the chain for `format` (sample rate, channels). Allowed while running; the tap
    // stays installed. Before the first connect the format is 44100 Hz stereo.
    void connect(const AudioFormat& format);
    AudioFormat mainMixerOutputFormat() const;

    bool start(std::string* error = nullptr);
    void stop();
    bool isRunning() const;
    // Frames a real-time output asked for while playing that the render-ahead did not have
    // ready (played as silence), since the engine was made.
    int64_t underrunFrames() const;
    // Whether the render-ahead worker rests, having rendered as far ahead as it goes (always
    // true without one). For a caller that drives a real-time output by hand and wants what is
    // heard to follow from the file and the settings alone.
    bool renderAheadSettled() const;

    // Offline rendering: no device; renderOffline() pulls the graph on the caller's thread.
    bool enableManualRenderingMode(const AudioFormat& format, uint32_t maximumFrameCount,
                                   std::string* error = nullptr);
    AudioFormat manualRenderingFormat() const;
    // Frames rendered so far in manual mode.
    int64_t manualRenderingSampleTime() const;

    enum class RenderStatus { success, insufficientData, error };
    // Renders min(frames, maximumFrameCount, buffer capacity) frames into `buffer` (channels of
    // the manual format). After the scheduled segment is used up, the output is the unit's tail
    // and then silence, so a render always delivers the frames asked for while it succeeds.
    RenderStatus renderOffline(uint32_t frames, AudioPcmBuffer& buffer,
                               std::string* error = nullptr);

private:
    struct Graph;
    std::unique_ptr<Graph> graph_;
};

} // namespace tindrel::platform
