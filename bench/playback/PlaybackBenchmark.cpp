// CPU time the playback chain (player -> time-pitch -> mixer) spends per second of stereo
// 44.1 kHz audio, per warp setting. The chain is pulled offline on this thread, so the
// figure is the work one real-time callback would do, plus the streaming thread's reading.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using tindrel::platform::AudioEngine;
using tindrel::platform::AudioFile;
using tindrel::platform::AudioPcmBuffer;

constexpr double sampleRate = 44100;
constexpr double fileSeconds = 40;
constexpr double renderedSeconds = 20;

// Chords with a beat of noise bursts: both harmonic and percussive content for the stretcher.
std::filesystem::path writeFixture() {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tindrel-bench-playback-" + std::to_string(getpid()) + ".wav");
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        return {};
    }
    std::mt19937 random(7);
    std::uniform_real_distribution<float> noise(-1.0f, 1.0f);
    const auto frames = static_cast<int64_t>(fileSeconds * sampleRate);
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
    sf_writef_float(file, samples.data(), frames);
    sf_close(file);
    return path;
}

double processSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Milliseconds of CPU per second of output audio; negative on failure.
double measure(const AudioFile& file, float overlap, float rate, float cents) {
    AudioEngine engine;
    if (!engine.enableManualRenderingMode(file.processingFormat(), 512) || !engine.start()) {
        return -1;
    }
    engine.timePitchUnit().setOverlap(overlap);
    engine.timePitchUnit().setRate(rate);
    engine.timePitchUnit().setPitch(cents);
    engine.playerNode().scheduleSegment(file, 0, file.length());
    engine.playerNode().play();
    AudioPcmBuffer buffer(2, 512);
    const auto frames = static_cast<int64_t>(renderedSeconds * sampleRate);
    const double begin = processSeconds();
    while (engine.manualRenderingSampleTime() < frames) {
        if (engine.renderOffline(512, buffer) != AudioEngine::RenderStatus::success) {
            return -1;
        }
    }
    return (processSeconds() - begin) * 1000.0 / renderedSeconds;
}

} // namespace

int main() {
    const auto path = writeFixture();
    const auto file = path.empty() ? nullptr : AudioFile::openForReading(path);
    if (!file) {
        std::fputs("playback_fixture: failed\n", stderr);
        return 1;
    }
    struct Setting {
        const char* name;
        float overlap, rate, cents;
    };
    const float tapeCents = static_cast<float>(1200 * std::log2(1.25));
    const Setting settings[] = {
        {"neutral", 8, 1, 0},
        {"musical_1.25x_plus3st", 12, 1.25f, 300},
        {"beats_1.25x_plus3st", 3.5f, 1.25f, 300},
        {"tape_1.25x", 8, 1.25f, tapeCents},
    };
    for (const auto& setting : settings) {
        const double milliseconds = measure(*file, setting.overlap, setting.rate, setting.cents);
        std::fputs(tindrel::formatNumber("playback_cpu_%s: %.2f ms/s\n", setting.name, milliseconds)
                       .c_str(),
                   stdout);
    }
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
    return 0;
}
