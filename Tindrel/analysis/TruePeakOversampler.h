#pragma once

// Estimates the true (inter-sample) peak of one channel by 4x oversampling with a polyphase
// windowed-sinc interpolator, 16 taps per phase. A plain value with per-channel state; no
// allocation after construction; real-time safe.

#include <array>
#include <cstdint>

namespace tindrel {

class TruePeakOversampler {
public:
    static constexpr int tapsPerPhase = 16;
    // Input samples between a sample and the oversampled values that surround it.
    static constexpr int delay = tapsPerPhase / 2;

    // Starts as if preceded by silence, as at the start of a file.
    TruePeakOversampler();

    // Forgets the history after a jump in the input: until tapsPerPhase samples have come in,
    // process() reports only sample peaks.
    void restart();

    // Feeds one sample; returns the largest absolute value of the oversampled signal over the
    // interval that the sample completes (around the sample `delay` back), never less than
    // |sample| itself.
    float process(float sample);

    // Feeds `count` samples; returns the largest value process() would return for those from
    // index `from` on, fed one by one (0 when there are none), bit for bit. Several output
    // samples are computed at once, each summed in process()'s order.
    float processBlock(const float* samples, int64_t count, int64_t from);

private:
    std::array<float, 2 * tapsPerPhase> history_{};
    int newest_ = 0;
    int known_ = tapsPerPhase;
};

} // namespace tindrel
