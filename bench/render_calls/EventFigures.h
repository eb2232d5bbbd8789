#pragma once

// The render benchmark's figures after its grid, each through a paced device of its own:
//  - a loop's wrap as heard: a file of 600 Hz before In, 440 Hz inside, 1600 Hz over the last
//    50 ms before Out and 1000 Hz after Out, a 1 s loop wrapped by the transport's tick. Each
//    output sample takes the strongest of the tones over the 4 ms around it: the longest run of
//    samples of the tone after Out is what is heard past Out, and the run of the tone before Out
//    short of its 50 ms of source is the cut before Out;
//  - seeks at 44.1 to 192 kHz with 1 to 8 channels, unwarped and in each mode at its costliest
//    settings, one every 250 ms, counting the seeks after which the device found frames missing
//    and, beside them, the frames a second without seeks loses;
//  - the grid's hardest settings with two busy loops on the cores the program may use (pin it
//    with taskset to share them), with a seek every half second and a 1 s loop.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "bench/render_calls/PacedDevice.h"
#include "bench/render_calls/TransportTicks.h"

#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tindrel::bench {

// A float WAV whose channel c at time t is 0.3 sin of `frequency(c, t)`'s phase.
inline std::filesystem::path
writeToneFile(const char* name, double sampleRate, uint32_t channels, double seconds,
              const std::function<double(uint32_t, double)>& frequency) {
    const auto path =
        std::filesystem::temp_directory_path() /
        (std::string("tindrel-bench-") + name + "-" + std::to_string(getpid()) + ".wav");
    SF_INFO info{};
    info.samplerate = static_cast<int>(sampleRate);
    info.channels = static_cast<int>(channels);
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) {
        return {};
    }
    const auto frames = static_cast<int64_t>(seconds * sampleRate);
    std::vector<double> phase(channels, 0.0);
    std::vector<float> frame(channels);
    for (int64_t k = 0; k < frames; ++k) {
        const double t = static_cast<double>(k) / sampleRate;
        for (uint32_t c = 0; c < channels; ++c) {
            phase[c] += 2 * std::numbers::pi * frequency(c, t) / sampleRate;
            frame[c] = static_cast<float>(0.3 * std::sin(phase[c]));
        }
        sf_writef_float(file, frame.data(), 1);
    }
    sf_close(file);
    return path;
}

// The fixture opened for playing; none, said on stderr, when it does not open.
inline std::unique_ptr<platform::AudioFile> openFixture(const std::filesystem::path& path) {
    std::string error;
    std::unique_ptr<platform::AudioFile> file = platform::AudioFile::openForReading(path, &error);
    if (!file) {
        std::fprintf(stderr, "bench_render_calls: %s\n", error.c_str());
    }
    return file;
}

inline double goertzelPower(const float* x, size_t count, double frequency, double sampleRate) {
    const double coefficient = 2 * std::cos(2 * std::numbers::pi * frequency / sampleRate);
    double s1 = 0;
    double s2 = 0;
    for (size_t k = 0; k < count; ++k) {
        const double s0 = x[k] + coefficient * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coefficient * s1 * s2;
}

// Plays from `from` and lets the first quanta after a start from silence pass: not an event.
inline void startPlaying(platform::AudioPlayerNode& player, const platform::AudioFile& file,
                         int64_t from) {
    player.stop();
    player.scheduleSegment(file, from, file.length() - from);
    player.play();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

struct WarpCase {
    const char* mode;
    float overlap;
    float rate;
    float cents;
};

// Wires `engine` for `rate` stereo, starts it and sets the warp of `setting`.
inline void startEngine(platform::AudioEngine& engine, double rate, const WarpCase& setting) {
    engine.connect({rate, 2});
    engine.start();
    engine.timePitchUnit().setOverlap(setting.overlap);
    engine.timePitchUnit().setRate(setting.rate);
    engine.timePitchUnit().setPitch(setting.cents);
}

// Per output sample, which of `tones` (Hz) sounds strongest over the Hann window of `width`
// samples centred on it.
inline std::vector<uint8_t> strongestTones(const std::vector<float>& x,
                                           const std::vector<double>& tones, size_t width,
                                           double sampleRate) {
    std::vector<float> windowed(width);
    std::vector<uint8_t> strongest(x.size(), 0);
    for (size_t at = 0; at + width <= x.size(); ++at) {
        for (size_t k = 0; k < width; ++k) {
            const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * static_cast<double>(k) /
                                                     static_cast<double>(width - 1));
            windowed[k] = static_cast<float>(hann * x[at + k]);
        }
        double best = -1;
        for (size_t t = 0; t < tones.size(); ++t) {
            const double power = goertzelPower(windowed.data(), width, tones[t], sampleRate);
            if (power > best) {
                best = power;
                strongest[at + width / 2] = static_cast<uint8_t>(t);
            }
        }
    }
    return strongest;
}

// The lengths of the stretches of samples whose strongest tone is `tone`, bridging breaks of
// fewer than `bridged` samples, that last `shortest` samples or more.
inline std::vector<size_t> stretchesOf(const std::vector<uint8_t>& strongest, uint8_t tone,
                                       size_t bridged, size_t shortest) {
    std::vector<size_t> stretches;
    size_t first = 0;
    size_t last = 0; // one past the latest sample of `tone`; 0: none yet
    const auto close = [&] {
        if (last > 0 && last - first >= shortest) {
            stretches.push_back(last - first);
        }
    };
    for (size_t k = 0; k < strongest.size(); ++k) {
        if (strongest[k] != tone) {
            continue;
        }
        if (last == 0 || k - last >= bridged) {
            close();
            first = k;
        }
        last = k + 1;
    }
    close();
    return stretches;
}

inline void printLoopWrapFigures(double secondsPerSetting) {
    constexpr double rate = 48000;
    constexpr double markerSeconds = 0.05;
    const auto path = writeToneFile("loop-wrap", rate, 2, 6, [](uint32_t, double t) {
        return t < 2 ? 600.0 : t < 3 - markerSeconds ? 440.0 : t < 3 ? 1600.0 : 1000.0;
    });
    const std::unique_ptr<platform::AudioFile> file = openFixture(path);
    if (!file) {
        return;
    }
    const WarpCase cases[] = {
        {"musical", 12, 1.25f, 300}, {"musical", 12, 1, 0},     {"musical", 12, 2, 700},
        {"musical", 12, 0.5f, 0},    {"musical", 12, 0.25f, 0}, {"beats", 3.5f, 4, 2400},
        {"beats", 3.5f, 1, 0},       {"beats", 3.5f, 0.5f, 0},  {"beats", 3.5f, 0.25f, 0},
        {"tape", 8, 2, 1200},        {"tape", 8, 1, 0},         {"tape", 8, 4, 2400},
        {"tape", 8, 0.5f, -1200},
    };
    const double seconds = std::max(2.0, 4 * secondsPerSetting);
    for (const uint32_t block : {256u, 512u}) {
        for (const WarpCase& c : cases) {
            std::vector<double> calls;
            calls.reserve(static_cast<size_t>((seconds + 1) * rate / block));
            std::vector<float> heard;
            heard.reserve(static_cast<size_t>((seconds + 1) * rate));
            std::atomic<bool> recording{false};
            platform::AudioEngine engine(
                [&] { return std::make_unique<PacedDevice>(block, calls, recording, &heard); });
            startEngine(engine, rate, c);
            startPlaying(engine.playerNode(), *file, static_cast<int64_t>(2 * rate));
            const int64_t underrunsBefore = engine.underrunFrames();
            recording = true;
            const TransportRun run = runTransport(
                engine.playerNode(), *file, rate, static_cast<int64_t>(2 * rate),
                static_cast<int64_t>(3 * rate), seconds, 0, static_cast<int64_t>(2 * rate));
            recording = false;
            engine.stop();
            const int64_t missing = engine.underrunFrames() - underrunsBefore;
            const double scale = std::exp2(c.cents / 1200.0);
            enum : uint8_t { inside, marker, after };
            const std::vector<uint8_t> strongest =
                strongestTones(heard, {440 * scale, 1600 * scale, 1000 * scale}, 192, rate);
            const std::vector<size_t> pastOut = stretchesOf(strongest, after, 1, 1);
            const size_t longestPastOut =
                pastOut.empty() ? 0 : *std::max_element(pastOut.begin(), pastOut.end());
            // Breaks under a quarter of its length are the onset of the tone before Out (a slow
            // stretcher's is ragged), stretches under 1 ms the analysis's own flicker; the last
            // may be cut by the end of the recording.
            const double due = markerSeconds / c.rate * 1e3;
            const std::vector<size_t> markers =
                stretchesOf(strongest, marker, static_cast<size_t>(due / 4 * rate / 1e3), 48);
            double worstCut = 0;
            for (size_t k = 0; k + 1 < markers.size(); ++k) {
                worstCut = std::max(worstCut, due - static_cast<double>(markers[k]) / rate * 1e3);
            }
            std::printf("%s\n", formatNumber(
                                    "loop_wrap_%s_%u_%.2fx_%+.0fst: %d wraps, past Out at most %zu "
                                    "samples (%.1f ms) heard, cut before Out at most %.1f ms, "
                                    "underrun %.1f ms",
                                    c.mode, block, c.rate, c.cents / 100, run.wraps, longestPastOut,
                                    static_cast<double>(longestPastOut) / rate * 1e3, worstCut,
                                    static_cast<double>(missing) / rate * 1e3)
                                    .c_str());
            std::fflush(stdout);
        }
    }
    std::filesystem::remove(path);
}

inline void printHighRateSeekFigures(double secondsPerSetting) {
    const int seeks = static_cast<int>(std::lround(40 * secondsPerSetting));
    // Unwarped, and each mode at the speed and pitches that cost it most.
    const WarpCase cases[] = {
        {"neutral", 8, 1, 0},      {"musical", 12, 4, -2400}, {"musical", 12, 4, 2400},
        {"beats", 3.5f, 4, -2400}, {"beats", 3.5f, 4, 2400},  {"tape", 8, 4, 2400},
    };
    for (const double rate : {44100.0, 96000.0, 192000.0}) {
        for (const uint32_t channels : {1u, 2u, 8u}) {
            const auto path = writeToneFile("high-rate", rate, channels, 8,
                                            [](uint32_t c, double) { return 220.0 * (1 + c); });
            const std::unique_ptr<platform::AudioFile> file = openFixture(path);
            if (!file) {
                continue;
            }
            for (const WarpCase& c : cases) {
                std::vector<double> calls;
                calls.reserve(static_cast<size_t>(seeks * 0.25 * rate / 512 + 64));
                std::atomic<bool> recording{false};
                platform::AudioEngine engine(
                    [&] { return std::make_unique<PacedDevice>(512, calls, recording); });
                engine.connect({rate, channels});
                engine.start();
                engine.timePitchUnit().setOverlap(c.overlap);
                engine.timePitchUnit().setRate(c.rate);
                engine.timePitchUnit().setPitch(c.cents);
                platform::AudioPlayerNode& player = engine.playerNode();
                const int64_t length = file->length();
                player.scheduleSegment(*file, 0, length);
                player.play();
                std::this_thread::sleep_for(std::chrono::milliseconds(250));
                // What a second of plain playing loses: a setting that costs more than the
                // worker's core loses frames whether it seeks or not.
                const int64_t beforeSteady = engine.underrunFrames();
                std::this_thread::sleep_for(std::chrono::seconds(1));
                const int64_t steady = engine.underrunFrames() - beforeSteady;
                int lossy = 0;
                int64_t lost = 0;
                for (int seek = 0; seek < seeks; ++seek) {
                    const int64_t before = engine.underrunFrames();
                    const int64_t to = length * (1 + seek % 4) / 8;
                    player.scheduleSegment(*file, to, length - to);
                    std::this_thread::sleep_for(std::chrono::milliseconds(250));
                    const int64_t missing = engine.underrunFrames() - before;
                    lossy += missing > 0 ? 1 : 0;
                    lost += missing;
                }
                engine.stop();
                std::printf(
                    "%s\n",
                    formatNumber("seek_%s_%.2fx_%+.0fst_%.0f_hz_%u_ch: frames lost at %d of "
                                 "%d seeks (%lld frames); %lld frames lost in 1 s "
                                 "without seeks",
                                 c.mode, c.rate, c.cents / 100, rate, channels, lossy, seeks,
                                 static_cast<long long>(lost), static_cast<long long>(steady))
                        .c_str());
                std::fflush(stdout);
            }
            std::filesystem::remove(path);
        }
    }
}

inline void printLoadedFigures(double secondsPerSetting) {
    constexpr double rate = 48000;
    const auto path = writeToneFile("loaded", rate, 2, 20, [](uint32_t c, double t) {
        return (c == 0 ? 330.0 : 440.0) * (1 + 0.1 * std::sin(t));
    });
    const std::unique_ptr<platform::AudioFile> file = openFixture(path);
    if (!file) {
        return;
    }
    const WarpCase cases[] = {
        {"beats", 3.5f, 4, -2400}, {"beats", 3.5f, 4, 2400},  {"beats", 3.5f, 0.25f, 2400},
        {"musical", 12, 4, -2400}, {"musical", 12, 1.25f, 0}, {"tape", 8, 4, 2400},
    };
    const double seconds = std::max(4.0, 8 * secondsPerSetting);
    std::atomic<bool> spinning{true};
    // Threads inherit the cores the program was pinned to.
    std::vector<std::thread> busy;
    for (int k = 0; k < 2; ++k) {
        busy.emplace_back([&] {
            volatile double x = 1;
            while (spinning.load(std::memory_order_relaxed)) {
                x = x * 1.0000001 + 1e-9;
            }
        });
    }
    for (const WarpCase& c : cases) {
        std::vector<double> calls;
        calls.reserve(static_cast<size_t>((seconds + 1) * rate / 512));
        std::atomic<bool> recording{false};
        platform::AudioEngine engine(
            [&] { return std::make_unique<PacedDevice>(512, calls, recording); });
        startEngine(engine, rate, c);
        const int64_t in = file->length() / 4;
        startPlaying(engine.playerNode(), *file, in);
        const int64_t before = engine.underrunFrames();
        const TransportRun run = runTransport(engine.playerNode(), *file, rate, in,
                                              in + static_cast<int64_t>(rate), seconds, 0.5, in);
        engine.stop();
        const double missing = static_cast<double>(engine.underrunFrames() - before) / rate;
        std::printf("%s\n",
                    formatNumber("loaded_%s_%.2fx_%+.0fst: underrun %.0f ms per minute "
                                 "(%d wraps, %zu seeks)",
                                 c.mode, c.rate, c.cents / 100, missing * 60 / seconds * 1e3,
                                 run.wraps, run.seekHeardSeconds.size())
                        .c_str());
        std::fflush(stdout);
    }
    spinning = false;
    for (std::thread& thread : busy) {
        thread.join();
    }
    std::filesystem::remove(path);
}

} // namespace tindrel::bench
