#pragma once

// The beats character against the musical one over the whole grid of speeds and pitches, at
// 48 kHz in stereo and in blocks of 256 frames: how deep held notes dip under hits, the level of
// a dense mix, and what a block and a start (a seek) of the beats path cost.

#include "bench/warp_sound/BeatsSoundFigures.h"

void printBeatsGridFigures(FigurePrinter print);
