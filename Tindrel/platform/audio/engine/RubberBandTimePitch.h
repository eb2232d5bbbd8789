#pragma once

// The time-pitch unit: a varispeed path (neutral and tape) and two Rubber Band stretchers in
// real-time mode (R3 for overlap 6 and up, R2 with crisp transients below; see
// WarpCharacter.h). Rate maps to the time ratio 1/rate, pitch to the scale 2^(cents/1200).
//
// Threads: the TimePitchUnit setters are for the main thread and may be called while the
// engine renders; they only store atomics. Within one path a change applies at the next
// block (the varispeed ramps its rate across that block, Rubber Band glides by itself). A
// change of path is taken when two blocks in a row ask for it, so the three setters of one
// change are never split across paths, and it crossfades the new path in over 1024 frames,
// primed from the input just before the heard position: no gap, no click, no jump in time.
//
// configure() is for the main thread while no render runs (it allocates). restart(),
// render() and heardFrames() are for the render thread and do not allocate or lock, except
// inside Rubber Band (see StretcherPath.h).

#include "Tindrel/platform/audio/engine/SampleSource.h"
#include "Tindrel/platform/audio/engine/TimePitchUnit.h"
#include "Tindrel/platform/audio/engine/WarpCharacter.h"

#include <atomic>
#include <cstdint>
#include <memory>

namespace tindrel::platform {

class RubberBandTimePitch final : public TimePitchUnit {
public:
    static constexpr size_t maximumBlock = 1024;

    RubberBandTimePitch();
    ~RubberBandTimePitch() override;
    RubberBandTimePitch(const RubberBandTimePitch&) = delete;
    RubberBandTimePitch& operator=(const RubberBandTimePitch&) = delete;

    void setRate(float rate) override;
    float rate() const override;
    void setPitch(float cents) override;
    float pitch() const override;
    void setOverlap(float overlap) override;
    float overlap() const override;

    void configure(double sampleRate, uint32_t channelCount);

    // The next render starts a new segment at its index 0.
    void restart();
    // Renders `frames` (at most maximumBlock) frames into `out`; returns the frames made,
    // fewer only when the input is late.
    size_t render(float* const* out, size_t frames, SampleSource& source);
    // Input frames heard since the restart: those that have left the unit.
    int64_t heardFrames() const;
    // The path playing now (the incoming one during a crossfade).
    WarpPath activePath() const;

private:
    struct Paths;
    size_t renderPath(WarpPath path, float* const* out, size_t frames, SampleSource& source);
    void startPath(WarpPath path, double heard, SampleSource& source);
    double heardOf(WarpPath path) const;

    std::atomic<float> rate_{1.0f};
    std::atomic<float> pitch_{0.0f};
    std::atomic<float> overlap_{8.0f};
    std::unique_ptr<Paths> paths_;
};

} // namespace tindrel::platform
