#pragma once

// Where the engine's mixed audio goes. The engine hands start() a plain function pointer and
// a context; the output calls it from its own real-time thread (or, for ManualOutput, from
// the thread that calls pump()) to fill interleaved float frames. The render function never
// allocates, locks or does I/O. It returns false when it rendered silence and will render
// nothing else until wake() (the player is paused or stopped): an output that need not keep
// a device fed may then rest instead of pulling silence.

#include <cstdint>
#include <memory>

namespace tindrel::platform {

class AudioOutput {
public:
    using RenderFunction = bool (*)(void* context, float* interleaved, uint32_t frames);

    virtual ~AudioOutput() = default;
    // Starts pulling audio at the given format. False when the device cannot be opened.
    virtual bool start(double sampleRate, uint32_t channels, RenderFunction render,
                       void* context) = 0;
    // Stops pulling; when it returns, the render function is no longer running.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
    // False for an output that renders only when driven (tests): the engine then waits for
    // its streaming thread instead of playing silence when data is late.
    virtual bool isRealTime() const { return true; }
    // The source has something to render again. For the owning thread; never blocks for long.
    virtual void wake() {}
};

// The default device through PortAudio; when no device opens, a silent output paced by a
// real-time clock, so playback, the playhead and the meters behave the same without sound.
std::unique_ptr<AudioOutput> makeDefaultAudioOutput();

} // namespace tindrel::platform
