#pragma once

// The beats and the musical processing paths played straight from a signal, in fixed blocks as
// a deck plays them, with the thread CPU time of each block: for the beats tests and the
// warp-sound benchmark, which compare the two over a grid of settings.

#include "tests/support/GeneratedAudio.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace tindrel::test {

enum class WarpPathKind { beats, musical };

struct PathRender {
    std::vector<float> out;           // channel 0; short when the path stalled
    std::vector<double> blockSeconds; // thread CPU time of each render call
    double startSeconds = 0;          // thread CPU time of the start and first block (a seek)
};

// Built once per sample rate and channel count (the stretchers take a while to build) and
// started again for each render.
class WarpPathPlayer {
public:
    WarpPathPlayer(double sampleRate, int channels);
    ~WarpPathPlayer();
    PathRender render(const Signal& signal, WarpPathKind path, double rate, double pitchScale,
                      size_t frames, size_t block);

private:
    struct Paths;
    std::unique_ptr<Paths> paths_;
};

} // namespace tindrel::test
