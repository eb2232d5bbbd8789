#pragma once

// An in-place radix-2 complex FFT of one fixed power-of-two size, its tables made in the
// constructor (which allocates); transform() does not allocate and may run on the render thread.

#include <complex>
#include <cstddef>
#include <vector>

namespace tindrel::platform {

class FourierTransform {
public:
    explicit FourierTransform(size_t size);

    size_t size() const { return twiddles_.size() * 2; }
    // Forward: X[k] = sum x[n] e^(-2 pi i k n / N). Inverse: the conjugate kernel, unscaled, so
    // a forward then inverse transform multiplies by N.
    void transform(std::complex<float>* data, bool inverse) const;

private:
    std::vector<std::complex<float>> twiddles_; // e^(-2 pi i k / N) for k < N / 2
    std::vector<size_t> swaps_;                 // pairs of bit-reversed indices
};

} // namespace tindrel::platform
