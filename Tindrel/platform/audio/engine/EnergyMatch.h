#pragma once

// Keeps the energy of the beats path's hits through their stretcher. A phase vocoder adds the
// overlapping frames of a noisy burst with unrelated phases, so a drum hit comes out 2 to 3 dB
// weaker from R2's crisp setting (a held tone, whose frames add in phase, does not). The gain
// is the square root of the energy heard going in (per output frame: the input's, divided by
// the rate) over the energy that came out, both leaking away over a few seconds (so that it
// follows the mix, not each hit, whose losses differ), and held between 0 and +6 dB.
//
// No allocation; render thread only.

#include <cstddef>
#include <cstdint>
#include <limits>

namespace tindrel::platform {

class EnergyMatch {
public:
    // The gain moves by at most `glideDbPerSecond` (unbounded: straight to each block's target).
    explicit EnergyMatch(double sampleRate,
                         double glideDbPerSecond = std::numeric_limits<double>::infinity());

    // Unity gain, nothing measured.
    void reset();
    // The energy of the input frames just heard, divided by the rate.
    void addInput(double energy) { input_ += energy; }
    // Measures `count` output frames, then scales them by the gain, gliding to it from the
    // last block's.
    void apply(float* const* frames, uint32_t channelCount, size_t count);

private:
    double sampleRate_;
    double glideDbPerSecond_;
    double input_ = 0;
    double output_ = 0;
    float gain_ = 1;
};

} // namespace tindrel::platform
