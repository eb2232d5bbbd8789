#pragma once

// The beats character's processing path: two Rubber Band stretchers on the same input, one
// that keeps sustained notes clean (the R3 engine) and one with tight transients (R2 with
// crisp phase resets, which smears a held tone into distortion and level dips), mixed frame by
// frame by a TransientGate so that hits come through the second and everything else through
// the first. Both start aligned with the source (StretcherPath.h), so the mix needs no delay;
// after a change of rate, which each engine takes up with its own latency, the transient one
// starts again at the sustained one's place once the sustained one plays the new rate and no
// hit is near, so they agree again.
//
// Same contract as StretcherPath: allocates in its constructor; start() and render() are for
// the render thread.

#include "Tindrel/platform/audio/engine/StretcherPath.h"
#include "Tindrel/platform/audio/engine/TransientGate.h"

#include <cstdint>
#include <vector>

namespace tindrel::platform {

class BeatsPath {
public:
    static constexpr size_t maximumBlock = 1024;

    BeatsPath(double sampleRate, uint32_t channelCount);

    void start(int64_t index, double rate, double pitchScale, SourceWindow& window,
               SampleSource& source);
    // Renders up to `frames` (at most maximumBlock) frames to `out[c] + offset`; fewer only
    // when the input is late.
    size_t render(float* const* out, size_t offset, size_t frames, double rate, double pitchScale,
                  SourceWindow& window, SampleSource& source);
    // Source frames heard: those of the frames that have left this path.
    double heard() const;

private:
    // Output made by one stretcher and not yet mixed (when the other one's input was late).
    struct Queue {
        Queue(uint32_t channelCount);
        size_t fill(StretcherPath& path, size_t frames, double rate, double pitchScale,
                    SourceWindow& window, SampleSource& source);
        void drop(size_t frames);
        std::vector<std::vector<float>> frames;
        std::vector<float*> tail;
        size_t held = 0;
    };

    StretcherPath sustained_;
    StretcherPath transient_;
    TransientGate gate_;
    Queue sustainedQueue_;
    Queue transientQueue_;
    std::vector<float> share_;
    double rate_ = 1;
    bool realign_ = false;
};

} // namespace tindrel::platform
