#include "Tindrel/platform/audio/engine/StretcherPath.h"

#include "Tindrel/platform/audio/engine/WarpCharacter.h"

#include <algorithm>
#include <cmath>
#include <future>

namespace tindrel::platform {

using RubberBand::RubberBandStretcher;

namespace {

// Frames rendered at a time into the join.
constexpr size_t maximumJoinBlock = 1024;
// Where it stands in (faster than 2x at a lower pitch), the faster engine reports about twice
// the start delay it has: dropping all of it put a tone burst's centre 50 to 180 ms early
// (2.2x to 4x, -13 to -24 st); half of it leaves it within about 10 ms.
constexpr double fasterEngineDelayShare = 0.5;
// Output an engine taking over makes before it is heard, past the sag of its first frames: the
// faster engine takes longer to settle at its deepest settings.
constexpr double finerLeadSeconds = 0.02;
constexpr double fasterLeadSeconds = 0.1;
// A start (a seek's, a wrap's) plays the faster engine longer before it is heard, from the input
// the player delivers before the new place: past its swell too, which a seek would hear whole.
constexpr double fasterStartLeadSeconds = 0.3;
constexpr double holdSeconds = 0.04;

} // namespace

StretcherPath::StretcherPath(double sampleRate, uint32_t channelCount,
                             RubberBandStretcher::Options options)
    : options_(options), configured_(sampleRate, channelCount, options),
      joint_(sampleRate, channelCount),
      finerLeadFrames_(static_cast<size_t>(finerLeadSeconds * sampleRate)),
      fasterLeadFrames_(static_cast<size_t>(fasterLeadSeconds * sampleRate)),
      fasterStartLeadFrames_(static_cast<size_t>(fasterStartLeadSeconds * sampleRate)),
      holdFrames_(static_cast<size_t>(holdSeconds * sampleRate)) {
    if (engineHasBound(options)) {
        const auto makeFaster = [sampleRate, channelCount, options] {
            return std::make_unique<StretcherEngine>(
                sampleRate, channelCount, fasterEngineOptions(options), fasterEngineDelayShare);
        };
        // Side by side: each takes about as long to build as the configured engine.
        auto second = std::async(std::launch::async, makeFaster);
        faster_[0] = makeFaster();
        faster_[1] = second.get();
    }
}

bool StretcherPath::isFaster(const StretcherEngine* engine) const {
    return engine != &configured_;
}

StretcherEngine* StretcherPath::engineFor(double rate, double pitchScale) {
    if (!faster_[0] || engineCanMake(options_, rate, pitchScale)) {
        return &configured_;
    }
    if (isFaster(playing_) && playing_->rate() == rate && playing_->pitchScale() == pitchScale) {
        return playing_;
    }
    return playing_ == faster_[0].get() ? faster_[1].get() : faster_[0].get();
}

std::pair<double, double> StretcherPath::ratiosFor(const StretcherEngine& engine, double rate,
                                                   double pitchScale) const {
    const bool keeps =
        isFaster(&engine) || (faster_[0] && !engineCanMake(options_, rate, pitchScale));
    return keeps ? std::pair{engine.rate(), engine.pitchScale()} : std::pair{rate, pitchScale};
}

double StretcherPath::heard() const {
    // The joined frames still to play were made ahead of what is heard.
    return playing_->heard() - static_cast<double>(joint_.pendingFrames()) * playing_->rate();
}

bool StretcherPath::rateSettled() const {
    return incoming_ == nullptr && playing_->rateSettled();
}

void StretcherPath::start(int64_t index, double rate, double pitchScale, SourceWindow& window,
                          SampleSource& source) {
    joint_.cancel();
    incoming_ = nullptr;
    playing_ =
        !faster_[0] || engineCanMake(options_, rate, pitchScale) ? &configured_ : faster_[0].get();
    if (isFaster(playing_)) {
        playing_->startAhead(index, fasterStartLeadFrames_, rate, pitchScale, window, source);
    } else {
        playing_->start(index, rate, pitchScale, window, source);
    }
    heldFor_ = 0;
}

bool StretcherPath::join(double rate, double pitchScale, SourceWindow& window,
                         SampleSource& source) {
    const auto [incomingRate, incomingPitchScale] = ratiosFor(*incoming_, rate, pitchScale);
    const auto [outgoingRate, outgoingPitchScale] = ratiosFor(*playing_, rate, pitchScale);
    const bool joined = joint_.collectAndJoin(
        [&](float* const* out, size_t offset, size_t frames) {
            return incoming_->render(out, offset, frames, incomingRate, incomingPitchScale, window,
                                     source);
        },
        [&](float* const* out, size_t offset, size_t frames) {
            return playing_->render(out, offset, frames, outgoingRate, outgoingPitchScale, window,
                                    source);
        },
        maximumJoinBlock);
    if (!joined) {
        return false;
    }
    playing_ = incoming_;
    incoming_ = nullptr;
    return true;
}

size_t StretcherPath::render(float* const* out, size_t offset, size_t frames, double rate,
                             double pitchScale, SourceWindow& window, SampleSource& source) {
    if (rate != heldRate_ || pitchScale != heldPitchScale_) {
        heldRate_ = rate;
        heldPitchScale_ = pitchScale;
        heldFor_ = 0;
    }
    StretcherEngine* wanted = engineFor(rate, pitchScale);
    if (incoming_ != nullptr && incoming_ != wanted && !isFaster(wanted)) {
        // Back within the configured engine's reach before the join was made: it goes on.
        joint_.cancel();
        incoming_ = nullptr;
    }
    // Leaving the configured engine cannot wait; a faster one waits until the new ratios hold.
    const bool due = !isFaster(playing_) || heldFor_ >= holdFrames_;
    if (incoming_ == nullptr && wanted != playing_ && joint_.pendingFrames() == 0 && due) {
        incoming_ = wanted;
        incoming_->startAhead(std::llround(heard()),
                              isFaster(incoming_) ? fasterLeadFrames_ : finerLeadFrames_, rate,
                              pitchScale, window, source);
        joint_.begin();
    }
    if (incoming_ != nullptr && !join(rate, pitchScale, window, source)) {
        return 0;
    }
    size_t produced = joint_.emit(out, offset, frames);
    if (produced < frames) {
        const auto [playRate, playPitchScale] = ratiosFor(*playing_, rate, pitchScale);
        produced += playing_->render(out, offset + produced, frames - produced, playRate,
                                     playPitchScale, window, source);
    }
    heldFor_ += produced;
    return produced;
}

} // namespace tindrel::platform
