#include "Tindrel/platform/audio/engine/DefaultAudioOutput.h"

namespace tindrel::platform {

bool DefaultAudioOutput::start(double sampleRate, uint32_t channels, RenderFunction render,
                               void* context) {
    stop();
    if (device_.start(sampleRate, channels, render, context)) {
        active_ = &device_;
    } else if (silent_.start(sampleRate, channels, render, context)) {
        active_ = &silent_;
    }
    return active_ != nullptr;
}

void DefaultAudioOutput::stop() {
    if (active_ != nullptr) {
        active_->stop();
        active_ = nullptr;
    }
}

bool DefaultAudioOutput::isRunning() const {
    return active_ != nullptr && active_->isRunning();
}

void DefaultAudioOutput::wake() {
    if (active_ != nullptr) {
        active_->wake();
    }
}

std::unique_ptr<AudioOutput> makeDefaultAudioOutput() {
    return std::make_unique<DefaultAudioOutput>();
}

} // namespace tindrel::platform
