// Times the measurement on 10- and 60-minute stereo 44.1 kHz files (WAV, FLAC, MP3, Ogg
// Vorbis) against libebur128 (integrated loudness and true peak over every frame of the same
// audio, read through the same reader), the loader's open of the 60-minute MP3 against a
// full decode of it by ffmpeg, and the measurement's peak memory. Prints "name: value unit"
// lines.

#include "Tindrel/analysis/UniversalAudioLoader.h"
#include "Tindrel/analysis/WaveformAndLUFS.h"
#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/ChildProcess.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <ebur128.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int sampleRate = 44100;
constexpr int channels = 2;

void print(const std::string& name, double value, const char* unit) {
    std::fputs((name + ": " + tindrel::formatNumber("%.3f", value) + " " + unit + "\n").c_str(),
               stdout);
}

// User and system time of the whole process so far, all threads, in seconds.
double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
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
bool writeNoise(const fs::path& path, int seconds) {
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

struct Encoding {
    const char* label;
    const char* extension;
    std::vector<std::string> codec; // ffmpeg arguments; none for the WAV itself
};

int main() {
    const fs::path folder =
        fs::temp_directory_path() / ("tindrel-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const Encoding encodings[] = {
        {"wav", ".wav", {}},
        {"flac", ".flac", {"-c:a", "flac"}},
        {"mp3", ".mp3", {"-c:a", "libmp3lame", "-b:a", "192k"}},
        {"ogg", ".ogg", {"-c:a", "libvorbis", "-q:a", "5"}},
    };
    print("analysis_bench_cores", double(std::thread::hardware_concurrency()), "cores");
    print("analysis_rss_before_mb", peakRssMegabytes(), "MB");
    for (const int minutes : {10, 60}) {
        const std::string length = std::to_string(minutes) + "min";
        const fs::path wav = folder / ("noise-" + length + ".wav");
        if (!writeNoise(wav, minutes * 60)) {
            fs::remove_all(folder);
            return 1;
        }
        for (const auto& encoding : encodings) {
            fs::path file = wav;
            if (!encoding.codec.empty()) {
                file = folder / ("noise-" + length + encoding.extension);
                std::vector<std::string> arguments{"-nostdin", "-y", "-v",
                                                   "error",    "-i", wav.string()};
                arguments.insert(arguments.end(), encoding.codec.begin(), encoding.codec.end());
                arguments.push_back(file.string());
                if (tindrel::platform::ChildProcess::run("/usr/bin/ffmpeg", arguments) != 0) {
                    fs::remove_all(folder);
                    return 1;
                }
            }
            const std::string name = std::string(encoding.label) + "_" + length;
            if (std::string(encoding.label) == "mp3" && minutes == 60) {
                std::vector<double> opens;
                for (int run = 0; run < 5; ++run)
                    opens.push_back(1000 * secondsFor([&] {
                                        tindrel::UniversalAudioLoader::openPlayableAudioFile(file);
                                    }));
                std::sort(opens.begin(), opens.end());
                const double decode =
                    1000 * secondsFor([&] {
                        tindrel::platform::ChildProcess::run(
                            "/usr/bin/ffmpeg",
                            {"-nostdin", "-v", "error", "-i", file.string(), "-f", "null", "-"});
                    });
                print("mp3_60min_open_ms", opens[opens.size() / 2], "ms");
                print("mp3_60min_ffmpeg_decode_ms", decode, "ms");
                print("mp3_60min_open_to_ffmpeg_decode_percent",
                      100 * opens[opens.size() / 2] / decode, "%");
            }
            // The median of three, as the machine may be shared.
            std::vector<double> runs;
            const double cpuBefore = processCpuSeconds();
            for (int run = 0; run < 3; ++run)
                runs.push_back(secondsFor([&] {
                    tindrel::extractWaveformAndLUFS(file, file, int64_t(fs::file_size(file)), 16,
                                                    0);
                }));
            std::sort(runs.begin(), runs.end());
            const double ours = runs[1];
            // CPU time over all threads, which a busy machine inflates less than wall time.
            const double oursCpu = (processCpuSeconds() - cpuBefore) / 3;
            const double reference = libebur128Seconds(file);
            print("analysis_" + name + "_s", ours, "s");
            print("analysis_" + name + "_cpu_s", oursCpu, "s");
            print("libebur128_" + name + "_s", reference, "s");
            print("ratio_vs_libebur128_" + name, reference / ours, "x");
            if (file != wav)
                fs::remove(file);
        }
        fs::remove(wav);
    }
    print("analysis_peak_rss_mb", peakRssMegabytes(), "MB");
    fs::remove_all(folder);
    return 0;
}
