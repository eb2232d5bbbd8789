// Time from loadAndPlay() to the first audible frame at the output, for a WAV and an MP3 of
// three minutes (stereo 44.1 kHz), through the real output (or its silent stand-in).

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

void printLoads(const char* name, const LoadTimes& times) {
    std::printf("store_load_call_%s: %.1f ms\n", name, times.callMs);
    std::printf("store_load_to_first_frame_%s: %.1f ms\n", name, times.firstFrameMs);
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
    store.stopAndCleanup();
    return 0;
}
