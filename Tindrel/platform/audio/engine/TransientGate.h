#pragma once

// Finds percussive onsets in the input ahead of what is heard and says, for each output frame,
// how much of the beats path's transient stretcher to hear rather than its sustained one: all
// of it from 50 ms before a hit (where the sustained stretcher's pre-echo would start) to
// 60 ms after, in input time when slowed down and in output time when sped up, with 5 ms
// ramps in between.
//
// An onset is a 3 ms frame whose high-passed energy (first difference, channels summed) rises
// 9 dB above the loudest of the 23 ms before it and above -60 dBFS. Only input already in the
// window is scanned, so a late source delays a detection rather than blocking.
//
// Allocates only in its constructor; render thread only.

#include "Tindrel/platform/audio/engine/SourceWindow.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tindrel::platform {

class TransientGate {
public:
    explicit TransientGate(double sampleRate);

    // Scanning starts at input index `index`; no onset is known.
    void start(int64_t index);
    // Scans what the window holds, then writes the transient share (0 to 1) of `frames` output
    // frames whose input positions start at `position` and advance by `rate`.
    void shares(float* share, size_t frames, double position, double rate,
                const SourceWindow& window);

    // True when no transient is heard now nor over input positions [from, to].
    bool idle(double from, double to, double rate, const SourceWindow& window);

private:
    void scan(const SourceWindow& window);
    bool nearOnset(double from, double to, double rate) const;

    double sampleRate_;
    int64_t frameLength_;
    std::vector<double> history_; // energies of the frames before the one scanned next
    size_t historyNext_ = 0;
    int64_t scanned_ = 0;      // the next input index to scan
    size_t unheardFrames_ = 0; // frames to scan into the history before judging any
    std::array<int64_t, 32> onsets_{};
    size_t onsetCount_ = 0; // onsets_ holds the last min(onsetCount_, size) of them
    float share_ = 0;
};

} // namespace tindrel::platform
