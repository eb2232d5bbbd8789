#include "Tindrel/analysis/KWeightBiquad.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tindrel {

float KWeightBiquad::process(float sample) {
    const float y = b0 * sample + z1;
    z1 = (b1 * sample - a1 * y) + z2;
    z2 = b2 * sample - a2 * y;
    return y;
}

KWeightBiquad KWeightBiquad::makePreFilter(double sampleRate) {
    const double fs = std::max(8000.0, sampleRate);
    const double k = std::tan(std::numbers::pi * 1681.974450955533 / fs);
    const double vh = std::pow(10.0, 0.19999219269866736);
    const double vb = std::pow(vh, 0.4996667741545416);
    const double q = 0.7071752369554196;
    const double a0 = 1 + k / q + k * k;
    return {float((vh + vb * k / q + k * k) / a0), float(2 * (k * k - vh) / a0),
            float((vh - vb * k / q + k * k) / a0), float(2 * (k * k - 1) / a0),
            float((1 - k / q + k * k) / a0)};
}

KWeightBiquad KWeightBiquad::makeRLBFilter(double sampleRate) {
    const double fs = std::max(8000.0, sampleRate);
    const double k = std::tan(std::numbers::pi * 38.13547087602444 / fs);
    const double q = 0.5003270373238773;
    const double a0 = 1 + k / q + k * k;
    return {float(1 / a0), float(-2 / a0), float(1 / a0), float(2 * (k * k - 1) / a0),
            float((1 - k / q + k * k) / a0)};
}

} // namespace tindrel
