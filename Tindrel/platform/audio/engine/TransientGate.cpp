#include "Tindrel/platform/audio/engine/TransientGate.h"

#include <algorithm>
#include <cmath>

namespace tindrel::platform {

namespace {

constexpr double frameSeconds = 0.0029;
constexpr size_t historyLength = 8;
constexpr double riseRatio = 8.0;       // 9 dB
constexpr double floorPerSample = 1e-6; // -60 dBFS
constexpr double leadSeconds = 0.05;
constexpr double holdSeconds = 0.060;
constexpr double rampSeconds = 0.005;

} // namespace

TransientGate::TransientGate(double sampleRate)
    : sampleRate_(sampleRate),
      frameLength_(std::max<int64_t>(16, std::llround(frameSeconds * sampleRate))),
      history_(historyLength, 0.0) {}

void TransientGate::start(int64_t index) {
    std::fill(history_.begin(), history_.end(), 0.0);
    historyNext_ = 0;
    // The frames before the start fill the history, so input that was already sounding is no
    // onset (silence before a segment start is, where the segment begins loud).
    scanned_ = index - static_cast<int64_t>(historyLength) * frameLength_;
    unheardFrames_ = historyLength;
    onsetCount_ = 0;
    share_ = 0;
}

void TransientGate::scan(const SourceWindow& window) {
    scanned_ = std::max(scanned_, window.firstHeld() + 1);
    while (scanned_ + frameLength_ <= window.end()) {
        double energy = 0;
        for (uint32_t c = 0; c < window.channelCount(); ++c) {
            const float* x = window.at(c, scanned_ - 1);
            for (int64_t k = 1; k <= frameLength_; ++k) {
                const double difference = x[k] - x[k - 1];
                energy += difference * difference;
            }
        }
        const double loudest = *std::max_element(history_.begin(), history_.end());
        if (unheardFrames_ > 0) {
            --unheardFrames_;
        } else if (energy > riseRatio * loudest &&
                   energy > floorPerSample * static_cast<double>(frameLength_)) {
            onsets_[onsetCount_ % onsets_.size()] = scanned_;
            ++onsetCount_;
        }
        history_[historyNext_] = energy;
        historyNext_ = (historyNext_ + 1) % history_.size();
        scanned_ += frameLength_;
    }
}

bool TransientGate::nearOnset(double from, double to, double rate) const {
    // In input frames: the sustained stretcher's pre-echo spans about its window of input
    // when slowed down, and of output when sped up.
    const double span = sampleRate_ * std::max(1.0, rate);
    const double lead = leadSeconds * span;
    const double hold = holdSeconds * span;
    const size_t known = std::min(onsetCount_, onsets_.size());
    for (size_t k = 0; k < known; ++k) {
        const auto onset = static_cast<double>(onsets_[(onsetCount_ - 1 - k) % onsets_.size()]);
        if (to >= onset - lead && from <= onset + hold) {
            return true;
        }
        if (onset + hold < from) {
            break; // older onsets lie further back still
        }
    }
    return false;
}

bool TransientGate::idle(double from, double to, double rate, const SourceWindow& window) {
    scan(window);
    return share_ == 0 && !nearOnset(from, to, rate);
}

void TransientGate::shares(float* share, size_t frames, double position, double rate,
                           const SourceWindow& window) {
    scan(window);
    const auto step = static_cast<float>(1.0 / (rampSeconds * sampleRate_));
    for (size_t k = 0; k < frames; ++k) {
        const double at = position + static_cast<double>(k) * rate;
        share_ =
            nearOnset(at, at, rate) ? std::min(1.0f, share_ + step) : std::max(0.0f, share_ - step);
        share[k] = share_;
    }
}

} // namespace tindrel::platform
