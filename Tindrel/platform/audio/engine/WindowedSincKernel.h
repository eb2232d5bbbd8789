#pragma once

// The interpolation kernel of a band-limited resampler: sin(pi x) / (pi x) under a Kaiser window
// that ends `zeroCrossings` zero crossings either side, tabulated once (the constructor
// allocates) and read with linear interpolation. at() does not allocate and may run on the
// render thread.

#include <vector>

namespace tindrel::platform {

class WindowedSincKernel {
public:
    explicit WindowedSincKernel(int zeroCrossings);
    int zeroCrossings() const { return zeroCrossings_; }
    // The kernel at x, in zero crossings from its centre: 1 at 0, 0 at other whole numbers and
    // from zeroCrossings() on.
    float at(double x) const;

private:
    int zeroCrossings_;
    std::vector<float> table_; // by 1 / stepsPerCrossing, from 0
};

} // namespace tindrel::platform
