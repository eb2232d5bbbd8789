#include "Tindrel/platform/audio/engine/ManualOutput.h"

#include <algorithm>

namespace tindrel::platform {

namespace {

constexpr uint32_t pumpBlock = 512;

} // namespace

bool ManualOutput::start(double sampleRate, uint32_t channels, RenderFunction render,
                         void* context) {
    render_ = render;
    context_ = context;
    sampleRate_ = sampleRate;
    channels_ = channels;
    running_ = render != nullptr && channels > 0;
    return running_;
}

void ManualOutput::stop() {
    running_ = false;
}

bool ManualOutput::isRunning() const {
    return running_;
}

void ManualOutput::pump(uint32_t frames) {
    if (!running_) {
        return;
    }
    lastPumped_.assign(static_cast<size_t>(frames) * channels_, 0.0f);
    for (uint32_t done = 0; done < frames;) {
        const uint32_t block = std::min(pumpBlock, frames - done);
        render_(context_, lastPumped_.data() + static_cast<size_t>(done) * channels_, block);
        done += block;
    }
}

const std::vector<float>& ManualOutput::lastPumped() const {
    return lastPumped_;
}

double ManualOutput::sampleRate() const {
    return sampleRate_;
}

uint32_t ManualOutput::channels() const {
    return channels_;
}

} // namespace tindrel::platform
