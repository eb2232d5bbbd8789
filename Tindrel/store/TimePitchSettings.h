#pragma once

// The three parameters a warp gives the time-pitch unit, per mode. Shared by live playback and
// the offline export so both sound the same. Pure functions; any thread.

#include "Tindrel/store/WarpMode.h"

namespace tindrel {

struct TimePitchSettings {
    float overlap = 8.0f;
    float rate = 1.0f;
    float pitchCents = 0.0f;
    bool operator==(const TimePitchSettings&) const = default;
};

// Overlap 8, rate 1, pitch 0: what the unit plays outside the range in Range Only scope.
inline constexpr TimePitchSettings neutralTimePitchSettings{};

// Musical: overlap 12; beats: overlap 3.5; both with rate and pitch as given. Tape: overlap 8
// and a pitch that follows the rate (1200 x log2(rate), within +-2400 cents); `semitones` is
// not used.
TimePitchSettings warpedTimePitchSettings(WarpMode mode, float rate, float semitones);

} // namespace tindrel
