#include "Tindrel/platform/audio/engine/HeldSoundStretcher.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace tindrel::platform {

namespace {

constexpr double frameSeconds = 0.085;
constexpr int zeroCrossings = 16;
constexpr double twoPi = 2 * std::numbers::pi;
// Below this share of the frame's loudest bin a local maximum is noise of the transform.
constexpr float peakFloor = 1e-6f;
// Frames made ahead of the first one heard, so that its surroundings are whole.
constexpr int64_t primingFrames = 2;
constexpr int maximumPitchScale = 4;
// A peak this much louder than anything near its bin in the frame before is an onset: it keeps
// the phases it came with, so that its attack stays together.
constexpr float onsetRise = 4.0f;

size_t frameLengthFor(double sampleRate) {
    // The power of two nearest the duration: 4096 at 44.1 and 48 kHz.
    const double exponent = std::round(std::log2(frameSeconds * sampleRate));
    return size_t{1} << static_cast<int>(std::clamp(exponent, 10.0, 14.0));
}

double principal(double angle) {
    return angle - twoPi * std::round(angle / twoPi);
}

size_t ringLengthFor(size_t frameLength) {
    return 4 * frameLength;
}

} // namespace

size_t HeldSoundStretcher::lookAheadFrames(double sampleRate) {
    // The frames overlapping the next output frame reach two hops and half a frame past it on
    // the stretched side, each hop the largest ratio (4 / 0.25) of source; one hop more of slack.
    const size_t frameLength = frameLengthFor(sampleRate);
    constexpr size_t largestRatio = 16;
    return 3 * (frameLength / 4) * largestRatio + frameLength;
}

HeldSoundStretcher::HeldSoundStretcher(double sampleRate, uint32_t channelCount)
    : channelCount_(channelCount), frameLength_(frameLengthFor(sampleRate)),
      hop_(static_cast<int64_t>(frameLength_ / 4)), bins_(frameLength_ / 2 + 1),
      transform_(frameLength_), kernel_(zeroCrossings), window_(frameLength_),
      spectra_(channelCount * bins_), buffer_(frameLength_), sum_(bins_), magnitude_(bins_),
      previousMagnitude_(bins_), phase_(bins_), previousPhase_(bins_), lagPhase_(bins_),
      peakPhase_(bins_), previousSynthesisPhase_(bins_), synthesisPhase_(bins_), owner_(bins_),
      previousOwner_(bins_), turn_(bins_),
      stretched_(channelCount, std::vector<float>(ringLengthFor(frameLength_))),
      ringMask_(ringLengthFor(frameLength_) - 1),
      weights_(static_cast<size_t>(2 * zeroCrossings * maximumPitchScale) + 2) {
    peaks_.reserve(bins_);
    for (size_t n = 0; n < frameLength_; ++n) {
        window_[n] = static_cast<float>(0.5 - 0.5 * std::cos(twoPi * static_cast<double>(n) /
                                                             static_cast<double>(frameLength_)));
    }
    // A periodic Hann window squared adds up to 1.5 at a quarter-frame hop; the inverse
    // transform multiplies by the frame length.
    synthesisScale_ = static_cast<float>(1.0 / (1.5 * static_cast<double>(frameLength_)));
    advanceLag_ = hop_ / 2;
    const auto lead = static_cast<double>(SourceWindow::leadFrames - advanceLag_) -
                      static_cast<double>(frameLength_) / 2;
    primingRatioLimit_ = std::max(0.0, lead / static_cast<double>(primingFrames * hop_));
}

void HeldSoundStretcher::start(int64_t index, double rate, double pitchScale, SourceWindow&,
                               SampleSource&) {
    start_ = index;
    ratio_ = rate / pitchScale;
    pitchScale_ = pitchScale;
    firstFrame_ = -primingFrames;
    nextFrame_ = firstFrame_;
    complete_ = firstFrame_ * hop_ - static_cast<int64_t>(frameLength_) / 2;
    position_ = 0;
    previousHadPeaks_ = false;
    settledFrom_ = -std::numeric_limits<double>::infinity();
    for (auto& channel : stretched_) {
        std::fill(channel.begin(), channel.end(), 0.0f);
    }
}

double HeldSoundStretcher::centreOf(int64_t frame) const {
    if (frame < nextFrame_ && frame >= nextFrame_ - static_cast<int64_t>(centreSlots)) {
        return centres_[static_cast<size_t>(frame) % centreSlots];
    }
    // Not made yet: where the next frame's ratio takes it.
    if (frame <= 0 || nextFrame_ <= 0) {
        const int64_t from = std::min<int64_t>(frame, 0);
        return static_cast<double>(start_) +
               static_cast<double>(from * hop_) * std::min(ratio_, primingRatioLimit_) +
               static_cast<double>((frame - from) * hop_) * ratio_;
    }
    const int64_t last = nextFrame_ - 1;
    return centres_[static_cast<size_t>(last) % centreSlots] +
           static_cast<double>((frame - last) * hop_) * ratio_;
}

double HeldSoundStretcher::heard() const {
    const double frames = position_ / static_cast<double>(hop_);
    const auto frame = static_cast<int64_t>(std::floor(frames));
    const double fraction = frames - static_cast<double>(frame);
    const double from = centreOf(frame);
    return from + fraction * (centreOf(frame + 1) - from);
}

void HeldSoundStretcher::analyse(int64_t begin, SourceWindow& window, bool withChannels) {
    const int64_t held = window.firstHeld();
    std::fill(sum_.begin(), sum_.end(), std::complex<float>{});
    for (uint32_t c = 0; c < channelCount_; ++c) {
        const int64_t from = std::clamp(held, begin, begin + static_cast<int64_t>(frameLength_));
        const auto silent = static_cast<size_t>(from - begin);
        std::fill_n(buffer_.begin(), silent, std::complex<float>{});
        const float* x = from < window.end() ? window.at(c, from) : nullptr;
        for (size_t n = silent; n < frameLength_; ++n) {
            buffer_[n] = {x[n - silent] * window_[n], 0.0f};
        }
        transform_.transform(buffer_.data(), false);
        for (size_t k = 0; k < bins_; ++k) {
            sum_[k] += buffer_[k];
        }
        if (withChannels) {
            std::copy_n(buffer_.begin(), bins_,
                        spectra_.begin() + static_cast<std::ptrdiff_t>(c * bins_));
        }
    }
}

void HeldSoundStretcher::findPeaks() {
    float loudest = 0;
    for (size_t k = 0; k < bins_; ++k) {
        magnitude_[k] = std::abs(sum_[k]);
        loudest = std::max(loudest, magnitude_[k]);
    }
    peaks_.clear();
    const float floor = std::max(loudest * peakFloor, 1e-20f);
    for (size_t k = 2; k + 2 < bins_; ++k) {
        const float m = magnitude_[k];
        if (m > floor && m > magnitude_[k - 1] && m >= magnitude_[k + 1] && m > magnitude_[k - 2] &&
            m >= magnitude_[k + 2]) {
            peaks_.push_back(static_cast<uint32_t>(k));
        }
    }
    // Each bin belongs to the peak on its side of the lowest bin between two peaks.
    size_t bin = 0;
    for (size_t p = 0; p < peaks_.size(); ++p) {
        size_t end = bins_;
        if (p + 1 < peaks_.size()) {
            end = peaks_[p];
            for (size_t k = peaks_[p]; k < peaks_[p + 1]; ++k) {
                if (magnitude_[k] < magnitude_[end]) {
                    end = k;
                }
            }
            end = std::max<size_t>(end, peaks_[p] + 1);
        }
        for (; bin < end; ++bin) {
            owner_[bin] = peaks_[p];
        }
    }
}

bool HeldSoundStretcher::addFrame(SourceWindow& window, SampleSource& source) {
    const int64_t frame = nextFrame_;
    const double centre = centreOf(frame);
    const int64_t begin = std::llround(centre) - static_cast<int64_t>(frameLength_) / 2;
    if (!window.fill(begin + static_cast<int64_t>(frameLength_), source)) {
        return false;
    }
    // Each peak's frequency from its phase one analysis hop earlier, or, where that hop is
    // longer than a quarter frame (fast speeds), from a frame a short lag earlier: the longer hop
    // would alias it.
    const int64_t analysisHop = begin - previousBegin_;
    const bool fromPrevious =
        analysisHop > 0 && analysisHop <= static_cast<int64_t>(frameLength_) / 2;
    const int64_t lag = fromPrevious ? analysisHop : advanceLag_;
    analyse(begin, window, true);
    findPeaks();
    // Phases are only read where they are used: at this frame's peaks and at the bins that held
    // their partials in the frame before (the last frame's were read at its own peaks).
    for (const uint32_t peak : peaks_) {
        phase_[peak] = std::arg(sum_[peak]);
        if (const uint32_t before = previousOwner_[peak]; before != peak) {
            phase_[before] = std::arg(sum_[before]);
        }
    }
    if (!fromPrevious) {
        analyse(begin - advanceLag_, window, false);
        for (const uint32_t peak : peaks_) {
            lagPhase_[peak] = std::arg(sum_[peak]);
        }
    }
    const std::vector<double>& earlierPhase = fromPrevious ? previousPhase_ : lagPhase_;

    const bool first = frame == firstFrame_ || !previousHadPeaks_;
    for (const uint32_t peak : peaks_) {
        const double phase = phase_[peak];
        double turn = 0;
        const float earlier = std::max(
            {previousMagnitude_[peak - 1], previousMagnitude_[peak], previousMagnitude_[peak + 1]});
        const bool onset = magnitude_[peak] > onsetRise * earlier;
        if (!first && !onset) {
            // The partial goes on from the bin that held it in the frame before, which the peak
            // may have left for a neighbour: both its frequency and its turn are read there.
            const uint32_t before = previousOwner_[peak];
            const uint32_t read = fromPrevious ? before : peak;
            const double binAdvance =
                twoPi * static_cast<double>(read) / static_cast<double>(frameLength_);
            const double deviation = principal(phase_[read] - earlierPhase[read] -
                                               binAdvance * static_cast<double>(lag));
            const double frequency = binAdvance + deviation / static_cast<double>(lag);
            turn = principal(previousSynthesisPhase_[before] +
                             frequency * static_cast<double>(hop_) - phase_[before]);
        }
        synthesisPhase_[peak] = principal(phase + turn);
        peakPhase_[peak] = std::polar(1.0f, static_cast<float>(turn));
    }
    for (size_t k = 0; k < bins_ && !peaks_.empty(); ++k) {
        turn_[k] = peakPhase_[owner_[k]];
    }
    if (peaks_.empty()) {
        std::fill(turn_.begin(), turn_.end(), std::complex<float>{1.0f, 0.0f});
    }
    previousHadPeaks_ = !peaks_.empty();
    std::swap(synthesisPhase_, previousSynthesisPhase_);
    std::swap(owner_, previousOwner_);
    std::swap(magnitude_, previousMagnitude_);
    std::swap(phase_, previousPhase_);
    previousBegin_ = begin;

    const int64_t at = frame * hop_ - static_cast<int64_t>(frameLength_) / 2;
    const int64_t fresh = at + static_cast<int64_t>(frameLength_) - hop_;
    for (uint32_t c = 0; c < channelCount_; ++c) {
        const std::complex<float>* spectrum = &spectra_[c * bins_];
        for (size_t k = 0; k < bins_; ++k) {
            buffer_[k] = spectrum[k] * turn_[k];
        }
        for (size_t k = 1; k < frameLength_ / 2; ++k) {
            buffer_[frameLength_ - k] = std::conj(buffer_[k]);
        }
        transform_.transform(buffer_.data(), true);
        std::vector<float>& ring = stretched_[c];
        for (int64_t t = fresh; t < at + static_cast<int64_t>(frameLength_); ++t) {
            ring[static_cast<size_t>(t) & ringMask_] = 0;
        }
        for (size_t n = 0; n < frameLength_; ++n) {
            ring[static_cast<size_t>(at + static_cast<int64_t>(n)) & ringMask_] +=
                buffer_[n].real() * window_[n] * synthesisScale_;
        }
    }
    centres_[static_cast<size_t>(frame) % centreSlots] = centre;
    ++nextFrame_;
    complete_ = (frame + 1) * hop_ - static_cast<int64_t>(frameLength_) / 2;
    return true;
}

size_t HeldSoundStretcher::render(float* const* out, size_t offset, size_t frames, double rate,
                                  double pitchScale, SourceWindow& window, SampleSource& source) {
    const double ratio = rate / pitchScale;
    if (ratio != ratio_ || pitchScale != pitchScale_) {
        settledFrom_ = static_cast<double>((nextFrame_ - 1) * hop_);
    }
    ratio_ = ratio;
    pitchScale_ = pitchScale;
    // Reading the stretched sound faster than it was made, the kernel narrows the band to
    // below the new Nyquist frequency.
    const double cutoff = std::clamp(1.0 / pitchScale, 1.0 / maximumPitchScale, 1.0);
    const auto reach =
        static_cast<int64_t>(std::ceil(static_cast<double>(kernel_.zeroCrossings()) / cutoff));
    for (size_t j = 0; j < frames; ++j) {
        const auto base = static_cast<int64_t>(std::floor(position_));
        while (complete_ <= base + reach) {
            if (!addFrame(window, source)) {
                return j;
            }
        }
        if (position_ == static_cast<double>(base)) {
            for (uint32_t c = 0; c < channelCount_; ++c) {
                out[c][offset + j] = stretched_[c][static_cast<size_t>(base) & ringMask_];
            }
        } else {
            float weightSum = 0;
            const int64_t first = base - reach + 1;
            for (int64_t t = first; t <= base + reach; ++t) {
                const float weight = kernel_.at((position_ - static_cast<double>(t)) * cutoff);
                weights_[static_cast<size_t>(t - first)] = weight;
                weightSum += weight;
            }
            for (uint32_t c = 0; c < channelCount_; ++c) {
                const std::vector<float>& ring = stretched_[c];
                float value = 0;
                for (int64_t t = first; t <= base + reach; ++t) {
                    value += weights_[static_cast<size_t>(t - first)] *
                             ring[static_cast<size_t>(t) & ringMask_];
                }
                out[c][offset + j] = value / weightSum;
            }
        }
        position_ += pitchScale;
    }
    return frames;
}

} // namespace tindrel::platform
