#pragma once

// Which processing path a setting of the time-pitch unit calls for, and the stretcher
// options of each path.
//
// - neutral (rate 1, pitch 0, any overlap) and tape (overlap 8 with the pitch tied to the rate,
//   cents = 1200 log2 rate) play through the varispeed: an exact copy at neutral, a plain
//   resampler otherwise; no phase vocoder, so no phasing and almost no CPU.
// - overlap from 6 up ("musical", 12): the R3 engine, the one that keeps harmonic material
//   smooth; it costs about three times the R2 engine.
// - overlap below 6 ("beats", 3.5): the input split into its hits and everything else
//   (BeatsPath.h); the hits through the R2 engine with a short window, phase resets at the
//   onsets and independent phases, for tight drum transients; everything else, held notes under
//   the hits too, through the R3 engine, which keeps them clean where R2's resets would break
//   them up.

#include <rubberband/RubberBandStretcher.h>

namespace tindrel::platform {

enum class WarpPath { varispeed, smoothStretcher, crispStretcher };

struct WarpSetting {
    double rate = 1;       // 0.25 to 4
    double pitchScale = 1; // 0.25 to 4
    WarpPath path = WarpPath::varispeed;
};

// Clamps and classifies; NaN and infinities fall back to neutral values.
WarpSetting warpSettingFor(float overlap, float rate, float cents);

// The smooth path's stretcher, or the beats path's one for transients.
RubberBand::RubberBandStretcher::Options stretcherOptions(WarpPath path);

// Whether a stretcher made with `options` plays a setting as asked. Rubber Band's finer engine
// reads outside its buffers (its output turns to NaN) where the time ratio times the pitch
// scale falls below 1/8. The faster one with crisp transients plays the frames of a hit at
// the input's speed and catches up after, so what follows a hit comes late: 10 ms where that
// product is 0.15 and up to 80 ms where its window grows (below about 0.14), the hit 20 dB
// down; above 0.15 it is on time.
bool engineCanMake(RubberBand::RubberBandStretcher::Options options, double rate,
                   double pitchScale);
// How much earlier than its reported position a change in the input is heard through `path`
// at `rate`, in seconds of output. The finer engine's long windows reach ahead of that
// position at slow speeds: a tone that starts there comes in about 19 ms early at 0.25x, 4 ms
// at 0.5x and 1 ms at 0.75x (measured on Rubber Band 3.1); none from 1x up, nor elsewhere.
double earlyHearingSeconds(WarpPath path, double rate);
// Whether some setting is beyond a stretcher made with `options`.
bool engineHasBound(RubberBand::RubberBandStretcher::Options options);
// The faster engine standing in where a stretcher cannot make a setting: the same window and
// channel handling, smooth transients (its phase resets would break up held notes, and a
// hit's frames would go at the input's speed) and independent phases (with laminar ones a held
// tone at 4x and -24 st came out 8 dB low or not, by where it started).
RubberBand::RubberBandStretcher::Options
fasterEngineOptions(RubberBand::RubberBandStretcher::Options options);

} // namespace tindrel::platform
