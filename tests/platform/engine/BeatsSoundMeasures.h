#pragma once

// What the beats character does to held sound around drum hits, shared by the beats tests and
// the warp-sound benchmark: the dip of a held tone under hits (read through a narrow band at the
// tone, so the hits themselves do not count), and the level of a synthesized band (pad chords,
// bass, kick, snare, hats) against its source, frame by frame.

#include "tests/support/GeneratedAudio.h"

#include <cstddef>
#include <vector>

namespace tindrel::test {

constexpr double hitSpacingSeconds = 0.25;

// A 1 kHz sine at -12 dBFS with a hat-like hit (high-passed noise, 20 ms decay, -6 dBFS peak)
// every 250 ms from 0.25 s.
Signal toneUnderHitsSignal(double seconds);

struct HitDips {
    double medianDb = 0; // the median over the hits of the deepest dip near each
    double worstDb = 0;
};
// The tone's level (10 ms windows at `toneHz`) from 60 ms before to 90 ms after each hit heard
// (source time / rate) in [fromSeconds, out end), against its median level, in dB (<= 0).
HitDips hitDips(const std::vector<float>& out, double rate, double toneHz, double fromSeconds,
                double sampleRate);

struct PadNote {
    double hz;
    double amplitude;
};
// `notes` held throughout, faded in over 50 ms.
Signal padSignal(const std::vector<PadNote>& notes, double seconds, double sampleRate,
                 int channels);
// The same pad under kicks, snares and hats whose spacing
// (62.5 to 375 ms) and loudness (x0.5 to x2) vary; deterministic for a seed.
Signal padUnderDrumsSignal(const std::vector<PadNote>& notes, double seconds, double sampleRate,
                           int channels, unsigned seed);
// The deepest level of any of `notes` (at `pitchScale`) in `out` from `fromSeconds`, against
// that note's median level, in dB (<= 0). Each note is read through a Blackman-Harris window of
// 10 ms, longer where another note or a drum's tone lies closer than 400 Hz, stepped by 1 ms.
double worstNoteDipDb(const std::vector<float>& out, const std::vector<PadNote>& notes,
                      double pitchScale, double fromSeconds, double sampleRate);
// The source times of the drum hits padUnderDrumsSignal() adds for `seed`.
std::vector<double> padDrumSeconds(double seconds, unsigned seed);
// For each of `hitSeconds` heard (source time / rate) in `out` from `fromSeconds`, the deepest
// level of any of `notes` from 10 ms before it to 100 ms after, read as worstNoteDipDb() does.
std::vector<double> noteDipsAtHitsDb(const std::vector<float>& out,
                                     const std::vector<PadNote>& notes, double pitchScale,
                                     const std::vector<double>& hitSeconds, double rate,
                                     double fromSeconds, double sampleRate);

// A band at 120 bpm: bright sustained pad chords and bass under kick and snare on alternate
// beats and hats on every eighth; deterministic. At `drumGain` 1 the pads and bass cover most
// of the drums' level, as in a dense mix; at 3 the drums stand out.
constexpr double loudDrums = 3.0;
Signal drumMixSignal(double seconds, double drumGain = 1.0, double sampleRate = 44100);
// The source times of its drum hits.
std::vector<double> drumMixHitSeconds(double seconds);

struct LevelAgainstSource {
    double changeDb = 0;       // output RMS against the source's over the same music
    double shareFramesLow = 0; // share of 10 ms frames more than 6 dB below the source's
};
// `out` plays channel 0 of `source` at `rate` from its start; compared from `fromSeconds`.
LevelAgainstSource levelAgainstSource(const Signal& source, const std::vector<float>& out,
                                      double rate, double fromSeconds);

// Channel 0 of both parts the beats path splits `signal` into, up to 0.25 s before its end
// (past which the split, reading ahead, would meet the signal's abrupt end as a hit).
struct SplitParts {
    std::vector<float> held;
    std::vector<float> hits;
    size_t hitsFound = 0;
};
SplitParts splitAsBeatsDoes(const Signal& signal);

} // namespace tindrel::test
