#pragma once

// Audio fixtures of the store tests: short generated files in the rig's sandbox.

#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <stdexcept>
#include <vector>

namespace tindrel::test {

// A stereo 44.1 kHz 16-bit WAV of a -12 dBFS 440 Hz sine, `seconds` long.
inline std::filesystem::path writeToneFile(const std::filesystem::path& path, double seconds,
                                           double sampleRate = 44100, int channels = 2) {
    std::filesystem::create_directories(path.parent_path());
    writeAudioFile(path, sineSignal(440.0, 0.25, seconds, sampleRate, channels));
    return path;
}

// A stereo 44.1 kHz MP3 (LAME V5) of a 1 kHz sine at this RMS level in dBFS: a held tone, whose
// frames lean on the bit reservoir. Throws when ffmpeg cannot make it.
constexpr double mp3ToneLevelDb = -15.05;
inline std::filesystem::path writeMp3ToneFile(const std::filesystem::path& path, double seconds) {
    std::filesystem::create_directories(path.parent_path());
    const std::filesystem::path wav = path.string() + ".source.wav";
    writeAudioFile(wav, sineSignal(1000.0, 0.25, seconds));
    const bool encoded = encodeWithFfmpeg(wav, path, {"-c:a", "libmp3lame", "-q:a", "5"});
    std::filesystem::remove(wav);
    if (!encoded)
        throw std::runtime_error("cannot encode " + path.string());
    return path;
}

// The level in dBFS of the quietest 5 ms (at 44.1 kHz) of the first channel of `interleaved`:
// a gap shows as far below the signal around it.
inline double quietestLevelDb(const std::vector<float>& interleaved, int channels) {
    constexpr size_t window = 220;
    double quietest = 0;
    for (size_t k = 0; k + window * channels <= interleaved.size(); k += 64 * channels) {
        double sum = 0;
        for (size_t j = k; j < k + window * channels; j += channels)
            sum += double(interleaved[j]) * interleaved[j];
        quietest = std::min(quietest, 10 * std::log10(sum / window + 1e-30));
    }
    return quietest;
}

} // namespace tindrel::test
