#include "Tindrel/store/FrameMath.h"

#include <cmath>
#include <limits>

namespace tindrel {

int64_t framesForSeconds(double seconds, double sampleRate) {
    const double frames = std::trunc(seconds * sampleRate);
    if (std::isnan(frames))
        return 0;
    // 2^63 is exactly representable; anything at or beyond it would overflow the cast.
    constexpr double limit = 9223372036854775808.0;
    if (frames >= limit)
        return std::numeric_limits<int64_t>::max();
    if (frames < -limit)
        return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(frames);
}

} // namespace tindrel
