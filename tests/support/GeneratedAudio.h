#pragma once

// Test signals and a WAV/AIFF/FLAC/OGG/CAF writer (libsndfile) for fixtures made at run time.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace tindrel::test {

// Interleaved float samples.
struct Signal {
    double sampleRate = 44100;
    int channels = 2;
    std::vector<float> samples;
    int64_t frames() const { return channels ? static_cast<int64_t>(samples.size()) / channels : 0; }
    float at(int64_t frame, int channel) const { return samples[static_cast<size_t>(frame * channels + channel)]; }
};

// A sine of `frequency` Hz at `amplitude` (linear), same on every channel, phase in radians.
Signal sineSignal(double frequency, double amplitude, double seconds, double sampleRate = 44100,
                  int channels = 2, double phase = 0);
// Pink noise (Voss-McCartney), deterministic for a seed, scaled to `rmsDb` dBFS per channel.
Signal pinkNoiseSignal(double rmsDb, double seconds, double sampleRate = 44100, int channels = 2,
                       uint32_t seed = 1);
// Digital silence.
Signal silenceSignal(double seconds, double sampleRate = 44100, int channels = 2);

enum class SampleEncoding { Pcm16, Pcm24, Float32 };

// Writes the signal; the container follows the extension (.wav .aif .aiff .flac .ogg .caf).
// Throws std::runtime_error on failure.
void writeAudioFile(const std::filesystem::path& path, const Signal& signal,
                    SampleEncoding encoding = SampleEncoding::Pcm16);

// Reads any file libsndfile opens into interleaved floats (for comparing with a decode).
Signal readAudioFile(const std::filesystem::path& path);

} // namespace tindrel::test
