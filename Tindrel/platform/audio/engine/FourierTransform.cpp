#include "Tindrel/platform/audio/engine/FourierTransform.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace tindrel::platform {

FourierTransform::FourierTransform(size_t size) : twiddles_(size / 2) {
    for (size_t k = 0; k < twiddles_.size(); ++k) {
        const double angle =
            -2 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(size);
        twiddles_[k] = {static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle))};
    }
    for (size_t i = 1, j = 0; i < size; ++i) {
        size_t bit = size >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            swaps_.push_back(i);
            swaps_.push_back(j);
        }
    }
}

void FourierTransform::transform(std::complex<float>* data, bool inverse) const {
    for (size_t k = 0; k < swaps_.size(); k += 2) {
        std::swap(data[swaps_[k]], data[swaps_[k + 1]]);
    }
    const size_t n = size();
    for (size_t length = 2; length <= n; length <<= 1) {
        const size_t half = length / 2;
        const size_t stride = n / length;
        for (size_t i = 0; i < n; i += length) {
            for (size_t j = 0; j < half; ++j) {
                const std::complex<float> w =
                    inverse ? std::conj(twiddles_[j * stride]) : twiddles_[j * stride];
                const std::complex<float> u = data[i + j];
                const std::complex<float> x = data[i + j + half];
                // Written out: the operator's NaN and infinity handling costs a call per product.
                const std::complex<float> v{x.real() * w.real() - x.imag() * w.imag(),
                                            x.real() * w.imag() + x.imag() * w.real()};
                data[i + j] = u + v;
                data[i + j + half] = u - v;
            }
        }
    }
}

} // namespace tindrel::platform
