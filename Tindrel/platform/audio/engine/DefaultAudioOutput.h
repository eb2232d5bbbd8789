#pragma once

// The output the engine uses unless told otherwise: the default device, and when none opens
// (no sound card, as on CI) a SilentPacedOutput, so everything above behaves the same.
// start(), stop() and wake() are for the owning thread.

#include "Tindrel/platform/audio/engine/PortAudioOutput.h"
#include "Tindrel/platform/audio/engine/SilentPacedOutput.h"

namespace tindrel::platform {

class DefaultAudioOutput final : public AudioOutput {
public:
    bool start(double sampleRate, uint32_t channels, RenderFunction render, void* context) override;
    void stop() override;
    bool isRunning() const override;
    void wake() override;

private:
    PortAudioOutput device_;
    SilentPacedOutput silent_;
    AudioOutput* active_ = nullptr;
};

} // namespace tindrel::platform
