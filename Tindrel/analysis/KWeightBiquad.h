#pragma once

// One second-order IIR section in single precision (transposed direct form II), with the two
// sections of the K-weighting curve designed for any sample rate. A plain value: each copy
// holds its own state, so each channel needs its own. process() allocates nothing and is
// real-time safe. Built without fused multiply-add so results match on every machine.

namespace tindrel {

struct KWeightBiquad {
    float b0 = 0;
    float b1 = 0;
    float b2 = 0;
    float a1 = 0;
    float a2 = 0;
    float z1 = 0;
    float z2 = 0;

    float process(float sample);

    // High-shelf pre-filter (+4 dB above about 1.7 kHz). Rates below 8000 Hz count as 8000.
    static KWeightBiquad makePreFilter(double sampleRate);
    // High-pass at about 38 Hz with unity gain at high frequencies. Rates below 8000 Hz count
    // as 8000.
    static KWeightBiquad makeRLBFilter(double sampleRate);
};

} // namespace tindrel
