#include "Tindrel/platform/audio/engine/AudioEngine.h"

#include "Tindrel/platform/audio/SupportedSampleRates.h"
#include "Tindrel/platform/audio/engine/MainMixerNode.h"
#include "Tindrel/platform/audio/engine/RubberBandTimePitch.h"
#include "Tindrel/platform/audio/engine/StreamingPlayerNode.h"

#include <algorithm>
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

} // namespace

struct AudioEngine::Graph {
    explicit Graph(OutputFactory factory) : makeOutput(std::move(factory)) {
        configure(format);
        player.setRenderWaker([this] {
            if (output) {
                output->wake();
            }
        });
    }

    ~Graph() {
        if (output) {
            output->stop();
        }
    }

    void configure(const AudioFormat& newFormat) {
        format = newFormat;
        chain.assign(format.channelCount, std::vector<float>(RubberBandTimePitch::maximumBlock));
        chainPointers.resize(format.channelCount);
        offsetPointers.resize(format.channelCount);
        for (uint32_t c = 0; c < format.channelCount; ++c) {
            chainPointers[c] = chain[c].data();
        }
        player.configure(format.channelCount);
        timePitch.configure(format.sampleRate, format.channelCount);
        mixer.configure(format.sampleRate, format.channelCount);
    }

    // False when every block was silence from a paused or stopped player.
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
        bool playing = false;
        size_t produced = 0;
        while (produced < frames) {
            // The frames that join a seek play out before another segment may start.
            const size_t held = timePitch.framesBeforeNewSegment();
            const StreamingPlayerNode::Cue cue = player.beginRender(held == 0);
            if (cue.newSegment) {
                timePitch.restart(cue.seek, cue.preRoll);
            }
            if (!cue.playing) {
                break;
            }
            playing = true;
            const size_t wanted =
                held > 0 ? std::min<size_t>(held, frames - produced) : frames - produced;
            for (uint32_t c = 0; c < format.channelCount; ++c) {
                offsetPointers[c] = chain[c].data() + produced;
            }
            const size_t got = timePitch.render(offsetPointers.data(), wanted, player);
            produced += got;
            if (const std::optional<int64_t> heard = timePitch.heardFrames()) {
                player.publishHeard(*heard);
            }
            if (got < wanted || held == 0) {
                break;
            }
        }
        for (auto& channel : chain) {
            std::fill(channel.begin() + static_cast<std::ptrdiff_t>(produced),
                      channel.begin() + frames, 0.0f);
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
        player.setBlocking(!output->isRealTime());
        if (!output->start(format.sampleRate, format.channelCount, &Graph::render, this)) {
            if (error) {
                *error = "The audio output could not be started";
            }
            return false;
        }
        return true;
    }

    OutputFactory makeOutput;
    std::unique_ptr<AudioOutput> output;
    AudioFormat format{44100, 2};
    StreamingPlayerNode player;
    RubberBandTimePitch timePitch;
    MainMixerNode mixer;
    std::vector<std::vector<float>> chain;
    std::vector<float*> chainPointers;
    std::vector<float*> offsetPointers;
    bool running = false;
    bool manual = false;
    uint32_t manualMaximumFrames = 0;
    int64_t manualSampleTime = 0;
    std::vector<float> manualScratch;
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
        g.player.setBlocking(true);
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
