#include "Tindrel/platform/audio/engine/WindowedSincKernel.h"

#include <cmath>
#include <numbers>

namespace tindrel::platform {

namespace {

constexpr int stepsPerCrossing = 512;
// Side lobes some 90 dB down.
constexpr double kaiserBeta = 9.0;

double besselI0(double x) {
    double sum = 1;
    double term = 1;
    for (int k = 1; k < 50 && term > 1e-12 * sum; ++k) {
        term *= (x / (2 * k)) * (x / (2 * k));
        sum += term;
    }
    return sum;
}

} // namespace

WindowedSincKernel::WindowedSincKernel(int zeroCrossings)
    : zeroCrossings_(zeroCrossings),
      table_(static_cast<size_t>(zeroCrossings * stepsPerCrossing) + 2) {
    const double norm = besselI0(kaiserBeta);
    for (size_t k = 0; k < table_.size(); ++k) {
        const double x = static_cast<double>(k) / stepsPerCrossing;
        const double edge = x / zeroCrossings;
        if (edge >= 1) {
            table_[k] = 0;
            continue;
        }
        // Exact zeros at whole numbers, so that reading on the samples copies them.
        const bool whole = k % stepsPerCrossing == 0;
        const double sinc = k == 0  ? 1
                            : whole ? 0
                                    : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
        table_[k] =
            static_cast<float>(sinc * besselI0(kaiserBeta * std::sqrt(1 - edge * edge)) / norm);
    }
}

float WindowedSincKernel::at(double x) const {
    const double place = std::abs(x) * stepsPerCrossing;
    if (place >= static_cast<double>(table_.size() - 2)) {
        return 0;
    }
    const auto index = static_cast<size_t>(place);
    const auto fraction = static_cast<float>(place - static_cast<double>(index));
    return table_[index] + fraction * (table_[index + 1] - table_[index]);
}

} // namespace tindrel::platform
