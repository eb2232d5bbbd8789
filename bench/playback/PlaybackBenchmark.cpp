// CPU time the playback chain (player -> time-pitch -> mixer) spends per second of stereo
// 44.1 kHz audio, per warp setting. The chain is pulled offline on this thread, so the
// figure is the work one real-time callback would do, plus the streaming thread's reading.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "bench/support/ChordsAndDrumsFile.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
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

std::filesystem::path writeFixture() {
    const auto path = std::filesystem::temp_directory_path() /
                      ("tindrel-bench-playback-" + std::to_string(getpid()) + ".wav");
    return tindrel::bench::writeChordsAndDrumsFile(path, sampleRate, fileSeconds)
               ? path
               : std::filesystem::path{};
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
