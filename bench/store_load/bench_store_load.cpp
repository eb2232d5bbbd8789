// Time from loadAndPlay() to the first audible frame at the output, for a WAV and an MP3 of
// three minutes (stereo 44.1 kHz), through the real output (or its silent stand-in). Then an
// Ogg Vorbis file of one hour (8 MB): its loads, and the time and bytes read of opening it.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/store/TindrelStore.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using Clock = std::chrono::steady_clock;

namespace {

// Passes the engine's audio to the default output and notes when the first non-silent frame
// leaves the engine. The note is a lock-free store: the render thread never waits.
class FirstFrameWatch final : public tindrel::platform::AudioOutput {
public:
    static std::atomic<int64_t> firstAudibleTicks; // Clock ticks; 0 until heard

    bool start(double sampleRate, uint32_t channels, RenderFunction render,
               void* context) override {
        render_ = render;
        context_ = context;
        channels_ = channels;
        return inner_->start(sampleRate, channels, &FirstFrameWatch::renderThrough, this);
    }
    void stop() override { inner_->stop(); }
    bool isRunning() const override { return inner_->isRunning(); }
    void wake() override { inner_->wake(); }

private:
    static bool renderThrough(void* self, float* interleaved, uint32_t frames) {
        auto* watch = static_cast<FirstFrameWatch*>(self);
        const bool playing = watch->render_(watch->context_, interleaved, frames);
        if (firstAudibleTicks.load(std::memory_order_relaxed) != 0)
            return playing;
        for (uint32_t i = 0; i < frames * watch->channels_; ++i) {
            if (std::fabs(interleaved[i]) > 1e-6f) {
                firstAudibleTicks.store(Clock::now().time_since_epoch().count());
                return playing;
            }
        }
        return playing;
    }

    std::unique_ptr<tindrel::platform::AudioOutput> inner_ =
        tindrel::platform::makeDefaultAudioOutput();
    RenderFunction render_ = nullptr;
    void* context_ = nullptr;
    uint32_t channels_ = 0;
};

std::atomic<int64_t> FirstFrameWatch::firstAudibleTicks{0};

struct LoadTimes {
    double callMs = 0;       // loadAndPlay() until it returns
    double firstFrameMs = 0; // loadAndPlay() until the first audible frame leaves the engine
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Medians over `runs` loads of the same file.
LoadTimes measureLoads(tindrel::TindrelStore& store, const std::filesystem::path& file, int runs) {
    std::vector<double> calls;
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        store.togglePlayPause(); // pause whatever plays, so the next start is silent until heard
        FirstFrameWatch::firstAudibleTicks.store(0);
        const Clock::time_point start = Clock::now();
        store.loadAndPlay(file, true);
        calls.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        while (FirstFrameWatch::firstAudibleTicks.load() == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        const Clock::time_point heard{Clock::duration(FirstFrameWatch::firstAudibleTicks.load())};
        times.push_back(std::chrono::duration<double, std::milli>(heard - start).count());
    }
    return {median(calls), median(times)};
}

void print(const std::string& name, double value, const char* unit) {
    std::fputs((name + ": " + tindrel::formatNumber("%.1f", value) + " " + unit + "\n").c_str(),
               stdout);
}

void printLoads(const std::string& name, const LoadTimes& times) {
    print("store_load_call_" + name, times.callMs, "ms");
    print("store_load_to_first_frame_" + name, times.firstFrameMs, "ms");
}

// Bytes this process has asked the kernel to read so far (rchar in /proc/self/io).
double bytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    double value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return 0;
}

// Median time of opening `file` for reading, and the bytes one open reads.
void printOpen(const std::string& name, const std::filesystem::path& file) {
    std::vector<double> times;
    double bytes = 0;
    for (int run = 0; run < 5; ++run) {
        const double before = bytesReadSoFar();
        const Clock::time_point start = Clock::now();
        const auto opened = tindrel::platform::AudioFile::openForReading(file);
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        bytes = bytesReadSoFar() - before;
        if (!opened)
            return;
    }
    print("open_" + name, median(times), "ms");
    print("open_read_" + name, bytes / double(1 << 20), "MiB");
    print("open_read_per_file_byte_" + name, bytes / double(std::filesystem::file_size(file)), "x");
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    tindrel::test::TemporaryFolder folder;
    std::filesystem::create_directories(folder / "home");
    const auto wav = folder / "tone.wav";
    const auto mp3 = folder / "tone.mp3";
    tindrel::test::writeAudioFile(wav, tindrel::test::sineSignal(440.0, 0.25, 180.0));
    const bool haveMp3 =
        tindrel::test::encodeWithFfmpeg(wav, mp3, {"-c:a", "libmp3lame", "-b:a", "192k"});
    const auto ogg = folder / "hour.ogg";
    const bool haveOgg = tindrel::test::runProgram(
                             "ffmpeg", {"-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                        "sine=frequency=440:duration=3600:sample_rate=44100", "-ac",
                                        "2", "-c:a", "libvorbis", "-q:a", "0", ogg.string()}) == 0;

    tindrel::TindrelStoreEnvironment environment;
    environment.makeOutput = [] { return std::make_unique<FirstFrameWatch>(); };
    environment.ticker = std::make_unique<tindrel::ManualUiTicker>();
    environment.makeAnalysisExecutor = [](QObject* store) {
        return std::make_unique<tindrel::ThreadAnalysisExecutor>(store);
    };
    environment.settingsFile = folder / "settings.ini";
    environment.homeFolder = folder / "home";
    tindrel::TindrelStore store(std::move(environment));

    printLoads("wav_3min", measureLoads(store, wav, 5));
    if (haveMp3)
        printLoads("mp3_3min", measureLoads(store, mp3, 5));
    else
        std::fprintf(stderr, "bench_store_load: no MP3 encoder, MP3 figure skipped\n");
    if (haveOgg) {
        printLoads("ogg_1h", measureLoads(store, ogg, 5));
        printOpen("ogg_1h", ogg);
    } else {
        std::fprintf(stderr, "bench_store_load: no Vorbis encoder, Ogg figures skipped\n");
    }
    store.stopAndCleanup();
    return 0;
}
