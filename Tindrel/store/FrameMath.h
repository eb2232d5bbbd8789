#pragma once

// Seconds to frame positions without undefined conversions. Pure; any thread.

#include <cstdint>

namespace tindrel {

// seconds x sampleRate truncated toward zero. NaN gives 0; values beyond the 64-bit range
// (infinities included) give the nearest end of that range.
int64_t framesForSeconds(double seconds, double sampleRate);

} // namespace tindrel
