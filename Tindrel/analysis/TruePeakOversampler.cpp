#include "Tindrel/analysis/TruePeakOversampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tindrel {
namespace {

constexpr int phases = 4;
constexpr int taps = TruePeakOversampler::tapsPerPhase;
// Output samples computed side by side in processBlock().
constexpr int lanes = 8;

double besselI0(double x) {
    double sum = 1, term = 1;
    for (int k = 1; k < 40; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

// Coefficients of the three in-between phases, newest input first; phase 0 is the input.
struct Interpolator {
    std::array<std::array<float, taps>, phases - 1> phase{};

    Interpolator() {
        constexpr int length = phases * taps + 1; // odd, so phase 0 falls on input samples
        constexpr double centre = (length - 1) / 2.0;
        constexpr double beta = 8.0;
        for (int p = 1; p < phases; ++p) {
            double sum = 0;
            std::array<double, taps> h{};
            for (int k = 0; k < taps; ++k) {
                const double i = phases * k + p;
                const double t = (i - centre) / phases;
                const double sinc = std::sin(std::numbers::pi * t) / (std::numbers::pi * t);
                const double r = (i - centre) / centre;
                const double window = besselI0(beta * std::sqrt(1 - r * r)) / besselI0(beta);
                h[size_t(k)] = sinc * window;
                sum += h[size_t(k)];
            }
            // Unity gain at DC for each phase keeps a constant signal at its level.
            for (int k = 0; k < taps; ++k)
                phase[size_t(p - 1)][size_t(k)] = float(h[size_t(k)] / sum);
        }
    }
};

const Interpolator& interpolator() {
    static const Interpolator instance;
    return instance;
}

} // namespace

TruePeakOversampler::TruePeakOversampler() {
    interpolator();
}

void TruePeakOversampler::restart() {
    history_.fill(0);
    known_ = 0;
}

float TruePeakOversampler::process(float sample) {
    // Two copies of the ring make the newest tapsPerPhase samples one contiguous run.
    newest_ = (newest_ + taps - 1) % taps;
    history_[size_t(newest_)] = history_[size_t(newest_ + taps)] = sample;
    float peak = std::abs(sample);
    if (known_ < taps) {
        ++known_;
        return peak;
    }
    const float* recent = history_.data() + newest_;
    peak = std::max(peak, std::abs(recent[delay]));
    for (const auto& coefficients : interpolator().phase) {
        float value = 0;
        for (int k = 0; k < taps; ++k)
            value += coefficients[size_t(k)] * recent[k];
        peak = std::max(peak, std::abs(value));
    }
    return peak;
}

float TruePeakOversampler::processBlock(const float* samples, int64_t count, int64_t from) {
    float largest = 0;
    int64_t i = 0;
    for (; i < count && known_ < taps; ++i) {
        const float peak = process(samples[i]);
        if (i >= from)
            largest = std::max(largest, peak);
    }
    const Interpolator& coefficients = interpolator();
    // The previous taps - 1 samples, oldest first, then the block itself.
    constexpr int64_t span = 256;
    std::array<float, taps - 1 + span> window{};
    while (i < count) {
        const int64_t n = std::min(span, count - i);
        for (int k = 1; k < taps; ++k)
            window[size_t(taps - 1 - k)] = history_[size_t(newest_ + k - 1)];
        std::copy(samples + i, samples + i + n, window.begin() + (taps - 1));
        const float* x = window.data() + (taps - 1); // x[j - k]: k samples before block sample j
        for (int64_t j = 0; j < n; j += lanes) {
            const int64_t m = std::min<int64_t>(lanes, n - j);
            float sums[phases - 1][lanes] = {};
            for (int k = 0; k < taps; ++k)
                for (int p = 0; p < phases - 1; ++p)
                    for (int l = 0; l < lanes; ++l)
                        sums[p][l] += coefficients.phase[size_t(p)][size_t(k)] * x[j + l - k];
            for (int64_t l = 0; l < m; ++l) {
                if (i + j + l < from)
                    continue;
                float peak = std::max(std::abs(x[j + l]), std::abs(x[j + l - delay]));
                for (int p = 0; p < phases - 1; ++p)
                    peak = std::max(peak, std::abs(sums[p][l]));
                largest = std::max(largest, peak);
            }
        }
        // The ring again holds the newest samples, newest first from index 0.
        newest_ = 0;
        for (int k = 0; k < taps; ++k)
            history_[size_t(k)] = history_[size_t(k + taps)] = x[n - 1 - k];
        i += n;
    }
    return largest;
}

} // namespace tindrel
