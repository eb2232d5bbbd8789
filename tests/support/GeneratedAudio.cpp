#include "tests/support/GeneratedAudio.h"

#include <sndfile.h>

#include <cmath>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>

namespace tindrel::test {

Signal sineSignal(double frequency, double amplitude, double seconds, double sampleRate,
                  int channels, double phase) {
    Signal s{sampleRate, channels, {}};
    const auto frames = static_cast<int64_t>(std::llround(seconds * sampleRate));
    s.samples.resize(static_cast<size_t>(frames * channels));
    for (int64_t i = 0; i < frames; ++i) {
        const auto v = static_cast<float>(
            amplitude * std::sin(2 * std::numbers::pi * frequency * double(i) / sampleRate + phase));
        for (int c = 0; c < channels; ++c) s.samples[static_cast<size_t>(i * channels + c)] = v;
    }
    return s;
}

Signal pinkNoiseSignal(double rmsDb, double seconds, double sampleRate, int channels, uint32_t seed) {
    Signal s{sampleRate, channels, {}};
    const auto frames = static_cast<int64_t>(std::llround(seconds * sampleRate));
    s.samples.resize(static_cast<size_t>(frames * channels));
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> white(-1.f, 1.f);
    for (int c = 0; c < channels; ++c) {
        constexpr int rows = 16;
        float row[rows] = {};
        float sum = 0;
        double squares = 0;
        for (int64_t i = 0; i < frames; ++i) {
            // Voss-McCartney: the row of the lowest set bit of the counter changes.
            const int k = i == 0 ? 0 : std::min(rows - 1, __builtin_ctzll(static_cast<unsigned long long>(i)));
            sum -= row[k];
            row[k] = white(rng);
            sum += row[k];
            const float v = sum + white(rng);
            s.samples[static_cast<size_t>(i * channels + c)] = v;
            squares += double(v) * v;
        }
        const double rms = std::sqrt(squares / double(std::max<int64_t>(1, frames)));
        const double gain = std::pow(10.0, rmsDb / 20.0) / std::max(rms, 1e-12);
        for (int64_t i = 0; i < frames; ++i) s.samples[static_cast<size_t>(i * channels + c)] *= float(gain);
    }
    return s;
}

Signal silenceSignal(double seconds, double sampleRate, int channels) {
    Signal s{sampleRate, channels, {}};
    s.samples.assign(static_cast<size_t>(std::llround(seconds * sampleRate) * channels), 0.f);
    return s;
}

namespace {

int majorFormatFor(const std::filesystem::path& path) {
    const std::string ext = path.extension().string();
    if (ext == ".wav") return SF_FORMAT_WAV;
    if (ext == ".aif" || ext == ".aiff") return SF_FORMAT_AIFF;
    if (ext == ".flac") return SF_FORMAT_FLAC;
    if (ext == ".ogg") return SF_FORMAT_OGG;
    if (ext == ".caf") return SF_FORMAT_CAF;
    throw std::runtime_error("no writer for " + ext);
}

int subtypeFor(int major, SampleEncoding encoding) {
    if (major == SF_FORMAT_OGG) return SF_FORMAT_VORBIS;
    switch (encoding) {
    case SampleEncoding::Pcm16: return SF_FORMAT_PCM_16;
    case SampleEncoding::Pcm24: return SF_FORMAT_PCM_24;
    case SampleEncoding::Float32: return major == SF_FORMAT_FLAC ? SF_FORMAT_PCM_24 : SF_FORMAT_FLOAT;
    }
    return SF_FORMAT_PCM_16;
}

} // namespace

void writeAudioFile(const std::filesystem::path& path, const Signal& signal, SampleEncoding encoding) {
    SF_INFO info{};
    info.samplerate = static_cast<int>(signal.sampleRate);
    info.channels = signal.channels;
    const int major = majorFormatFor(path);
    info.format = major | subtypeFor(major, encoding);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error("cannot write " + path.string() + ": " + sf_strerror(nullptr));
    if (encoding != SampleEncoding::Float32) {
        // Keep the float range as given; clipping belongs to the signal, not the writer.
        sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    }
    const sf_count_t written = sf_writef_float(file, signal.samples.data(), signal.frames());
    sf_close(file);
    if (written != signal.frames()) throw std::runtime_error("short write to " + path.string());
}

Signal readAudioFile(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error("cannot read " + path.string());
    Signal s{double(info.samplerate), info.channels, {}};
    s.samples.resize(static_cast<size_t>(info.frames * info.channels));
    const sf_count_t got = sf_readf_float(file, s.samples.data(), info.frames);
    s.samples.resize(static_cast<size_t>(std::max<sf_count_t>(0, got) * info.channels));
    sf_close(file);
    return s;
}

} // namespace tindrel::test
