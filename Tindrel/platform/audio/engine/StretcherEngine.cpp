#include "Tindrel/platform/audio/engine/StretcherEngine.h"

#include <algorithm>
#include <cmath>

namespace tindrel::platform {

namespace {

using RubberBand::RubberBandStretcher;

constexpr size_t maximumFeed = 8192;
constexpr size_t scratchFrames = 8192;
// Bounds the loop of one render should the stretcher ask for nothing and give nothing.
constexpr int maximumSteps = 512;
constexpr double warmUpPitchScale = 1.189207; // +3 semitones
constexpr int warmUpPasses = 4;

// Rubber Band reports to stderr unless given a logger; nothing here prints.
class SilentLogger final : public RubberBandStretcher::Logger {
public:
    void log(const char*) override {}
    void log(const char*, double) override {}
    void log(const char*, double, double) override {}
};

} // namespace

StretcherEngine::StretcherEngine(double sampleRate, uint32_t channelCount,
                                 RubberBandStretcher::Options options, double delayShare)
    : sampleRate_(sampleRate), options_(options), delayShare_(delayShare),
      scratch_(channelCount, std::vector<float>(scratchFrames)), scratchPointers_(channelCount),
      outPointers_(channelCount), inPointers_(channelCount) {
    for (uint32_t c = 0; c < channelCount; ++c) {
        scratchPointers_[c] = scratch_[c].data();
    }
    build();
}

void StretcherEngine::build() {
    stretcher_ = std::make_unique<RubberBandStretcher>(
        static_cast<size_t>(std::clamp(sampleRate_, 8000.0, 192000.0)), scratch_.size(),
        std::make_shared<SilentLogger>(), options_ | RubberBandStretcher::OptionProcessRealTime);
    stretcher_->setMaxProcessSize(maximumFeed);
    warmUp();
    used_ = false;
}

void StretcherEngine::warmUp() {
    // Rubber Band sizes its pitch resampler on first use; do that here, not on the audio thread.
    std::vector<std::vector<float>> silence(scratch_.size(), std::vector<float>(maximumFeed));
    for (uint32_t c = 0; c < inPointers_.size(); ++c) {
        inPointers_[c] = silence[c].data();
    }
    stretcher_->setPitchScale(warmUpPitchScale);
    for (int pass = 0; pass < warmUpPasses; ++pass) {
        const size_t wanted = std::clamp<size_t>(stretcher_->getSamplesRequired(), 1, maximumFeed);
        stretcher_->process(inPointers_.data(), wanted, false);
        while (stretcher_->available() > 0) {
            stretcher_->retrieve(
                scratchPointers_.data(),
                std::min(static_cast<size_t>(stretcher_->available()), scratchFrames));
        }
    }
    stretcher_->reset();
    stretcher_->setPitchScale(1.0);
}

void StretcherEngine::setRatios(double rate, double pitchScale) {
    if (rate != rate_) {
        if (rateChangePending_) {
            heardRate_ = pendingRate_;
        }
        stretcher_->setTimeRatio(1.0 / rate);
        rate_ = rate;
        rateChangePending_ = true;
        pendingRate_ = rate;
        // Frames already made keep the old rate; the new ratio reaches the output about one
        // start delay after the frames made so far.
        pendingAt_ = outputCount_ + static_cast<uint64_t>(std::max(0, stretcher_->available())) +
                     startDelay();
    }
    if (pitchScale != pitchScale_) {
        stretcher_->setPitchScale(pitchScale);
        pitchScale_ = pitchScale;
    }
}

void StretcherEngine::start(int64_t index, double rate, double pitchScale, SourceWindow& window,
                            SampleSource& source) {
    // The finer engine's reset keeps some of what it played and the ratios it had: made anew, it
    // starts from the state every new one has, so a start sounds the same whatever came before.
    if (used_ && (options_ & RubberBandStretcher::OptionEngineFiner) != 0) {
        build();
    }
    used_ = true;
    stretcher_->reset();
    stretcher_->setTimeRatio(1.0 / rate);
    stretcher_->setPitchScale(pitchScale);
    rate_ = rate;
    pitchScale_ = pitchScale;
    heardRate_ = rate;
    rateChangePending_ = false;
    outputCount_ = 0;
    heard_ = static_cast<double>(index);
    fed_ = index;
    const auto pad = static_cast<int64_t>(
        std::min<size_t>(stretcher_->getPreferredStartPad(), SourceWindow::leadFrames));
    discard_ = startDelay();
    if (window.fill(index, source)) {
        for (uint32_t c = 0; c < inPointers_.size(); ++c) {
            inPointers_[c] = window.at(c, index - pad);
        }
        stretcher_->process(inPointers_.data(), static_cast<size_t>(pad), false);
    }
}

size_t StretcherEngine::startDelay() const {
    return static_cast<size_t>(
        std::llround(static_cast<double>(stretcher_->getStartDelay()) * delayShare_));
}

void StretcherEngine::startAhead(int64_t index, size_t leadFrames, double rate, double pitchScale,
                                 SourceWindow& window, SampleSource& source) {
    // Priming reads up to leadFrames before where it starts.
    const int64_t earliest = window.firstHeld() + SourceWindow::leadFrames;
    const auto lead = static_cast<int64_t>(std::llround(static_cast<double>(leadFrames) * rate));
    start(std::min(index, std::max(index - lead, earliest)), rate, pitchScale, window, source);
    while (heard_ + 0.5 * rate < static_cast<double>(index)) {
        const auto remaining =
            static_cast<size_t>(std::llround((static_cast<double>(index) - heard_) / rate));
        const size_t wanted = std::min(remaining, scratchFrames);
        if (wanted == 0 ||
            render(scratchPointers_.data(), 0, wanted, rate, pitchScale, window, source) == 0) {
            break;
        }
    }
}

void StretcherEngine::countHeard(size_t frames) {
    while (frames > 0) {
        if (rateChangePending_ && outputCount_ >= pendingAt_) {
            heardRate_ = pendingRate_;
            rateChangePending_ = false;
        }
        size_t run = frames;
        if (rateChangePending_) {
            run = static_cast<size_t>(std::min<uint64_t>(frames, pendingAt_ - outputCount_));
        }
        heard_ += static_cast<double>(run) * heardRate_;
        outputCount_ += run;
        frames -= run;
    }
    heard_ = std::min(heard_, static_cast<double>(fed_));
}

size_t StretcherEngine::render(float* const* out, size_t offset, size_t frames, double rate,
                               double pitchScale, SourceWindow& window, SampleSource& source) {
    setRatios(rate, pitchScale);
    size_t produced = 0;
    for (int step = 0; step < maximumSteps && produced < frames; ++step) {
        const int available = stretcher_->available();
        if (available > 0) {
            if (discard_ > 0) {
                const size_t dropped = stretcher_->retrieve(
                    scratchPointers_.data(),
                    std::min({static_cast<size_t>(available), discard_, scratchFrames}));
                discard_ -= dropped;
                continue;
            }
            for (size_t c = 0; c < outPointers_.size(); ++c) {
                outPointers_[c] = out[c] + offset + produced;
            }
            const size_t got = stretcher_->retrieve(
                outPointers_.data(), std::min(static_cast<size_t>(available), frames - produced));
            produced += got;
            countHeard(got);
            continue;
        }
        size_t wanted = stretcher_->getSamplesRequired();
        wanted = std::clamp<size_t>(wanted, 1, maximumFeed);
        if (!window.fill(fed_ + static_cast<int64_t>(wanted), source)) {
            break;
        }
        for (uint32_t c = 0; c < inPointers_.size(); ++c) {
            inPointers_[c] = window.at(c, fed_);
        }
        stretcher_->process(inPointers_.data(), wanted, false);
        fed_ += static_cast<int64_t>(wanted);
    }
    return produced;
}

} // namespace tindrel::platform
