#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "Tindrel/platform/audio/engine/SilentPacedOutput.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/TemporaryFolder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace tindrel::platform {
namespace {

struct FrameCounter {
    std::mutex mutex;
    std::condition_variable grew;
    int64_t frames = 0;
    bool active = true; // what the source answers: false for a paused player

    static bool render(void* context, float* interleaved, uint32_t count) {
        auto& counter = *static_cast<FrameCounter*>(context);
        interleaved[0] = 0.0f;
        std::lock_guard lock(counter.mutex);
        counter.frames += count;
        counter.grew.notify_all();
        return counter.active;
    }

    bool waitFor(int64_t atLeast) {
        std::unique_lock lock(mutex);
        return grew.wait_for(lock, std::chrono::seconds(30), [&] { return frames >= atLeast; });
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

TEST(SilentPacedOutput, RestsWhileItsSourceIsIdleAndRendersOneBlockPerWake) {
    for (int wakes : {0, 1, 3}) {
        SCOPED_TRACE(wakes);
        SilentPacedOutput output;
        FrameCounter counter;
        counter.active = false;
        // Half-millisecond blocks: pacing on would render about a hundred in the pause below.
        ASSERT_TRUE(output.start(1000000, 1, &FrameCounter::render, &counter));
        for (int wake = 0; wake <= wakes; ++wake) {
            ASSERT_TRUE(counter.waitFor(512 * int64_t{wake + 1}));
            if (wake < wakes) {
                output.wake();
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::lock_guard lock(counter.mutex);
        EXPECT_EQ(counter.frames, 512 * int64_t{wakes + 1});
    }
}

// Hands the engine's render function to the test and counts the wakes it asks for.
class WakeCountingOutput final : public AudioOutput {
public:
    bool start(double, uint32_t channels, RenderFunction render, void* context) override {
        render_ = render;
        context_ = context;
        block_.assign(512 * size_t{channels}, 0.0f);
        return true;
    }
    void stop() override { render_ = nullptr; }
    bool isRunning() const override { return render_ != nullptr; }
    void wake() override { ++wakes; }

    bool render() { return render_(context_, block_.data(), 512); }

    int wakes = 0;

private:
    RenderFunction render_ = nullptr;
    void* context_ = nullptr;
    std::vector<float> block_;
};

TEST(AudioEngine, RendersIdleOnlyWhilePausedAndWakesTheOutputForWhatTheRenderMustSee) {
    test::TemporaryFolder folder;
    test::writeAudioFile(folder / "tone.wav", test::sineSignal(440, 0.5, 2.0));
    const auto file = AudioFile::openForReading(folder / "tone.wav");
    ASSERT_TRUE(file);
    WakeCountingOutput* output = nullptr;
    AudioEngine engine([&] {
        auto made = std::make_unique<WakeCountingOutput>();
        output = made.get();
        return made;
    });
    ASSERT_TRUE(engine.start());
    auto& player = engine.playerNode();
    struct Step {
        const char* name;
        std::function<void()> act;
        bool wakes;
        bool rendersActive;
    };
    const Step steps[] = {
        {"schedule while stopped", [&] { player.scheduleSegment(*file, 0, 44100); }, true, false},
        {"play", [&] { player.play(); }, true, true},
        {"pause", [&] { player.pause(); }, false, false},
        {"volume while paused", [&] { player.setVolume(0.5f); }, false, false},
        {"seek while paused", [&] { player.scheduleSegment(*file, 22050, 22050); }, true, false},
        {"resume", [&] { player.play(); }, true, true},
        {"stop", [&] { player.stop(); }, true, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const int before = output->wakes;
        step.act();
        EXPECT_EQ(output->wakes > before, step.wakes);
        EXPECT_EQ(output->render(), step.rendersActive);
    }
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
