// The device's thread must not allocate: this binary counts every malloc made on the thread
// that calls the render function, while the chain plays each path at the corners of the
// settings, crosses the edges of a range that alone is warped, hands the faster engine over,
// restarts after a stop and joins a seek while playing.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <thread>
#include <vector>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
}

namespace {

thread_local bool countingHere = false;
std::atomic<int> allocations{0};

void noteAllocation() {
    if (countingHere) {
        allocations.fetch_add(1, std::memory_order_relaxed);
    }
}

} // namespace

extern "C" {
void* malloc(size_t size) {
    noteAllocation();
    return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
    noteAllocation();
    return __libc_calloc(count, size);
}
void* realloc(void* pointer, size_t size) {
    noteAllocation();
    return __libc_realloc(pointer, size);
}
int posix_memalign(void** pointer, size_t alignment, size_t size) {
    noteAllocation();
    *pointer = __libc_memalign(alignment, size);
    return *pointer ? 0 : ENOMEM;
}
void* aligned_alloc(size_t alignment, size_t size) {
    noteAllocation();
    return __libc_memalign(alignment, size);
}
}

namespace tindrel::platform {
namespace {

// Hands the engine's render function to the test, which plays the audio thread.
class RecordingOutput final : public AudioOutput {
public:
    bool start(double, uint32_t channels, RenderFunction render, void* context) override {
        render_ = render;
        context_ = context;
        channels_ = channels;
        return true;
    }
    void stop() override { render_ = nullptr; }
    bool isRunning() const override { return render_ != nullptr; }

    RenderFunction render_ = nullptr;
    void* context_ = nullptr;
    uint32_t channels_ = 0;
};

TEST(RenderThread, PlaysSwitchesAndRestartsWithoutAllocating) {
    test::TemporaryFolder folder;
    test::writeAudioFile(folder / "noise.wav", test::pinkNoiseSignal(-18, 20.0));
    const auto file = AudioFile::openForReading(folder / "noise.wav");
    ASSERT_TRUE(file);
    RecordingOutput* output = nullptr;
    AudioEngine engine([&] {
        auto made = std::make_unique<RecordingOutput>();
        output = made.get();
        return made;
    });
    ASSERT_TRUE(engine.start());
    std::vector<float> block(512 * output->channels_);
    auto& player = engine.playerNode();
    auto& unit = engine.timePitchUnit();

    // Renders until the player has heard `frames` more source frames; the engine's threads
    // read and render ahead meanwhile, as they would between device callbacks.
    // A render that found the render-ahead short leaves the worker a millisecond, as a
    // device's period would; a minute bounds it all on a busy machine.
    const auto playFor = [&](int64_t frames, bool counted) {
        const int64_t from = player.playerSampleTime().value_or(0);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (std::chrono::steady_clock::now() < deadline) {
            const int64_t missingBefore = engine.underrunFrames();
            countingHere = counted;
            output->render_(output->context_, block.data(), 512);
            countingHere = false;
            if (player.playerSampleTime().value_or(0) >= from + frames) {
                return true;
            }
            if (engine.underrunFrames() > missingBefore) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        return false;
    };
    struct Setting {
        float overlap, rate, cents;
    };
    std::vector<Setting> settings{{8, 1, 0}, {8, 1.5f, 701.955f}, {8, 0.25f, -2400}, {8, 4, 2400}};
    for (const float overlap : {12.0f, 3.5f}) {
        for (const float rate : {0.25f, 4.0f}) {
            for (const float cents : {-2400.0f, 2400.0f}) {
                settings.push_back({overlap, rate, cents});
            }
        }
    }
    player.scheduleSegment(*file, 0, file->length());
    player.play();
    for (const auto& setting : settings) {
        unit.setOverlap(setting.overlap);
        unit.setRate(setting.rate);
        unit.setPitch(setting.cents);
        ASSERT_TRUE(playFor(20000, true));
        // The edges of a range that alone is warped: neutral outside it.
        unit.setOverlap(8);
        unit.setRate(1);
        unit.setPitch(0);
        ASSERT_TRUE(playFor(10000, true));
        unit.setOverlap(setting.overlap);
        unit.setRate(setting.rate);
        // At 4x and -24 st a change of pitch hands the faster engine over.
        unit.setPitch(setting.cents < 0 ? setting.cents + 1800 : setting.cents);
        ASSERT_TRUE(playFor(20000, true));
        unit.setPitch(setting.cents);
        player.stop();
        player.scheduleSegment(*file, 44100, file->length() - 44100);
        player.play();
        ASSERT_TRUE(playFor(20000, true));
        // A seek while playing, and a loop's wrap back.
        player.scheduleSegment(*file, 88200, file->length() - 88200);
        ASSERT_TRUE(playFor(20000, true));
        player.scheduleSegment(*file, 44100, file->length() - 44100);
        ASSERT_TRUE(playFor(20000, true));
    }
    EXPECT_EQ(allocations.load(), 0);
}

} // namespace
} // namespace tindrel::platform
