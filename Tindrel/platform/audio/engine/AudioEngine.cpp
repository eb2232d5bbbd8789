#include "Tindrel/platform/audio/engine/AudioEngine.h"

#include "Tindrel/platform/audio/SupportedSampleRates.h"
#include "Tindrel/platform/audio/engine/MainMixerNode.h"
#include "Tindrel/platform/audio/engine/RenderAheadQueue.h"
#include "Tindrel/platform/audio/engine/RenderAheadWorker.h"
#include "Tindrel/platform/audio/engine/RubberBandTimePitch.h"
#include "Tindrel/platform/audio/engine/SeekCrossfade.h"
#include "Tindrel/platform/audio/engine/StreamingPlayerNode.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

namespace tindrel::platform {

namespace {

constexpr uint32_t maximumChannels = 32;

AudioFormat sanitised(const AudioFormat& format) {
    AudioFormat result;
    result.sampleRate = std::isfinite(format.sampleRate) && format.sampleRate >= 1
                            ? std::clamp(format.sampleRate, minimumSampleRate, maximumSampleRate)
                            : 44100.0;
    result.channelCount = std::clamp<uint32_t>(format.channelCount, 1, maximumChannels);
    return result;
}

// What the worker rendered ahead, from a little past what the device has read: a seek joins
// there, so it is heard about as soon as the new place is ready, however far ahead the queue
// runs. The frames are peeked, not held: the device is fenced only while the join is spliced
// in (spliceAtTake()), so a search however long never holds it.
class QueuedAhead final : public RenderedAhead {
public:
    QueuedAhead(RenderAheadQueue& queue, size_t margin) : queue_(queue), margin_(margin) {}

    size_t take(float* const* out, size_t offset, size_t frames) override {
        if (!taken_) {
            start_ = std::min(queue_.readPosition() + margin_, queue_.writePosition());
            position_ = start_;
            taken_ = true;
        }
        const size_t got = queue_.peek(position_, out, offset, frames);
        position_ += got;
        return got;
    }
    bool taken() const { return taken_; }
    // Drops what was written from the join's point on and returns the frames of the join the
    // device has played meanwhile (none unless it outran the margin).
    size_t spliceAtTake() {
        const uint64_t at = queue_.fence(start_);
        queue_.truncateAtFenceAndRelease();
        return static_cast<size_t>(at - start_);
    }

private:
    RenderAheadQueue& queue_;
    size_t margin_;
    uint64_t start_ = 0;
    uint64_t position_ = 0;
    bool taken_ = false;
};

} // namespace

struct AudioEngine::Graph {
    explicit Graph(OutputFactory factory)
        : makeOutput(std::move(factory)), worker([this] { return renderAheadStep(); }) {
        configure(format);
        player.setRenderWaker([this] {
            // Stopped, or given a segment while stopped: what was rendered ahead is not to be
            // heard, and the device must not play it before the worker takes the change.
            if (!player.isPlaying()) {
                queue->dropUnread();
            }
            worker.ring();
            if (output) {
                output->wake();
            }
        });
    }

    ~Graph() {
        if (output) {
            output->stop();
        }
        player.stop();
        worker.suspend();
    }

    void configure(const AudioFormat& newFormat) {
        // A render waiting for input returns once the player stops; then none runs.
        player.stop();
        worker.suspend();
        format = newFormat;
        chain.assign(format.channelCount, std::vector<float>(RubberBandTimePitch::maximumBlock));
        quantumFrames.assign(format.channelCount, std::vector<float>(quantum));
        chainPointers.resize(format.channelCount);
        quantumPointers.resize(format.channelCount);
        offsetPointers.resize(format.channelCount);
        for (uint32_t c = 0; c < format.channelCount; ++c) {
            chainPointers[c] = chain[c].data();
            quantumPointers[c] = quantumFrames[c].data();
        }
        // Enough for the render-ahead and the largest block an output asks for at once.
        queue = std::make_unique<RenderAheadQueue>(
            format.channelCount, renderAheadFrames() + RubberBandTimePitch::maximumBlock + quantum,
            quantum);
        player.configure(format.channelCount);
        timePitch.configure(format.sampleRate, format.channelCount);
        mixer.configure(format.sampleRate, format.channelCount);
        if (!synchronous) {
            worker.resume();
        }
    }

    // How far the worker renders ahead of the device: room for the work of a seek or a change
    // of path, which comes in one piece.
    size_t renderAheadFrames() const {
        return static_cast<size_t>(std::ceil(renderAheadSeconds * format.sampleRate / quantum)) *
               quantum;
    }

    // One step of the render-ahead worker: takes a segment scheduled since, then renders a
    // quantum when playing and short of the render-ahead. False when there is nothing to do
    // until the device has read more or the player changes.
    bool renderAheadStep() {
        if (!player.isPlaying()) {
            if (player.segmentWaiting()) {
                renderQuantum(false);
            }
            return false;
        }
        if (queue->writable() < quantum ||
            (queue->readable() >= renderAheadFrames() && !player.segmentWaiting())) {
            return false;
        }
        renderQuantum(true);
        return true;
    }

    // Renders one quantum of the time-pitch unit's output into the queue (only takes a new
    // segment when `render` is false). Its frames are a function of the input and the settings
    // alone: the same in playback and in an offline render, whatever sizes the device asks for.
    void renderQuantum(bool render) {
        size_t produced = 0;
        while (produced < quantum) {
            // The frames that join a seek play out before another segment may start.
            const size_t held = timePitch.framesBeforeNewSegment();
            const size_t untilOut = render && held == 0 ? framesToLoopWrap() : noWrap;
            const StreamingPlayerNode::Cue cue = player.beginRender(held == 0);
            if (cue.newSegment) {
                timePitch.restart(cue.seek, cue.preRoll);
                joinsAtLoopOut = cue.wrap;
                if (!cue.seek) {
                    // What was rendered of the old segment is not to be heard.
                    queue->dropUnread();
                    produced = 0;
                }
            }
            if (!cue.playing || !render) {
                return;
            }
            size_t wanted = std::min({quantum - produced, held > 0 ? held : quantum, untilOut});
            if (cue.newSegment && cue.seek && !cue.wrap) {
                // The call that joins the seek stops at its first frame, so that nothing waits
                // for the new place's input between the join and its splice.
                wanted = 1;
            }
            for (uint32_t c = 0; c < format.channelCount; ++c) {
                offsetPointers[c] = quantumFrames[c].data() + produced;
            }
            // Room for the device's next read and the join's own work, set in time; a wrap joins
            // at Out, after all that was rendered, instead.
            QueuedAhead ahead(*queue, synchronous ? 0 : spliceMargin());
            size_t got = timePitch.render(offsetPointers.data(), wanted, player,
                                          joinsAtLoopOut ? nullptr : &ahead);
            if (timePitch.heardFrames()) {
                joinsAtLoopOut = false;
            }
            if (ahead.taken()) {
                // The join replaces what was rendered from its point on, this quantum's
                // frames before it included.
                const size_t played = std::min(got, ahead.spliceAtTake());
                got -= played;
                for (auto& channel : quantumFrames) {
                    std::copy_n(channel.begin() + static_cast<std::ptrdiff_t>(produced + played),
                                got, channel.begin());
                }
                produced = 0;
            }
            produced += got;
            if (got < wanted) {
                break;
            }
        }
        for (auto& channel : quantumFrames) {
            std::fill(channel.begin() + static_cast<std::ptrdiff_t>(produced), channel.end(), 0.0f);
        }
        queue->write(quantumPointers.data(), 0, quantum, player.markHeard(timePitch.heardFrames()));
    }

    // Output frames to render before the wrap's join, placed so that its fade ends where what
    // is rendered reaches the loop's Out, less what the path lets be heard early of what follows
    // its heard position: what is heard of past Out is then at most a part of the fade, not the
    // whole fade and what the path's heard position is off by (13 ms of output for the smooth
    // stretcher at 0.25x). Once the next frame would pass that point, the wrap is started and the
    // next beginRender() takes it. What is rendered thus never stands past Out, where the
    // transport would take it to have left the range.
    size_t framesToLoopWrap() {
        const std::optional<int64_t> heard = timePitch.heardFrames();
        const std::optional<int64_t> left =
            heard ? player.framesToLoopOut(*heard) : std::optional<int64_t>();
        if (!left) {
            return noWrap;
        }
        const double rate = std::clamp(static_cast<double>(timePitch.rate()), 0.25, 4.0);
        const double early =
            std::ceil(earlyHearingSeconds(timePitch.activePath(), rate) * format.sampleRate);
        const double frames = std::ceil(static_cast<double>(*left) / rate) - 1 -
                              static_cast<double>(SeekCrossfade::fadeFramesAt(format.sampleRate)) -
                              early;
        if (frames >= 1) {
            return static_cast<size_t>(frames);
        }
        player.wrapToLoopIn();
        return noWrap;
    }

    // Frames between what the device has read and where a seek joins: its largest read, and
    // time for the splice after the join's search, whatever the sample rate.
    size_t spliceMargin() const {
        return queue->largestRead() + quantum +
               static_cast<size_t>(std::ceil(spliceMarginSeconds * format.sampleRate));
    }

    // The device's render function. False when every block was silence from a paused or
    // stopped player.
    static bool render(void* context, float* interleaved, uint32_t frames) {
        auto& graph = *static_cast<Graph*>(context);
        const uint32_t channels = graph.format.channelCount;
        bool playing = false;
        while (frames > 0) {
            const auto block =
                static_cast<uint32_t>(std::min<size_t>(frames, RubberBandTimePitch::maximumBlock));
            playing = graph.renderBlock(interleaved, block) || playing;
            interleaved += static_cast<size_t>(block) * channels;
            frames -= block;
        }
        return playing;
    }

    // Whether the player played any of the block.
    bool renderBlock(float* interleaved, uint32_t frames) {
        const bool playing = player.isPlaying();
        size_t got = 0;
        if (playing) {
            if (synchronous) {
                // Rendered here and now, in the same quanta the worker renders.
                // A segment waiting is taken first: what the queue holds may be the old one's.
                for (bool fresh = player.segmentWaiting();
                     (queue->readable() < frames || fresh) && player.isPlaying(); fresh = false) {
                    queue->skipDropped();
                    renderQuantum(true);
                }
            }
            RenderAheadQueue::Mark passed;
            passed.known = false;
            got = queue->read(chainPointers.data(), 0, frames, &passed);
            player.publishHeard(passed);
            if (got < frames) {
                underruns.fetch_add(static_cast<int64_t>(frames - got), std::memory_order_relaxed);
            }
            if (!synchronous && queue->readable() < renderAheadFrames()) {
                worker.ring();
            }
        }
        for (auto& channel : chain) {
            std::fill(channel.begin() + static_cast<std::ptrdiff_t>(got), channel.begin() + frames,
                      0.0f);
        }
        mixer.process(chainPointers.data(), frames, player.volume(), interleaved);
        return playing;
    }

    bool startOutput(std::string* error) {
        if (!output) {
            output = makeOutput ? makeOutput() : nullptr;
        }
        if (!output) {
            if (error) {
                *error = "No audio output is available";
            }
            return false;
        }
        // An output that renders only when driven gets what a device would, rendered on its
        // own thread with no render-ahead.
        synchronous = !output->isRealTime();
        if (synchronous) {
            worker.suspend();
        } else {
            worker.resume();
        }
        if (!output->start(format.sampleRate, format.channelCount, &Graph::render, this)) {
            if (error) {
                *error = "The audio output could not be started";
            }
            return false;
        }
        return true;
    }

    static constexpr size_t quantum = 256;
    static constexpr size_t noWrap = SIZE_MAX;
    // A seek's or a wrap's start at the costliest settings (the faster engine playing 300 ms of
    // output first) takes the worker some 60 ms while the device drains the queue, and a seek
    // soon after a wrap meets the queue that low: 100 ms ran dry under load.
    static constexpr double renderAheadSeconds = 0.15;
    static constexpr double spliceMarginSeconds = 0.03;

    OutputFactory makeOutput;
    std::unique_ptr<AudioOutput> output;
    AudioFormat format{44100, 2};
    StreamingPlayerNode player;
    RubberBandTimePitch timePitch;
    MainMixerNode mixer;
    std::unique_ptr<RenderAheadQueue> queue;
    std::vector<std::vector<float>> chain;
    std::vector<std::vector<float>> quantumFrames;
    std::vector<float*> chainPointers;
    std::vector<float*> quantumPointers;
    std::vector<float*> offsetPointers;
    bool running = false;
    bool manual = false;
    bool synchronous = false;    // renders on the device's thread (manual rendering, tests)
    bool joinsAtLoopOut = false; // a wrap waits for its join
    uint32_t manualMaximumFrames = 0;
    int64_t manualSampleTime = 0;
    std::vector<float> manualScratch;
    std::atomic<int64_t> underruns{0};
    // Last, so that it is gone before what its steps use.
    RenderAheadWorker worker;
};

AudioEngine::AudioEngine(OutputFactory makeOutput)
    : graph_(std::make_unique<Graph>(std::move(makeOutput))) {}

AudioEngine::~AudioEngine() {
    stop();
}

AudioPlayerNode& AudioEngine::playerNode() {
    return graph_->player;
}
TimePitchUnit& AudioEngine::timePitchUnit() {
    return graph_->timePitch;
}
MixerNode& AudioEngine::mainMixer() {
    return graph_->mixer;
}

void AudioEngine::connect(const AudioFormat& format) {
    const AudioFormat wanted = sanitised(format);
    Graph& g = *graph_;
    if (wanted.sampleRate == g.format.sampleRate && wanted.channelCount == g.format.channelCount) {
        return; // already wired so; reopening the device would only delay the next sound
    }
    const bool restart = g.running && !g.manual && g.output;
    if (restart) {
        g.output->stop();
    }
    g.configure(wanted);
    if (g.manual) {
        // renderOffline() interleaves into this before copying out; it must fit the new channels.
        g.manualScratch.assign(static_cast<size_t>(g.manualMaximumFrames) * g.format.channelCount,
                               0.0f);
    }
    if (restart) {
        g.running = g.startOutput(nullptr);
    }
}

AudioFormat AudioEngine::mainMixerOutputFormat() const {
    return graph_->format;
}

bool AudioEngine::start(std::string* error) {
    Graph& g = *graph_;
    if (g.running) {
        return true;
    }
    if (g.manual) {
        g.running = true;
        return true;
    }
    g.running = g.startOutput(error);
    return g.running;
}

void AudioEngine::stop() {
    Graph& g = *graph_;
    if (g.output) {
        g.output->stop();
    }
    g.running = false;
}

bool AudioEngine::isRunning() const {
    return graph_->running;
}

int64_t AudioEngine::underrunFrames() const {
    return graph_->underruns.load(std::memory_order_relaxed);
}

bool AudioEngine::renderAheadSettled() const {
    return graph_->synchronous || graph_->worker.resting();
}

bool AudioEngine::enableManualRenderingMode(const AudioFormat& format, uint32_t maximumFrameCount,
                                            std::string* error) {
    if (maximumFrameCount == 0) {
        if (error) {
            *error = "The maximum frame count of manual rendering must be at least 1";
        }
        return false;
    }
    stop();
    Graph& g = *graph_;
    g.manual = true;
    g.synchronous = true;
    g.manualMaximumFrames = maximumFrameCount;
    g.manualSampleTime = 0;
    g.configure(sanitised(format));
    g.manualScratch.assign(static_cast<size_t>(maximumFrameCount) * g.format.channelCount, 0.0f);
    return true;
}

AudioFormat AudioEngine::manualRenderingFormat() const {
    return graph_->format;
}

int64_t AudioEngine::manualRenderingSampleTime() const {
    return graph_->manualSampleTime;
}

AudioEngine::RenderStatus AudioEngine::renderOffline(uint32_t frames, AudioPcmBuffer& buffer,
                                                     std::string* error) {
    Graph& g = *graph_;
    if (!g.manual || !g.running) {
        if (error) {
            *error = "The engine is not rendering offline";
        }
        return RenderStatus::error;
    }
    if (buffer.channelCount() != g.format.channelCount) {
        if (error) {
            *error = "The buffer's channel count differs from the rendering format";
        }
        return RenderStatus::error;
    }
    const auto count = static_cast<uint32_t>(
        std::min<int64_t>({static_cast<int64_t>(frames),
                           static_cast<int64_t>(g.manualMaximumFrames), buffer.frameCapacity()}));
    Graph::render(&g, g.manualScratch.data(), count);
    const uint32_t channels = g.format.channelCount;
    for (uint32_t c = 0; c < channels; ++c) {
        float* destination = buffer.channelData(c);
        for (uint32_t k = 0; k < count; ++k) {
            destination[k] = g.manualScratch[static_cast<size_t>(k) * channels + c];
        }
    }
    buffer.setFrameLength(count);
    g.manualSampleTime += count;
    return RenderStatus::success;
}

} // namespace tindrel::platform
