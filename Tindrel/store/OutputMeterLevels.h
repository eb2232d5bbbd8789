#pragma once

// The level meters' reading of one block of the mixer's output. Pure; any thread (the store
// calls it on the engine's tap worker).

#include <optional>

namespace tindrel {

namespace platform {
class AudioPcmBuffer;
}

struct OutputMeterLevels {
    float leftDB = -60.0f;
    float rightDB = -60.0f;
};

// RMS of channel 0 (left) and channel 1 (right; channel 0 again for mono) over every
// max(1, frames / 128)-th frame, as max(-60, 20 log10(max(1e-5, rms))) dB with no upper limit.
// Non-finite samples count as 0. No value for a buffer without channels or frames.
std::optional<OutputMeterLevels> measureOutputMeterLevels(const platform::AudioPcmBuffer& buffer);

} // namespace tindrel
