// Ten thousand random store operations with a fixed seed: loads of good and broken files,
// transport, range, warp, loop, export, rename and stop, in any order. After each one every
// published figure must be finite and in its range, and every rendered sample finite. Time is
// driven through the rig's output and ticker, so the walk is the same on every run.

#include "tests/store_support/StoreTestRig.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <fstream>
#include <functional>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

using tindrel::TindrelStore;
using tindrel::test::StoreTestRig;
namespace fs = std::filesystem;

namespace {

constexpr int operationCount = 10000;
constexpr uint32_t seed = 20261207;

bool finite(double value) {
    return std::isfinite(value);
}

bool within(double value, double low, double high) {
    return finite(value) && value >= low && value <= high;
}

// The first broken rule, or empty when all hold.
std::string brokenInvariant(TindrelStore& store) {
    std::ostringstream broken;
    const auto require = [&broken](bool holds, const char* what, double value) {
        if (!holds && broken.tellp() == 0)
            broken << what << " = " << value;
    };
    const double duration = store.duration.get();
    require(within(duration, 0, 1e6), "duration", duration);
    require(within(store.currentTime.get(), 0, std::max(0.0, duration)), "currentTime",
            store.currentTime.get());
    require(within(store.playbackRate.get(), 0.25, 4), "playbackRate", store.playbackRate.get());
    require(within(store.pitchSemitones.get(), -24, 24), "pitchSemitones",
            store.pitchSemitones.get());
    require(within(store.volume.get(), 0, 1.5), "volume", store.volume.get());
    require(within(store.meterLeftDB.get(), -60, 1e3), "meterLeftDB", store.meterLeftDB.get());
    require(within(store.meterRightDB.get(), -60, 1e3), "meterRightDB", store.meterRightDB.get());
    require(within(store.waveformZoom.get(), 1, 32), "waveformZoom", store.waveformZoom.get());
    require(within(store.waveformCenterFrac.get(), 0, 1), "waveformCenterFrac",
            store.waveformCenterFrac.get());
    // A dragged range is at least 50 ms long, so its end may pass the end of a shorter file.
    for (const auto& edge : {store.loopIn.get(), store.loopOut.get()})
        if (edge)
            require(within(*edge, 0, duration + 0.05), "loop edge", *edge);
    const double start = store.effectiveRangeStart();
    const double end = store.effectiveRangeEnd();
    require(within(start, 0, duration), "effectiveRangeStart", start);
    require(within(end, start, duration), "effectiveRangeEnd", end);
    require(within(store.rangeWarpedDuration(), 0, 4 * duration + 1), "rangeWarpedDuration",
            store.rangeWarpedDuration());
    // The zoom window spans at least a millisecond, even with nothing open.
    const double shown = std::max(0.001, duration);
    require(within(store.visibleStartSec(), 0, shown), "visibleStartSec", store.visibleStartSec());
    require(within(store.visibleEndSec(), store.visibleStartSec(), shown), "visibleEndSec",
            store.visibleEndSec());

    if (const auto& spec = store.spec.get()) {
        require(within(spec->duration, 0, 1e6), "spec.duration", spec->duration);
        require(within(spec->sampleRate, 0, 1e7), "spec.sampleRate", spec->sampleRate);
        require(within(spec->lufsIntegrated, -70, 40), "spec.lufsIntegrated", spec->lufsIntegrated);
        require(within(spec->lufsShortTermMax, spec->lufsIntegrated, 40), "spec.lufsShortTermMax",
                spec->lufsShortTermMax);
        require(within(spec->truePeakDBTP, -200, 200), "spec.truePeakDBTP", spec->truePeakDBTP);
        require(within(spec->rmsDB, -200, 200), "spec.rmsDB", spec->rmsDB);
        require(within(spec->crestDB, 0, 400), "spec.crestDB", spec->crestDB);
        for (const float peak : spec->peaks)
            require(within(peak, 0, 1), "spec.peaks", peak);
        for (const float rms : spec->rmsEnvelope)
            require(within(rms, 0, 1), "spec.rmsEnvelope", rms);
        double previous = 0;
        for (const double time : spec->transientTimes) {
            require(within(time, previous, spec->duration), "spec.transientTimes", time);
            previous = time;
        }
    }
    return broken.str();
}

void writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// Good files of several formats and layouts, and broken ones, in the rig's music folder.
std::vector<fs::path> writeFilePool(StoreTestRig& rig) {
    using namespace tindrel::test;
    const fs::path music = rig.home() / "music";
    fs::create_directories(music);
    std::vector<fs::path> pool;
    const auto add = [&pool, &music](const char* name) { return pool.emplace_back(music / name); };

    writeAudioFile(add("stereo.wav"), sineSignal(440, 0.5, 1.0));
    writeAudioFile(add("mono48k.flac"), pinkNoiseSignal(-20, 0.7, 48000, 1));
    writeAudioFile(add("float.wav"), sineSignal(220, 0.9, 0.4, 22050, 2), SampleEncoding::Float32);
    writeAudioFile(add("silence.aiff"), silenceSignal(0.3));
    writeAudioFile(add("tiny.wav"), sineSignal(1000, 0.5, 0.01));
    Signal poisoned = sineSignal(330, 0.5, 0.5);
    for (size_t i = 0; i < poisoned.samples.size(); i += 97)
        poisoned.samples[i] = i % 2 ? std::numeric_limits<float>::quiet_NaN()
                                    : std::numeric_limits<float>::infinity();
    writeAudioFile(add("non-finite.wav"), poisoned, SampleEncoding::Float32);
    if (encodeWithFfmpeg(music / "stereo.wav", music / "coded.mp3", {"-b:a", "96k"}))
        pool.push_back(music / "coded.mp3");

    std::mt19937 bytes(seed);
    std::string noise(4096, '\0');
    for (char& byte : noise)
        byte = static_cast<char>(bytes());
    writeBytes(add("noise.flac"), noise);
    writeBytes(add("empty.wav"), "");
    writeBytes(add("text.mp3"), "not audio at all\n");
    std::ifstream whole(music / "stereo.wav", std::ios::binary);
    const std::string wav((std::istreambuf_iterator<char>(whole)), {});
    writeBytes(add("truncated.wav"), wav.substr(0, wav.size() / 3));
    writeBytes(add("header-only.wav"), wav.substr(0, 44));
    pool.push_back(music / "missing.wav");
    return pool;
}

} // namespace

TEST(StoreSoak, TenThousandRandomOperationsKeepEveryFigureFiniteAndInRange) {
    StoreTestRig rig;
    TindrelStore& store = rig.store();
    std::vector<fs::path> pool = writeFilePool(rig);
    std::mt19937 random(seed);
    const auto uniform = [&random](double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(random);
    };
    const auto pick = [&random](size_t count) {
        return std::uniform_int_distribution<size_t>(0, count - 1)(random);
    };
    bool nonFiniteAudio = false;
    int renames = 0;

    struct Operation {
        const char* name;
        int weight;
        std::function<void()> run;
    };
    const std::vector<Operation> operations = {
        {"load", 4, [&] { store.loadAndPlay(pool[pick(pool.size())], pick(2) == 0); }},
        {"analyse", 3, [&] { rig.analysis().runAll(); }},
        {"play", 20,
         [&] {
             if (!rig.engineStarted())
                 return rig.ticker().fire();
             for (const float sample : rig.play(uniform(0.005, 0.15)))
                 nonFiniteAudio = nonFiniteAudio || !std::isfinite(sample);
         }},
        {"toggle play", 8, [&] { store.togglePlayPause(); }},
        {"seek", 8,
         [&] {
             const std::optional<bool> force[] = {std::nullopt, true, false};
             store.seek(uniform(-1, store.duration.get() + 1), force[pick(3)]);
         }},
        {"seek relative", 4, [&] { store.seekRelative(uniform(-2, 2)); }},
        {"jump to start", 2, [&] { store.jumpToStart(); }},
        {"range", 6,
         [&] {
             store.setRangeBounds(uniform(-0.5, 1.5), uniform(-0.5, 1.5) * store.duration.get());
         }},
        {"loop in", 3, [&] { store.setLoopInAtPlayhead(); }},
        {"loop out", 3, [&] { store.setLoopOutAtPlayhead(); }},
        {"clear range", 2, [&] { store.clearABLoop(); }},
        {"loop", 4, [&] { store.isLoopEnabled = !store.isLoopEnabled.get(); }},
        {"play range", 3, [&] { store.playWarpedRange(); }},
        {"speed", 6, [&] { store.setPlaybackRate(float(uniform(0.1, 5))); }},
        {"pitch", 6, [&] { store.setPitchSemitones(float(uniform(-30, 30))); }},
        {"typed speed", 2,
         [&] {
             const char* texts[] = {"1.5", "0", "-3", "nan", "inf", "4.01", "abc", "0.25"};
             store.speedInputText = QString::fromLatin1(texts[pick(8)]);
             store.commitTypedSpeed();
         }},
        {"mode", 4,
         [&] { store.setWarpMode(tindrel::allWarpModes[pick(tindrel::allWarpModes.size())]); }},
        {"scope", 2,
         [&] { store.setWarpScope(tindrel::allWarpScopes[pick(tindrel::allWarpScopes.size())]); }},
        {"volume", 2, [&] { store.setVolume(float(uniform(-0.5, 2))); }},
        {"zoom", 3,
         [&] {
             const std::function<void()> zooms[] = {[&] { store.zoomInWaveform(); },
                                                    [&] { store.zoomOutWaveform(); },
                                                    [&] { store.panWaveform(uniform(-1, 1)); },
                                                    [&] { store.jumpToNextTransient(pick(2)); },
                                                    [&] { store.jumpToPreviousTransient(); }};
             zooms[pick(5)]();
         }},
        {"export", 1,
         [&] {
             store.exportModifiedAudioToWAV();
             for (const auto& entry : fs::directory_iterator(rig.home() / "music"))
                 if (entry.path().stem().string().find("_modified") != std::string::npos)
                     fs::remove(entry.path());
         }},
        {"rename", 1,
         [&] {
             const auto before = store.currentURL.get();
             store.beginRenameCurrentFile();
             store.renameDraftText = QStringLiteral("renamed-%1").arg(++renames);
             store.commitRenameCurrentFile();
             const auto after = store.currentURL.get();
             if (before && after && *before != *after)
                 for (fs::path& path : pool)
                     if (path == *before)
                         path = *after;
         }},
        {"stop", 1, [&] { store.stopAndCleanup(); }},
    };
    int totalWeight = 0;
    for (const Operation& operation : operations)
        totalWeight += operation.weight;

    std::deque<std::string> recent;
    int stepsPlaying = 0;
    int stepsMeasured = 0;
    int exports = 0;
    for (int step = 0; step < operationCount; ++step) {
        int roll = std::uniform_int_distribution<int>(0, totalWeight - 1)(random);
        const Operation* chosen = &operations.front();
        for (const Operation& operation : operations) {
            chosen = &operation;
            if ((roll -= operation.weight) < 0)
                break;
        }
        chosen->run();
        recent.push_back(chosen->name);
        if (recent.size() > 12)
            recent.pop_front();

        if (store.isPlaying.get() && store.duration.get() > 0)
            ++stepsPlaying;
        if (store.spec.get())
            ++stepsMeasured;
        if (std::string(chosen->name) == "export" &&
            store.statusBanner.get().startsWith(QStringLiteral("Exported")))
            ++exports;
        const std::string broken = brokenInvariant(store);
        if (!broken.empty() || nonFiniteAudio) {
            std::string trail;
            for (const std::string& name : recent)
                trail += name + ", ";
            FAIL() << "step " << step << " (" << chosen->name
                   << "): " << (broken.empty() ? "non-finite audio" : broken) << "; file "
                   << store.currentURL.get().value_or("none") << "; last operations: " << trail;
        }
    }
    // The walk spent its time on open files, not only on refusals.
    EXPECT_GT(stepsPlaying, operationCount / 10);
    EXPECT_GT(stepsMeasured, operationCount / 2);
    EXPECT_GT(exports, 10);
}
