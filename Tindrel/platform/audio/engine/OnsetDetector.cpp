#include "Tindrel/platform/audio/engine/OnsetDetector.h"

#include <algorithm>
#include <cmath>

namespace tindrel::platform {

namespace {

constexpr float floorPower = 1e-10f; // -100 dB: silence rises from here
constexpr int64_t meanSpan = 10;     // frames before a candidate its flux is compared with
constexpr double riseDb = 2.0;       // above that mean
constexpr int64_t spacing = 3;

} // namespace

OnsetDetector::OnsetDetector(size_t bins) : previous_(bins), current_(bins) {}

void OnsetDetector::start(int64_t settling) {
    frames_ = 0;
    settling_ = settling;
    lastHit_ = -100;
    flux_.fill(0.0);
}

std::optional<int64_t> OnsetDetector::push(const float* power) {
    const size_t bins = current_.size();
    for (size_t k = 0; k < bins; ++k) {
        current_[k] = 10.0f * std::log10(power[k] + floorPower);
    }
    double rise = 0;
    if (frames_ > 0) {
        for (size_t k = 1; k + 1 < bins; ++k) {
            const float before = std::max({previous_[k - 1], previous_[k], previous_[k + 1]});
            rise += std::max(0.0f, current_[k] - before);
        }
    }
    std::swap(previous_, current_);
    flux_[static_cast<size_t>(frames_) % flux_.size()] = rise / static_cast<double>(bins);
    ++frames_;

    const int64_t candidate = frames_ - 1 - lookahead;
    if (candidate - meanSpan < settling_ || candidate - lastHit_ < spacing) {
        return std::nullopt;
    }
    const auto fluxAt = [&](int64_t frame) {
        return flux_[static_cast<size_t>(frame) % flux_.size()];
    };
    const double value = fluxAt(candidate);
    double mean = 0;
    for (int64_t k = candidate - meanSpan; k <= candidate + lookahead; ++k) {
        if (k >= candidate - lookahead && fluxAt(k) > value) {
            return std::nullopt; // not the peak
        }
        mean += fluxAt(k);
    }
    mean /= static_cast<double>(meanSpan + lookahead + 1);
    if (value < mean + riseDb) {
        return std::nullopt;
    }
    lastHit_ = candidate;
    return candidate;
}

} // namespace tindrel::platform
