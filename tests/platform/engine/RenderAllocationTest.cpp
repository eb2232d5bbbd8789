// The render thread must not allocate: this binary counts every malloc made on the thread
// that renders, while the chain plays each path, switches paths, restarts after a stop and
// crossfades a seek while playing.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <atomic>
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

    // Renders until the player has heard `frames` more source frames; the streaming thread
    // fills the ring meanwhile, as it would between device callbacks.
    const auto playFor = [&](int64_t frames, bool counted) {
        const int64_t from = player.playerSampleTime().value_or(0);
        for (int step = 0; step < 1000000; ++step) {
            countingHere = counted;
            output->render_(output->context_, block.data(), 512);
            countingHere = false;
            if (player.playerSampleTime().value_or(0) >= from + frames) {
                return true;
            }
            std::this_thread::yield();
        }
        return false;
    };
    struct Setting {
        float overlap, rate, cents;
        bool countedAfterSeek; // Rubber Band sizes its resampler again after a reset
    };
    const Setting settings[] = {
        {8, 1, 0, true},         {8, 1.5f, 701.955f, true},
        {12, 1.25f, 300, false}, {3.5f, 1.25f, 300, false},
        {12, 4, -1200, false},   {12, 4, -2400, false}, // the faster engine takes over
        {3.5f, 3, -2400, false}, {8, 1, 0, true}};
    player.scheduleSegment(*file, 0, file->length());
    player.play();
    for (const auto& setting : settings) {
        unit.setOverlap(setting.overlap);
        unit.setRate(setting.rate);
        unit.setPitch(setting.cents);
        // Rubber Band itself may allocate when it meets a new ratio: not counted. Playing on,
        // and starting again after a seek, is.
        ASSERT_TRUE(playFor(20000, false));
        ASSERT_TRUE(playFor(20000, true));
        player.stop();
        player.scheduleSegment(*file, 44100, file->length() - 44100);
        player.play();
        ASSERT_TRUE(playFor(20000, setting.countedAfterSeek));
        // A seek while playing: the crossfade from the playing deck into the other one.
        player.scheduleSegment(*file, 88200, file->length() - 88200);
        ASSERT_TRUE(playFor(20000, setting.countedAfterSeek));
    }
    EXPECT_EQ(allocations.load(), 0);
}

} // namespace
} // namespace tindrel::platform
