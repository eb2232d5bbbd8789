#include "bench/startup/FirstFrameOutput.h"

#include <chrono>

namespace tindrel::bench {

FirstFrameOutput::FirstFrameOutput(std::atomic<int64_t>& firstFrameNs)
    : inner_(platform::makeDefaultAudioOutput()), firstFrameNs_(firstFrameNs) {}

bool FirstFrameOutput::start(double sampleRate, uint32_t channels, RenderFunction render,
                             void* context) {
    render_ = render;
    context_ = context;
    channels_ = channels;
    return inner_->start(sampleRate, channels, &FirstFrameOutput::renderAndWatch, this);
}

void FirstFrameOutput::stop() {
    inner_->stop();
}

bool FirstFrameOutput::isRunning() const {
    return inner_->isRunning();
}

void FirstFrameOutput::wake() {
    inner_->wake();
}

bool FirstFrameOutput::renderAndWatch(void* self, float* interleaved, uint32_t frames) {
    auto& output = *static_cast<FirstFrameOutput*>(self);
    const bool playing = output.render_(output.context_, interleaved, frames);
    if (output.firstFrameNs_.load(std::memory_order_relaxed) != 0)
        return playing;
    for (uint32_t i = 0; i < frames * output.channels_; ++i) {
        if (interleaved[i] != 0.0f) {
            output.firstFrameNs_.store(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                           std::chrono::steady_clock::now().time_since_epoch())
                                           .count());
            return playing;
        }
    }
    return playing;
}

} // namespace tindrel::bench
