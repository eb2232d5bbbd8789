#pragma once

// The playback benchmarks' material: a four-note chord with a beat of noise bursts every half
// second, both harmonic and percussive content for the stretchers, written as a float stereo
// WAV. Header only, for the benchmark programs.

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <numbers>
#include <random>
#include <vector>

namespace tindrel::bench {

inline bool writeChordsAndDrumsFile(const std::filesystem::path& path, double sampleRate,
                                    double seconds) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        return false;
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const auto frames = static_cast<int64_t>(seconds * sampleRate);
    std::vector<float> samples(static_cast<size_t>(frames) * 2);
    for (int64_t k = 0; k < frames; ++k) {
        const double t = static_cast<double>(k) / sampleRate;
        double chord = 0;
        for (double frequency : {220.0, 277.2, 329.6, 440.0}) {
            chord += 0.08 * std::sin(2 * std::numbers::pi * frequency * t);
        }
        const double beat = std::fmod(t, 0.5);
        const double burst = beat < 0.05 ? 0.3 * (1 - beat / 0.05) * noise(random) : 0.0;
        samples[static_cast<size_t>(2 * k)] = static_cast<float>(chord + burst);
        samples[static_cast<size_t>(2 * k + 1)] = static_cast<float>(0.9 * chord + burst);
    }
    const bool whole = sf_writef_float(file, samples.data(), frames) == frames;
    return sf_close(file) == 0 && whole;
}

} // namespace tindrel::bench
