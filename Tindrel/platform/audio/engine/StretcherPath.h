#pragma once

// A Rubber Band stretcher as a processing path of the time-pitch unit, able to make every
// setting of the unit (0.25x to 4x, -24 to +24 st) at the pitch asked for.
//
// Rubber Band's finer engine (R3) reads outside its buffers and turns to NaN where the time
// ratio times the pitch scale falls below 1/8: faster than 2x at the deepest pitches (3x below
// -17 st, 4x below -12 st). A path built on R3 therefore plays exactly those settings through
// the faster engine (R2, see fasterEngineOptions()): a sine keeps its pitch within a fraction
// of a cent and its level within 0.2 dB once settled. A path built on R2 with crisp transients
// does the same a little above that bound, where those transients come late (engineCanMake()):
// a hit's energy there comes within about 10 ms of when it is due. Two R3 stretchers in series, a
// time stage and a pitch stage each within the bound, were no cleaner than R3 alone and cost twice
// the work and latency.
//
// R2 only sounds right at the ratios it was started with there: moved while playing (4x from
// -13 to -24 st) its level wandered by 10 dB and more (4 dB with independent phases). So a faster
// engine keeps the ratios it started with, and a change of them starts the path's second faster
// engine at the new ones once they have held for 40 ms (a slider being dragged moves in steps); R3
// follows changes itself. Every change of engine starts the new one 20 ms (R3) or 100 ms (R2) of
// output before the heard position (dropping those frames, past the sag of its first ones: R2 at 4x
// and -24 st still swells by 1.5 dB over its first 300 ms), primed from the input before that, and
// joins the two as a seek is (SeekCrossfade.h): lined up, at equal gain where alike and equal power
// where not. The frames of the join count in heard() once they have left.
//
// A start on the faster engine (a seek's, a wrap's) is heard from its first frames, so it plays
// 300 ms of output first, from the input the player delivers before the new place, as far as
// the window holds it: started at the place itself, a tone came in 6 dB low at 4x and -24 st
// and swelled 1.5 dB high over the next 300 ms.
//
// The constructor allocates (main thread; it builds the two faster engines side by side, one on
// a thread of its own). start() and render() run on the render thread and do not allocate except
// inside Rubber Band (see StretcherEngine.h).

#include "Tindrel/platform/audio/engine/SeekCrossfade.h"
#include "Tindrel/platform/audio/engine/SourceWindow.h"
#include "Tindrel/platform/audio/engine/StretcherEngine.h"

#include <rubberband/RubberBandStretcher.h>

#include <array>
#include <cstdint>
#include <memory>
#include <utility>

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
    // The engine that should play at these ratios: the playing one where it can.
    StretcherEngine* engineFor(double rate, double pitchScale);
    bool isFaster(const StretcherEngine* engine) const;
    // Fills the join with the incoming engine's output and the playing one's next frames, then
    // hands over; false while the incoming engine's input is late.
    bool join(double rate, double pitchScale, SourceWindow& window, SampleSource& source);
    // The ratios `engine` is to render at: a faster engine keeps those it started with, the
    // configured one those it had where it cannot make the new ones.
    std::pair<double, double> ratiosFor(const StretcherEngine& engine, double rate,
                                        double pitchScale) const;

    RubberBand::RubberBandStretcher::Options options_;
    StretcherEngine configured_;
    // Only beside an engine with a bound: one plays, the other takes over at new ratios.
    std::array<std::unique_ptr<StretcherEngine>, 2> faster_;
    StretcherEngine* playing_ = &configured_;
    StretcherEngine* incoming_ = nullptr; // while a join is collected
    SeekCrossfade joint_;
    size_t finerLeadFrames_;
    size_t fasterLeadFrames_;
    size_t fasterStartLeadFrames_;
    size_t holdFrames_; // how long new ratios hold before a faster engine is started at them
    double heldRate_ = 0;
    double heldPitchScale_ = 0;
    size_t heldFor_ = 0;
};

} // namespace tindrel::platform
