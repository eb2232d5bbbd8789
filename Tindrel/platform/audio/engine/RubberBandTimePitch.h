#pragma once

// The time-pitch unit: a varispeed path (neutral and tape), a Rubber Band stretcher in
// real-time mode (musical) and the beats path (BeatsPath.h), see WarpCharacter.h, on two decks
// (WarpDeck.h). Rate maps to the time ratio 1/rate, pitch to the scale 2^(cents/1200).
//
// Threads: the TimePitchUnit setters are for the main thread and may be called while the
// engine renders; they only store atomics. Within one path a change applies at the next
// block (the varispeed ramps its rate across that block, Rubber Band glides by itself); a
// change of path crossfades within the deck.
//
// A restart that is a seek while playing starts the other deck at the new place, primed from
// the input before it; once that deck has output, it is joined by a short crossfade
// (SeekCrossfade.h) to what was already rendered ahead and not yet heard (RenderedAhead), and
// past that to the playing deck's next frames, which plays on meanwhile (on what input it
// holds). Until then the heard position is unknown; while the joined frames play, no further
// segment may start.
//
// configure() is for the main thread while no render runs (it allocates). It keeps the decks of
// the format before beside those of the new one, so going back to it builds nothing. restart(),
// render(), framesBeforeNewSegment() and heardFrames() are for the one thread that renders (the
// engine's render-ahead worker), never the device's: they take no lock, and allocate only
// inside Rubber Band and when a start builds a stretcher anew (StretcherEngine.h).

#include "Tindrel/platform/audio/engine/SampleSource.h"
#include "Tindrel/platform/audio/engine/TimePitchUnit.h"
#include "Tindrel/platform/audio/engine/WarpCharacter.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

namespace tindrel::platform {

// Frames already rendered and not yet heard, from where a seek may join them on: an engine that
// renders ahead hands them to the join to fade out of, instead of the playing deck's next ones.
class RenderedAhead {
public:
    virtual ~RenderedAhead() = default;
    // Copies the next up to `frames` of them to `out[c] + offset`; fewer once there are no more,
    // and the playing deck goes on from there.
    virtual size_t take(float* const* out, size_t offset, size_t frames) = 0;
};

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

    // The next render starts a new segment at its index 0. `seek`: it was scheduled while
    // playing, and the source delivers `preRoll` frames of the input before it first.
    void restart(bool seek = false, int64_t preRoll = 0);
    // Renders `frames` (at most maximumBlock) frames into `out`; returns the frames made,
    // fewer only when the input is late. A seek joined in this call fades out of `ahead` first.
    size_t render(float* const* out, size_t frames, SampleSource& source,
                  RenderedAhead* ahead = nullptr);
    // Frames to render before a new segment may start (0: it may start now).
    size_t framesBeforeNewSegment() const;
    // Input frames of the segment heard since the restart: those that have left the unit.
    // None while a seek waits for the new place's input.
    std::optional<int64_t> heardFrames() const;
    // The path playing now (the incoming one during a crossfade).
    WarpPath activePath() const;

private:
    struct State;
    void beginSegment(const WarpSetting& setting, SampleSource& source);
    void collectIncoming(const WarpSetting& setting, SampleSource& source, RenderedAhead* ahead);

    std::atomic<float> rate_{1.0f};
    std::atomic<float> pitch_{0.0f};
    std::atomic<float> overlap_{8.0f};
    std::unique_ptr<State> state_;
    std::unique_ptr<State> spare_; // the decks of the format before
};

} // namespace tindrel::platform
