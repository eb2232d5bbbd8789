#pragma once

// Tape-style varispeed: reads the source at `rate` frames per output frame through a
// windowed-sinc interpolator whose cutoff follows the rate, so pitch moves with speed and
// nothing is smeared. At rate 1 on a whole frame it copies the input untouched, which makes it
// the neutral path too. Rate changes ramp across one block. Allocates only in its constructor
// (its kernel table); start() and render() are for the render thread.

#include "Tindrel/platform/audio/engine/SourceWindow.h"
#include "Tindrel/platform/audio/engine/WindowedSincKernel.h"

#include <cstdint>

namespace tindrel::platform {

class VarispeedPath {
public:
    // Half-width of the interpolation kernel at full bandwidth, in input frames.
    static constexpr int zeroCrossings = 12;

    void start(double position, double rate);
    // Renders `frames` frames to `out[c] + offset`, or none when the input is late.
    size_t render(float* const* out, size_t offset, size_t frames, double targetRate,
                  SourceWindow& window, SampleSource& source);
    // The input index of the next output frame: what has been heard.
    double position() const { return position_; }

private:
    WindowedSincKernel kernel_{zeroCrossings};
    double position_ = 0;
    double rate_ = 1;
};

} // namespace tindrel::platform
