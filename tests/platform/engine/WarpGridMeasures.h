#pragma once

// Measurements over the whole grid of warp settings, shared by the engine tests and the
// warp-sound benchmark: the pitch of a 1 kHz sine rendered live and offline at every speed and
// pitch of a mode, and the level of a held tone where a range that alone is warped begins and
// ends.

#include "tests/platform/engine/WarpSoundMeasures.h"

#include <cstdint>
#include <vector>

namespace tindrel::test {

// The frequency of a steady tone over [begin, begin + count), from its first and last upward
// zero crossings (interpolated) and the crossings between: exact to a small fraction of a cent
// over a few dozen periods, and blind to level.
double zeroCrossingFrequency(const std::vector<float>& x, size_t begin, size_t count,
                             double sampleRate);

// Overlap 12 and 3.5 at every speed {0.25, 0.5, 1, 2, 3, 4} and pitch {-24, -12, -5, 0, +5,
// +12, +24} st; overlap 8 (tape) at every speed, its pitch following the speed.
std::vector<WarpMode> cornerGrid();
// The pitch scale a setting should sound at.
double expectedPitchScale(const WarpMode& mode);

struct PitchMeasure {
    double liveCents = 0;     // the played pitch against the expected one
    double exportedCents = 0; // the same, rendered offline as an export is
    bool finite = true;       // no NaN or infinity came out of either
};
// Plays and exports a 1 kHz sine (44.1 kHz) from 0.5 s in, in each mode of `modes`.
std::vector<PitchMeasure> measureCornerPitches(const std::vector<WarpMode>& modes);

// Plays a held 1 kHz sine at -6 dBFS neutral, then in `mode`, then neutral again, the setting
// changed while playing as a range that alone is warped does at its edges. The change is how
// far the 2 ms level around an edge leaves the band of the steady levels on both sides of it,
// in dB (0 when it stays within).
struct EdgeChange {
    double enteringDb = 0;
    double leavingDb = 0;
};
EdgeChange measureRangeEdges(const WarpMode& mode);

} // namespace tindrel::test
