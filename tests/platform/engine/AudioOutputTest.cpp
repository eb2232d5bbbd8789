#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "Tindrel/platform/audio/engine/SilentPacedOutput.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace tindrel::platform {
namespace {

struct FrameCounter {
    std::mutex mutex;
    std::condition_variable grew;
    int64_t frames = 0;

    static bool render(void* context, float* interleaved, uint32_t count) {
        auto& counter = *static_cast<FrameCounter*>(context);
        interleaved[0] = 0.0f;
        std::lock_guard lock(counter.mutex);
        counter.frames += count;
        counter.grew.notify_all();
        return true;
    }
};

TEST(SilentPacedOutput, PullsAudioNoFasterThanRealTimeAndStopsWhenTold) {
    SilentPacedOutput output;
    FrameCounter counter;
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(output.start(8000, 2, &FrameCounter::render, &counter));
    EXPECT_TRUE(output.isRunning());
    {
        std::unique_lock lock(counter.mutex);
        ASSERT_TRUE(counter.grew.wait_for(lock, std::chrono::seconds(30),
                                          [&] { return counter.frames >= 2048; }));
        // Paced by the clock: never ahead of real time by more than the block in flight.
        const double elapsed =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        EXPECT_LE(static_cast<double>(counter.frames), elapsed * 8000 + 512);
    }
    output.stop();
    EXPECT_FALSE(output.isRunning());

    // At 1 Hz a block lasts 512 s; stop() must not wait for it to run out.
    const int64_t before = counter.frames;
    ASSERT_TRUE(output.start(1, 1, &FrameCounter::render, &counter));
    {
        std::unique_lock lock(counter.mutex);
        ASSERT_TRUE(counter.grew.wait_for(lock, std::chrono::seconds(30),
                                          [&] { return counter.frames > before; }));
    }
    output.stop();
    EXPECT_FALSE(output.isRunning());
}

TEST(SilentPacedOutput, RefusesAFormatItCannotPace) {
    SilentPacedOutput output;
    FrameCounter counter;
    EXPECT_FALSE(output.start(0, 2, &FrameCounter::render, &counter));
    EXPECT_FALSE(output.start(44100, 0, &FrameCounter::render, &counter));
    EXPECT_FALSE(output.isRunning());
}

TEST(AudioEngine, StartsWithTheDefaultOutputEvenWithoutASoundCard) {
    AudioEngine engine;
    std::string error;
    EXPECT_TRUE(engine.start(&error)) << error;
    EXPECT_TRUE(engine.isRunning());
    engine.connect({48000, 1});
    EXPECT_TRUE(engine.isRunning());
    engine.stop();
    EXPECT_FALSE(engine.isRunning());
    engine.stop();
}

TEST(AudioEngine, OfflineRenderingRefusesMisuse) {
    AudioEngine engine;
    AudioPcmBuffer buffer(2, 512);
    std::string error;
    EXPECT_EQ(engine.renderOffline(512, buffer, &error), AudioEngine::RenderStatus::error);
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(engine.enableManualRenderingMode({44100, 2}, 0));
    ASSERT_TRUE(engine.enableManualRenderingMode({44100, 1}, 256));
    ASSERT_TRUE(engine.start());
    EXPECT_EQ(engine.renderOffline(512, buffer), AudioEngine::RenderStatus::error)
        << "channel count differs";
    AudioPcmBuffer mono(1, 512);
    EXPECT_EQ(engine.renderOffline(512, mono), AudioEngine::RenderStatus::success);
    EXPECT_EQ(mono.frameLength(), 256) << "limited to the maximum frame count";
    EXPECT_EQ(engine.manualRenderingSampleTime(), 256);
}

} // namespace
} // namespace tindrel::platform
