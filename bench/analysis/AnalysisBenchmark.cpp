// Times the measurement on a 10-minute stereo 44.1 kHz file (WAV and MP3) against libebur128
// (integrated loudness and true peak over every frame) and reports the measurement's peak
// memory. Prints "name: value unit" lines.

#include "Tindrel/analysis/WaveformAndLUFS.h"
#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/ChildProcess.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <ebur128.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int sampleRate = 44100;
constexpr int channels = 2;
constexpr int seconds = 600;

void print(const std::string& name, double value, const char* unit) {
    std::fputs((name + ": " + tindrel::formatNumber("%.3f", value) + " " + unit + "\n").c_str(),
               stdout);
}

double peakRssMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0;
}

template <typename Work> double secondsFor(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Pink-ish noise with a slow level swing, written a second at a time to keep memory low.
bool writeNoise(const fs::path& path) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> white(-1.f, 1.f);
    float state[channels][3] = {};
    std::vector<float> block(size_t(sampleRate * channels));
    for (int s = 0; s < seconds; ++s) {
        const float level = 0.15f + 0.1f * float(s % 7) / 7;
        for (int i = 0; i < sampleRate; ++i) {
            for (int c = 0; c < channels; ++c) {
                const float w = white(rng);
                // Three leaky integrators approximate a -3 dB/octave slope.
                state[c][0] = 0.997f * state[c][0] + 0.029f * w;
                state[c][1] = 0.963f * state[c][1] + 0.033f * w;
                state[c][2] = 0.57f * state[c][2] + 0.1f * w;
                block[size_t(i * channels + c)] =
                    level * (state[c][0] + state[c][1] + state[c][2] + 0.18f * w) * 2;
            }
        }
        if (sf_writef_float(file, block.data(), sampleRate) != sampleRate) {
            sf_close(file);
            return false;
        }
    }
    sf_close(file);
    return true;
}

double libebur128Seconds(const fs::path& path) {
    return secondsFor([&] {
        auto file = tindrel::platform::AudioFile::openForReading(path);
        const uint32_t count = file->processingFormat().channelCount;
        ebur128_state* state =
            ebur128_init(count, static_cast<unsigned long>(file->processingFormat().sampleRate),
                         EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
        tindrel::platform::AudioPcmBuffer buffer(count, 16384);
        std::vector<float> interleaved(size_t(16384) * count);
        while (file->read(buffer, 16384) && buffer.frameLength() > 0) {
            for (int64_t i = 0; i < buffer.frameLength(); ++i)
                for (uint32_t c = 0; c < count; ++c)
                    interleaved[size_t(i) * count + c] = buffer.channelData(c)[i];
            ebur128_add_frames_float(state, interleaved.data(), size_t(buffer.frameLength()));
        }
        double loudness = 0, peak = 0;
        ebur128_loudness_global(state, &loudness);
        for (uint32_t c = 0; c < count; ++c)
            ebur128_true_peak(state, c, &peak);
        ebur128_destroy(&state);
    });
}

} // namespace

int main() {
    const fs::path folder =
        fs::temp_directory_path() / ("tindrel-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path wav = folder / "noise.wav";
    const fs::path mp3 = folder / "noise.mp3";
    if (!writeNoise(wav) ||
        tindrel::platform::ChildProcess::run("/usr/bin/ffmpeg",
                                             {"-nostdin", "-y", "-i", wav.string(), "-c:a",
                                              "libmp3lame", "-b:a", "192k", mp3.string()}) != 0) {
        fs::remove_all(folder);
        return 1;
    }

    print("analysis_rss_before_mb", peakRssMegabytes(), "MB");
    struct Run {
        const char* label;
        fs::path path;
        double ours = 0;
    } runs[] = {{"wav", wav}, {"mp3", mp3}};
    for (auto& run : runs) {
        run.ours = secondsFor([&] {
            tindrel::extractWaveformAndLUFS(run.path, run.path, int64_t(fs::file_size(run.path)),
                                            16, 0);
        });
        print(std::string("analysis_") + run.label + "_10min_s", run.ours, "s");
    }
    print("analysis_peak_rss_mb", peakRssMegabytes(), "MB");
    for (const auto& run : runs) {
        const double reference = libebur128Seconds(run.path);
        print(std::string("libebur128_") + run.label + "_10min_s", reference, "s");
        print(std::string("ratio_vs_libebur128_") + run.label, reference / run.ours, "x");
    }
    fs::remove_all(folder);
    return 0;
}
