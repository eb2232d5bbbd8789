// The cost of every call a real-time device makes into the engine, through the events that
// used to make one call long: seeks, loop wraps, the edges of a range that alone is warped and
// the faster engine's hand-overs. An output thread paced by the clock pulls 256 or 512 frames of
// 48 kHz stereo at a time and times each call in its own thread's CPU time; the engine plays a
// chord-and-drums file at every setting of the grid, and every quarter second one of those
// events happens. Per mode and block size it prints the worst call, the 99.9th percentile, the
// calls over half the period, the frames the device found missing (played as silence) and how
// long a seek took to be heard (to the first frame of the new place leaving the device), and
// the process's CPU load at the busiest setting, events included.
//
// The events are those the store's transport makes (TransportTicks.h): a 1 s loop that wraps,
// a seek every half second and the edges of a range that alone is warped every quarter. Then
// come the figures of EventFigures.h: what is heard at a loop's wrap, seeks at high sample
// rates and many channels, and the grid's hardest settings with two busy loops beside it.
//
// TINDREL_BENCH_SECONDS sets the time per setting (default 1 s): 3 modes x 2 block sizes x up
// to 35 settings, paced in real time, and the figures after them in proportion.
// TINDREL_BENCH_FIGURES, when set, names the parts to run: grid, loop_wrap, seek_rates, loaded.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "Tindrel/platform/audio/engine/AudioOutput.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "bench/render_calls/EventFigures.h"
#include "bench/render_calls/PacedDevice.h"
#include "bench/render_calls/TransportTicks.h"
#include "bench/support/ChordsAndDrumsFile.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace std::chrono_literals;
using tindrel::formatNumber;
using tindrel::bench::cpuSeconds;
using tindrel::bench::PacedDevice;
using tindrel::bench::runTransport;
using tindrel::bench::TransportRun;
using tindrel::platform::AudioEngine;
using tindrel::platform::AudioFile;
using tindrel::platform::AudioOutput;

constexpr double sampleRate = 48000;
constexpr double fileSeconds = 20;

std::filesystem::path writeFixture() {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tindrel-bench-render-calls-" + std::to_string(getpid()) + ".wav");
    return tindrel::bench::writeChordsAndDrumsFile(path, sampleRate, fileSeconds)
               ? path
               : std::filesystem::path{};
}

struct Setting {
    float rate;
    float cents;
};

struct Mode {
    const char* name;
    float overlap;
    std::vector<Setting> settings;
};

std::vector<Mode> modes() {
    const float speeds[] = {0.25f, 0.5f, 0.75f, 1.0f, 1.25f, 2.0f, 4.0f};
    const float semitones[] = {-24, -12, 0, 7, 24};
    Mode tape{"tape", 8.0f, {}};
    Mode musical{"musical", 12.0f, {}};
    Mode beats{"beats", 3.5f, {}};
    for (float speed : speeds) {
        tape.settings.push_back({speed, 1200.0f * std::log2(speed)});
        for (float st : semitones) {
            musical.settings.push_back({speed, 100 * st});
            beats.settings.push_back({speed, 100 * st});
        }
    }
    return {tape, musical, beats};
}

double percentile(std::vector<double> values, double share) {
    if (values.empty()) {
        return 0;
    }
    const auto k = static_cast<size_t>(share * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
    return values[k];
}

} // namespace

int main() {
    const char* secondsText = std::getenv("TINDREL_BENCH_SECONDS");
    const double secondsPerSetting = secondsText ? std::max(0.5, std::atof(secondsText)) : 1.0;
    const auto path = writeFixture();
    std::string error;
    const std::unique_ptr<AudioFile> file = AudioFile::openForReading(path, &error);
    if (!file) {
        std::fprintf(stderr, "bench_render_calls: %s\n", error.c_str());
        return 1;
    }
    const char* figuresText = std::getenv("TINDREL_BENCH_FIGURES");
    const std::string figures = figuresText ? figuresText : "grid,loop_wrap,seek_rates,loaded";
    const auto wanted = [&](const char* part) { return figures.find(part) != std::string::npos; };
    const int64_t length = file->length();
    const int64_t loopIn = length / 4;
    for (const uint32_t block : {256u, 512u}) {
        if (!wanted("grid")) {
            break;
        }
        const double halfPeriod = 0.5 * block / sampleRate;
        for (const Mode& mode : modes()) {
            std::vector<double> calls;
            calls.reserve(static_cast<size_t>(secondsPerSetting * 60 * 56 * sampleRate / block));
            std::vector<double> seekLatencies;
            std::atomic<bool> recording{false};
            AudioEngine engine(
                [&] { return std::make_unique<PacedDevice>(block, calls, recording); });
            engine.connect({sampleRate, 2});
            engine.start();
            auto& unit = engine.timePitchUnit();
            auto& player = engine.playerNode();
            int64_t underruns = 0;
            double busiest = 0;
            std::string busiestSetting;
            for (const Setting& setting : mode.settings) {
                unit.setOverlap(mode.overlap);
                unit.setRate(setting.rate);
                unit.setPitch(setting.cents);
                tindrel::bench::startPlaying(player, *file, loopIn);
                const int64_t underrunsBefore = engine.underrunFrames();
                recording = true;
                const double cpuBefore = cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
                const auto wallBefore = std::chrono::steady_clock::now();
                const TransportRun run = runTransport(
                    player, *file, sampleRate, loopIn, loopIn + static_cast<int64_t>(sampleRate),
                    secondsPerSetting, 0.5, loopIn, [&](int quarter) {
                        if (quarter % 2 == 0) {
                            // The edge of a range that alone is warped: neutral outside it.
                            unit.setOverlap(8.0f);
                            unit.setRate(1.0f);
                            unit.setPitch(0.0f);
                            return;
                        }
                        // Back into the range; at 4x a pitch flip hands the engine over.
                        unit.setOverlap(mode.overlap);
                        unit.setRate(setting.rate);
                        unit.setPitch(setting.rate >= 4.0f && setting.cents <= -1200
                                          ? setting.cents + 1800.0f
                                          : setting.cents);
                    });
                seekLatencies.insert(seekLatencies.end(), run.seekHeardSeconds.begin(),
                                     run.seekHeardSeconds.end());
                recording = false;
                const double load =
                    (cpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuBefore) /
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore)
                        .count();
                if (load > busiest) {
                    busiest = load;
                    busiestSetting =
                        formatNumber("%.2fx %+.0f st", setting.rate, setting.cents / 100);
                }
                const int64_t missing = engine.underrunFrames() - underrunsBefore;
                underruns += missing;
                if (missing > 0) {
                    std::fprintf(stderr, "%s\n",
                                 formatNumber("  %s %u: %.2fx %+.0f st missed %.1f ms", mode.name,
                                              block, setting.rate, setting.cents / 100,
                                              static_cast<double>(missing) / sampleRate * 1e3)
                                     .c_str());
                }
            }
            engine.stop();
            const double worst = calls.empty() ? 0 : *std::max_element(calls.begin(), calls.end());
            const auto over =
                std::count_if(calls.begin(), calls.end(), [&](double c) { return c > halfPeriod; });
            std::vector<double> heard;
            int unheard = 0;
            for (double latency : seekLatencies) {
                if (latency < 0) {
                    ++unheard;
                } else {
                    heard.push_back(latency);
                }
            }
            const std::string name = formatNumber("render_calls_%s_%u", mode.name, block);
            std::printf("%s\n",
                        formatNumber("%s_worst: %.3f ms", name.c_str(), worst * 1e3).c_str());
            std::printf("%s\n", formatNumber("%s_p99.9: %.3f ms", name.c_str(),
                                             percentile(calls, 0.999) * 1e3)
                                    .c_str());
            std::printf("%s\n", formatNumber("%s_over_half_period: %lld of %zu calls", name.c_str(),
                                             static_cast<long long>(over), calls.size())
                                    .c_str());
            std::printf("%s\n", formatNumber("%s_underrun: %.1f ms", name.c_str(),
                                             static_cast<double>(underruns) / sampleRate * 1e3)
                                    .c_str());
            std::printf("%s\n", formatNumber("%s_seek_heard_median: %.1f ms", name.c_str(),
                                             percentile(heard, 0.5) * 1e3)
                                    .c_str());
            std::printf(
                "%s\n",
                formatNumber("%s_seek_heard_worst: %.1f ms (%d not heard within 1 s)", name.c_str(),
                             heard.empty() ? 0.0
                                           : *std::max_element(heard.begin(), heard.end()) * 1e3,
                             unheard)
                    .c_str());
            std::printf("%s\n", formatNumber("%s_busiest_setting: %.0f %% of a core (%s)",
                                             name.c_str(), busiest * 100, busiestSetting.c_str())
                                    .c_str());
            std::fflush(stdout);
        }
    }
    std::filesystem::remove(path);
    if (wanted("loop_wrap")) {
        tindrel::bench::printLoopWrapFigures(secondsPerSetting);
    }
    if (wanted("seek_rates")) {
        tindrel::bench::printHighRateSeekFigures(secondsPerSetting);
    }
    if (wanted("loaded")) {
        tindrel::bench::printLoadedFigures(secondsPerSetting);
    }
    return 0;
}
