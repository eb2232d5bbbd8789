#pragma once

// Audio fixtures of the store tests: short generated files in the rig's sandbox.

#include "tests/support/GeneratedAudio.h"

#include <filesystem>

namespace tindrel::test {

// A stereo 44.1 kHz 16-bit WAV of a -12 dBFS 440 Hz sine, `seconds` long.
inline std::filesystem::path writeToneFile(const std::filesystem::path& path, double seconds,
                                           double sampleRate = 44100, int channels = 2) {
    std::filesystem::create_directories(path.parent_path());
    writeAudioFile(path, sineSignal(440.0, 0.25, seconds, sampleRate, channels));
    return path;
}

} // namespace tindrel::test
