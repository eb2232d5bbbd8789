#include "Tindrel/platform/audio/engine/OnsetDetector.h"

#include <algorithm>
#include <cmath>

namespace tindrel::platform {

namespace {

constexpr float floorPower = 1e-10f; // -100 dB: silence rises from here
constexpr int64_t meanSpan = 10;     // frames before a candidate its flux is compared with
constexpr double riseDb = 2.0;       // above that mean
constexpr int64_t spacing = 3;
constexpr double lowRiseDb = 9.0; // the low bins' level above the loudest of the frames before
constexpr int64_t lowSpan = 3;
constexpr double lowFloorDb = -50.0; // a kick at -30 dBFS or more

} // namespace

OnsetDetector::OnsetDetector(size_t bins, size_t lowBins)
    : previous_(bins), current_(bins), lowBins_(std::clamp<size_t>(lowBins, 1, bins - 1)) {}

void OnsetDetector::start(int64_t settling) {
    frames_ = 0;
    settling_ = settling;
    lastHit_ = -100;
    flux_.fill(0.0);
    low_.fill(-100.0);
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
    double low = floorPower;
    for (size_t k = 1; k <= lowBins_; ++k) {
        low += power[k];
    }
    flux_[static_cast<size_t>(frames_) % flux_.size()] = rise / static_cast<double>(bins);
    low_[static_cast<size_t>(frames_) % low_.size()] = 10 * std::log10(low);
    ++frames_;

    const int64_t candidate = frames_ - 1 - lookahead;
    if (candidate - meanSpan < settling_ || candidate - lastHit_ < spacing) {
        return std::nullopt;
    }
    const auto fluxAt = [&](int64_t frame) {
        return flux_[static_cast<size_t>(frame) % flux_.size()];
    };
    const auto lowRiseAt = [&](int64_t frame) {
        double before = -100;
        for (int64_t k = frame - lowSpan; k < frame; ++k) {
            before = std::max(before, low_[static_cast<size_t>(k) % low_.size()]);
        }
        return low_[static_cast<size_t>(frame) % low_.size()] - before;
    };
    const double lowRise = lowRiseAt(candidate);
    bool lowHit =
        lowRise > lowRiseDb && low_[static_cast<size_t>(candidate) % low_.size()] > lowFloorDb;
    for (int64_t k = candidate - lowSpan; lowHit && k <= candidate + lookahead; ++k) {
        lowHit = k == candidate || lowRiseAt(k) <= lowRise;
    }
    if (lowHit) {
        lastHit_ = candidate;
        return candidate;
    }
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
