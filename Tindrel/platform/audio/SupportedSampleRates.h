#pragma once

// The source sample rates the readers, the transcoder and the engine accept. A rate outside
// comes from a damaged or hostile header: a resampler set up for a gigahertz takes seconds and
// gigabytes of memory, and one for a few hertz turns kilobytes into gigabytes of 48 kHz audio.

namespace tindrel::platform {

inline constexpr double minimumSampleRate = 1000;
inline constexpr double maximumSampleRate = 768000;

// False for NaN as well.
constexpr bool isSupportedSampleRate(double rate) {
    return rate >= minimumSampleRate && rate <= maximumSampleRate;
}

} // namespace tindrel::platform
