#pragma once

// A Rubber Band stretcher as a processing path of the time-pitch unit, able to make every
// setting of the unit (0.25x to 4x, -24 to +24 st) at the pitch asked for.
//
// Rubber Band's finer engine (R3) reads outside its buffers and turns to NaN where the time
// ratio times the pitch scale falls below 1/8: faster than 2x at the deepest pitches (3x below
// -17 st, 4x below -12 st). A path built on R3 therefore keeps a second stretcher on the faster
// engine (R2, with the same window and smooth transients, which keep held notes whole) and
// plays through it exactly there; R2 takes those settings cleanly (a sine keeps its pitch
// within a fraction of a cent, THD+N about -61 dB at 4x and -24 st). Two R3 stretchers in
// series, a time stage and a pitch stage each within the bound, were as clean as R3 alone but
// cost twice the work and latency. When a change of rate or pitch crosses that bound while
// playing, the other engine starts at the heard position, primed from the input before it, and
// the two are joined as a seek is (SeekCrossfade.h): lined up, at equal gain where alike and
// equal power where not. The frames of the join count in heard() once they have left.
//
// The constructor allocates (main thread). start() and render() run on the render thread and
// do not allocate except inside Rubber Band (see StretcherEngine.h).

#include "Tindrel/platform/audio/engine/SeekCrossfade.h"
#include "Tindrel/platform/audio/engine/SourceWindow.h"
#include "Tindrel/platform/audio/engine/StretcherEngine.h"

#include <rubberband/RubberBandStretcher.h>

#include <cstdint>
#include <memory>

namespace tindrel::platform {

class StretcherPath {
public:
    StretcherPath(double sampleRate, uint32_t channelCount,
                  RubberBand::RubberBandStretcher::Options options);

    void start(int64_t index, double rate, double pitchScale, SourceWindow& window,
               SampleSource& source);
    // Renders up to `frames` frames to `out[c] + offset`; fewer only when the input is late.
    size_t render(float* const* out, size_t offset, size_t frames, double rate, double pitchScale,
                  SourceWindow& window, SampleSource& source);
    // Source frames heard since start(), fractional.
    double heard() const;
    // True once the frames leaving are made at the latest rate.
    bool rateSettled() const;

private:
    StretcherEngine& engineFor(double rate, double pitchScale);
    // Fills the join with the incoming engine's output and the playing one's next frames, then
    // hands over; false while the incoming engine's input is late.
    bool join(double rate, double pitchScale, SourceWindow& window, SampleSource& source);

    StretcherEngine configured_;
    std::unique_ptr<StretcherEngine> faster_; // only beside a finer engine
    StretcherEngine* playing_ = &configured_;
    StretcherEngine* incoming_ = nullptr; // while a join is collected
    SeekCrossfade joint_;
};

} // namespace tindrel::platform
