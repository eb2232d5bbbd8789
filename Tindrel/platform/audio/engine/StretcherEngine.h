#pragma once

// One Rubber Band stretcher in real-time mode fed from the unit's input window: the engine
// beneath a StretcherPath (StretcherPath.h). start() resets it and primes it with the stretcher's
// preferred pad of input from before the start index; the first getStartDelay() output frames are
// dropped, so its output is aligned with the source. The heard position advances by the rate that
// made each output frame: a rate change counts from one start delay after the frames the stretcher
// had made by then. Measured against a tone onset this holds the playhead within 10 ms of what is
// heard after ordinary changes; a jump across the whole range (0.25x to 4x) in R2 can leave it up
// to 80 ms off until the next seek.
//
// The constructor allocates (main thread) and runs the stretcher once at a pitch shift so
// that Rubber Band sizes its buffers there. start() and render() run on the engine's
// render-ahead thread, never the device's: Rubber Band allocates there when it meets a new ratio
// and after a reset, and a start of the finer engine builds its stretcher anew (its reset keeps
// part of what it played), about 4 ms. So a start's output depends on the input and the ratios
// alone. The end of the input is never flushed with a final block (that takes ~20 ms): past the
// segment the player delivers silence, which pushes the tail out.

#include "Tindrel/platform/audio/engine/SourceWindow.h"

#include <rubberband/RubberBandStretcher.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace tindrel::platform {

class StretcherEngine {
public:
    // `delayShare`: the share of Rubber Band's reported start delay that it really has (see
    // StretcherPath.h for the one engine that reports more).
    StretcherEngine(double sampleRate, uint32_t channelCount,
                    RubberBand::RubberBandStretcher::Options options, double delayShare = 1);

    void start(int64_t index, double rate, double pitchScale, SourceWindow& window,
               SampleSource& source);
    // As start(), but from `leadFrames` output frames before `index` (as far as the window
    // holds), what comes before `index` dropped: past the sag of a stretcher's first frames.
    void startAhead(int64_t index, size_t leadFrames, double rate, double pitchScale,
                    SourceWindow& window, SampleSource& source);
    // Renders up to `frames` frames to `out[c] + offset`; fewer only when the input is late.
    size_t render(float* const* out, size_t offset, size_t frames, double rate, double pitchScale,
                  SourceWindow& window, SampleSource& source);
    double heard() const { return heard_; }
    // True once the frames leaving are made at the latest rate.
    bool rateSettled() const { return !rateChangePending_; }
    // The ratios it was last given.
    double rate() const { return rate_; }
    double pitchScale() const { return pitchScale_; }

private:
    void build();
    void warmUp();
    void setRatios(double rate, double pitchScale);
    void countHeard(size_t frames);

    size_t startDelay() const;

    double sampleRate_;
    RubberBand::RubberBandStretcher::Options options_;
    std::unique_ptr<RubberBand::RubberBandStretcher> stretcher_;
    bool used_ = false; // processed audio since it was built
    double delayShare_;
    std::vector<std::vector<float>> scratch_;
    std::vector<float*> scratchPointers_;
    std::vector<float*> outPointers_;
    std::vector<const float*> inPointers_;
    int64_t fed_ = 0;    // next input index to feed
    size_t discard_ = 0; // output frames still to drop after priming
    double heard_ = 0;
    double rate_ = 1;
    double pitchScale_ = 1;
    double heardRate_ = 1; // the rate of the frames leaving now
    bool rateChangePending_ = false;
    double pendingRate_ = 1;
    uint64_t pendingAt_ = 0; // output count from which pendingRate_ applies
    uint64_t outputCount_ = 0;
};

} // namespace tindrel::platform
