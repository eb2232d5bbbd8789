#pragma once

// The beats path against the musical one over a grid of speeds and pitches, shared by the beats
// tests and the warp-sound benchmark: the deepest dip of held pad notes under drum hits, the
// level of a dense mix, and what each block and each start of the beats path costs.

#include "tests/platform/engine/BeatsSoundMeasures.h"

#include <vector>

namespace tindrel::test {

struct GridSetting {
    double rate;
    double semitones;
};

struct GridPad {
    std::vector<PadNote> notes;
    unsigned drumSeed;
};

struct BeatsGridMeasure {
    GridSetting setting;
    double beatsDipDb = 0; // the deepest of any pad's notes
    double musicalDipDb = 0;
    // The median over every pad's hits of the deepest dip of its notes near each: what hits do
    // to held notes as a rule, apart from the rare hit whose own sound in a note's band adds
    // against it.
    double beatsHitDipMedianDb = 0;
    double musicalHitDipMedianDb = 0;
    // The pads without their drums through each path: what its stretchers dip held notes by
    // with no hit anywhere.
    double padAloneDipDb = 0; // musical
    double beatsPadAloneDipDb = 0;
    double levelAgainstMusicalDb = 0; // a dense mix through beats against through musical
    double beatsLevelDb = 0;          // the mix through beats against the source
    double musicalLevelDb = 0;
    std::vector<double> blockSeconds; // thread CPU of each beats block past the first 0.5 s
    double startSeconds = 0;          // thread CPU of the beats path's start and first block
};

// Plays `seconds` of each pad, in stereo, through both paths at every setting, in `block`-frame
// blocks, on `threads` threads; when `withReferences`, also a dense mix through both and the pads
// alone through the musical path.
std::vector<BeatsGridMeasure> measureBeatsGrid(const std::vector<GridSetting>& settings,
                                               const std::vector<GridPad>& pads, double seconds,
                                               bool withReferences, double sampleRate, size_t block,
                                               int threads);

// Two and three held notes at different pitches and levels, low and high, each pad under its
// own drums.
std::vector<GridPad> heldPads();

} // namespace tindrel::test
