#include "Tindrel/platform/audio/engine/SeekCrossfade.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tindrel::platform {

namespace {

constexpr double fadeSeconds = 0.005;
constexpr double searchSeconds = 0.005;

// The search costs fade x search frames of work on the render thread at each seek: bounded,
// so that very high sample rates get a shorter fade rather than a late callback.
constexpr size_t longestSpan = 1024;

size_t framesOf(double seconds, double sampleRate) {
    return std::clamp<size_t>(static_cast<size_t>(std::lround(seconds * sampleRate)), 16,
                              longestSpan);
}

} // namespace

size_t SeekCrossfade::fadeFramesAt(double sampleRate) {
    return framesOf(fadeSeconds, sampleRate);
}

SeekCrossfade::SeekCrossfade(double sampleRate, uint32_t channelCount)
    : channelCount_(channelCount), fadeFrames_(fadeFramesAt(sampleRate)),
      searchFrames_(framesOf(searchSeconds, sampleRate)),
      incoming_(channelCount, std::vector<float>(fadeFrames_ + searchFrames_)),
      outgoing_(channelCount, std::vector<float>(fadeFrames_)),
      incomingSum_(fadeFrames_ + searchFrames_), outgoingSum_(fadeFrames_),
      incomingPointers_(channelCount), outgoingPointers_(channelCount) {
    for (uint32_t c = 0; c < channelCount; ++c) {
        incomingPointers_[c] = incoming_[c].data();
        outgoingPointers_[c] = outgoing_[c].data();
    }
}

void SeekCrossfade::begin() {
    collecting_ = true;
    incomingFilled_ = 0;
    pending_ = 0;
    emitted_ = 0;
}

void SeekCrossfade::cancel() {
    collecting_ = false;
    pending_ = 0;
    emitted_ = 0;
}

void SeekCrossfade::silenceOutgoingFrom(size_t frame) {
    for (auto& channel : outgoing_) {
        std::fill(channel.begin() + static_cast<std::ptrdiff_t>(std::min(frame, fadeFrames_)),
                  channel.end(), 0.0f);
    }
}

size_t SeekCrossfade::bestOffset() {
    // Normalised cross-correlation of the channel sums; a tone's period or a beat's grain is
    // found within the search span. The sums are taken once, so the search costs the same
    // whatever the channel count.
    for (size_t k = 0; k < fadeFrames_ + searchFrames_; ++k) {
        double b = 0;
        for (uint32_t c = 0; c < channelCount_; ++c) {
            b += incoming_[c][k];
        }
        incomingSum_[k] = b;
    }
    double outgoingEnergy = 0;
    for (size_t k = 0; k < fadeFrames_; ++k) {
        double a = 0;
        for (uint32_t c = 0; c < channelCount_; ++c) {
            a += outgoing_[c][k];
        }
        outgoingSum_[k] = a;
        outgoingEnergy += a * a;
    }
    size_t best = 0;
    double bestScore = -2;
    for (size_t offset = 0; offset <= searchFrames_; ++offset) {
        double product = 0;
        double energy = 0;
        const double* b = incomingSum_.data() + offset;
        for (size_t k = 0; k < fadeFrames_; ++k) {
            product += outgoingSum_[k] * b[k];
            energy += b[k] * b[k];
        }
        const double score =
            energy > 0 && outgoingEnergy > 0 ? product / std::sqrt(energy * outgoingEnergy) : 0;
        if (score > bestScore) {
            bestScore = score;
            best = offset;
        }
    }
    return best;
}

void SeekCrossfade::join() {
    collecting_ = false;
    skipped_ = bestOffset();
    double product = 0;
    double incomingEnergy = 0;
    double outgoingEnergy = 0;
    for (uint32_t c = 0; c < channelCount_; ++c) {
        for (size_t k = 0; k < fadeFrames_; ++k) {
            const double a = outgoing_[c][k];
            const double b = incoming_[c][skipped_ + k];
            product += a * b;
            incomingEnergy += b * b;
            outgoingEnergy += a * a;
        }
    }
    const double likeness =
        incomingEnergy > 0 && outgoingEnergy > 0
            ? std::clamp(product / std::sqrt(incomingEnergy * outgoingEnergy), 0.0, 1.0)
            : 0.0;
    for (size_t k = 0; k < fadeFrames_; ++k) {
        const double position = (static_cast<double>(k) + 0.5) / static_cast<double>(fadeFrames_);
        const double in = 0.5 - 0.5 * std::cos(std::numbers::pi * position);
        const double away = 1.0 - in;
        // Keeps the power of the sum constant for signals of this likeness.
        const double norm = 1.0 / std::sqrt(in * in + away * away + 2.0 * likeness * in * away);
        const auto gainIn = static_cast<float>(in * norm);
        const auto gainAway = static_cast<float>(away * norm);
        for (uint32_t c = 0; c < channelCount_; ++c) {
            float& sample = incoming_[c][skipped_ + k];
            sample = sample * gainIn + outgoing_[c][k] * gainAway;
        }
    }
    pending_ = incomingFilled_ - skipped_;
    emitted_ = 0;
}

size_t SeekCrossfade::emit(float* const* out, size_t offset, size_t frames) {
    const size_t count = std::min(frames, pendingFrames());
    for (uint32_t c = 0; c < channelCount_; ++c) {
        std::copy_n(incoming_[c].data() + skipped_ + emitted_, count, out[c] + offset);
    }
    emitted_ += count;
    return count;
}

} // namespace tindrel::platform
