#include "Tindrel/analysis/TruePeakOversampler.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tindrel {
namespace {

constexpr int phases = 4;
constexpr int taps = TruePeakOversampler::tapsPerPhase;

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

} // namespace tindrel
