#include "Tindrel/platform/audio/engine/StretcherPath.h"

#include "Tindrel/platform/audio/engine/WarpCharacter.h"

#include <algorithm>
#include <cmath>

namespace tindrel::platform {

using RubberBand::RubberBandStretcher;

namespace {

// Frames rendered at a time into the join.
constexpr size_t maximumJoinBlock = 1024;

} // namespace

StretcherPath::StretcherPath(double sampleRate, uint32_t channelCount,
                             RubberBandStretcher::Options options)
    : configured_(sampleRate, channelCount, options),
      faster_((options & RubberBandStretcher::OptionEngineFiner) != 0
                  ? std::make_unique<StretcherEngine>(sampleRate, channelCount,
                                                      fasterEngineOptions(options))
                  : nullptr),
      joint_(sampleRate, channelCount) {}

StretcherEngine& StretcherPath::engineFor(double rate, double pitchScale) {
    if (faster_ && !finerEngineCanMake(rate, pitchScale)) {
        return *faster_;
    }
    return configured_;
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
    playing_ = &engineFor(rate, pitchScale);
    playing_->start(index, rate, pitchScale, window, source);
}

bool StretcherPath::join(double rate, double pitchScale, SourceWindow& window,
                         SampleSource& source) {
    // The engine being left keeps ratios it can make.
    const double lastRate = playing_->rate();
    const double lastPitchScale = playing_->pitchScale();
    const bool joined = joint_.collectAndJoin(
        [&](float* const* out, size_t offset, size_t frames) {
            return incoming_->render(out, offset, frames, rate, pitchScale, window, source);
        },
        [&](float* const* out, size_t offset, size_t frames) {
            return playing_->render(out, offset, frames, lastRate, lastPitchScale, window, source);
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
    StretcherEngine& wanted = engineFor(rate, pitchScale);
    if (incoming_ != nullptr && incoming_ != &wanted) {
        // Crossed back before the join was made: the playing engine goes on.
        joint_.cancel();
        incoming_ = nullptr;
    }
    if (incoming_ == nullptr && &wanted != playing_ && joint_.pendingFrames() == 0) {
        incoming_ = &wanted;
        incoming_->start(std::llround(heard()), rate, pitchScale, window, source);
        joint_.begin();
    }
    if (incoming_ != nullptr && !join(rate, pitchScale, window, source)) {
        return 0;
    }
    size_t produced = joint_.emit(out, offset, frames);
    if (produced < frames) {
        // Until the joined frames have played, an engine that cannot make the new ratios
        // plays on at those it had.
        const bool makes = &wanted == playing_;
        produced += playing_->render(out, offset + produced, frames - produced,
                                     makes ? rate : playing_->rate(),
                                     makes ? pitchScale : playing_->pitchScale(), window, source);
    }
    return produced;
}

} // namespace tindrel::platform
