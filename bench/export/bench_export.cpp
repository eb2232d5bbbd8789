// Offline export speed: a 60 s stereo 44.1 kHz range at 1.25x and +3 st, once per warp mode,
// as multiples of real time (seconds of source audio rendered per second).

#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/store/TindrelStore.h"
#include "tests/store_support/StoreTestRig.h"

#include <QCoreApplication>

#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

constexpr double seconds = 60.0;
constexpr int sampleRate = 44100;

bool writeSource(const std::filesystem::path& path) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    const auto frames = static_cast<size_t>(seconds * sampleRate);
    std::vector<float> samples(frames * 2);
    uint32_t noise = 1;
    for (size_t i = 0; i < frames; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const double t = static_cast<double>(i) / sampleRate;
        const float value =
            static_cast<float>(0.3 * std::sin(2 * M_PI * 220 * t) +
                               0.05 * (static_cast<double>(noise >> 8) / (1 << 24) - 0.5));
        samples[2 * i] = value;
        samples[2 * i + 1] = value;
    }
    const bool complete = sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames)) ==
                          static_cast<sf_count_t>(frames);
    sf_close(file);
    return complete;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    char pattern[] = "/tmp/tindrel-bench-export-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    const std::filesystem::path folder(pattern);
    const std::filesystem::path source = folder / "source.wav";
    int result = 0;
    if (writeSource(source)) {
        tindrel::test::ManualStoreParts parts;
        tindrel::TindrelStore store(
            tindrel::test::manualStoreEnvironment(folder, folder / "settings.ini", parts));
        store.loadAndPlay(source, false);
        store.setPlaybackRate(1.25f);
        store.setPitchSemitones(3.0f);

        const struct {
            tindrel::WarpMode mode;
            const char* name;
        } modes[] = {{tindrel::WarpMode::musical, "musical"},
                     {tindrel::WarpMode::beats, "beats"},
                     {tindrel::WarpMode::tape, "tape"}};
        for (const auto& entry : modes) {
            store.setWarpMode(entry.mode);
            const auto start = std::chrono::steady_clock::now();
            store.exportModifiedAudioToWAV();
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
            if (!store.statusBanner->startsWith(QStringLiteral("Exported Modified: "))) {
                result = 1;
                continue;
            }
            std::fputs(tindrel::formatNumber("export_60s_1.25x_+3st_%s_speed: %.1f x\n", entry.name,
                                             seconds / elapsed.count())
                           .c_str(),
                       stdout);
        }
    } else {
        result = 1;
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return result;
}
