#include "Tindrel/store/TimePitchSettings.h"

#include <algorithm>
#include <cmath>

namespace tindrel {

TimePitchSettings warpedTimePitchSettings(WarpMode mode, float rate, float semitones) {
    switch (mode) {
    case WarpMode::musical:
        return {12.0f, rate, semitones * 100.0f};
    case WarpMode::beats:
        return {3.5f, rate, semitones * 100.0f};
    case WarpMode::tape:
        break;
    }
    const float cents = 1200.0f * std::log2(std::max(0.25f, rate));
    return {8.0f, rate, std::clamp(cents, -2400.0f, 2400.0f)};
}

} // namespace tindrel
