// A seek whose new place stalls on the disk, through the real graph on an output that reports
// itself as real time: the file's reads from a chosen frame on wait until the test lets them go.
// The device's calls must go on playing what the worker rendered (the old place up to the join,
// then what came of the new place) and never be held at the join while the worker waits for
// input, and a seek meanwhile must not wait for the read; once the read goes on, playback goes
// on.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "Tindrel/platform/audio/engine/ManualOutput.h"
#include "Tindrel/platform/audio/engine/RubberBandTimePitch.h"
#include "tests/platform/engine/EngineTestRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tindrel::test {
namespace {

constexpr double sampleRate = 44100;
constexpr int64_t seekTarget = 2 * 44100; // where the tone goes from 440 Hz to 880 Hz

// Holds every read that starts at or past `stallFrom` until opened.
class ReadGate {
public:
    void close(int64_t stallFrom) {
        std::lock_guard lock(mutex_);
        stallFrom_ = stallFrom;
    }
    void open() {
        {
            std::lock_guard lock(mutex_);
            stallFrom_ = INT64_MAX;
        }
        opened_.notify_all();
    }
    void passAt(int64_t position) {
        std::unique_lock lock(mutex_);
        opened_.wait(lock, [&] { return position < stallFrom_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable opened_;
    int64_t stallFrom_ = INT64_MAX;
};

// A real file read through the gate: a disk that stalls at a chosen place.
class GatedAudioFile final : public platform::AudioFile {
public:
    GatedAudioFile(std::unique_ptr<platform::AudioFile> file, ReadGate& gate)
        : file_(std::move(file)), gate_(gate) {}

    std::unique_ptr<platform::AudioFile> reopen(std::string* error) const override {
        auto reader = file_->reopen(error);
        return reader ? std::make_unique<GatedAudioFile>(std::move(reader), gate_) : nullptr;
    }
    const std::filesystem::path& path() const override { return file_->path(); }
    platform::AudioFormat processingFormat() const override { return file_->processingFormat(); }
    platform::AudioFormat fileFormat() const override { return file_->fileFormat(); }
    int64_t length() const override { return file_->length(); }
    std::optional<int> fileBitDepth() const override { return file_->fileBitDepth(); }
    int64_t framePosition() const override { return file_->framePosition(); }
    void setFramePosition(int64_t frame) override { file_->setFramePosition(frame); }
    bool read(platform::AudioPcmBuffer& buffer, int64_t frameCount) override {
        gate_.passAt(file_->framePosition());
        return file_->read(buffer, frameCount);
    }

private:
    std::unique_ptr<platform::AudioFile> file_;
    ReadGate& gate_;
};

// Not a sleep for timing: each wait ends when the engine reaches the state; the deadline only
// keeps a broken engine from hanging the test.
template <typename Condition> bool waitFor(Condition reached) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!reached()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

bool isHigherTone(const std::vector<float>& block) {
    return tonePower(block, 880, sampleRate) > 10 * tonePower(block, 440, sampleRate);
}

TEST(StalledRead, TheDeviceGoesOnPlayingWhatWasRenderedWhileTheNewPlaceWaitsForTheDisk) {
    TemporaryFolder folder;
    Signal signal = sineSignal(440, 0.5, 8.0, sampleRate);
    const Signal higher = sineSignal(880, 0.5, 8.0, sampleRate);
    std::copy(higher.samples.begin() + seekTarget * 2, higher.samples.end(),
              signal.samples.begin() + seekTarget * 2);
    writeAudioFile(folder / "two-tones.wav", signal, SampleEncoding::Float32);
    ReadGate gate;
    GatedAudioFile file(platform::AudioFile::openForReading(folder / "two-tones.wav"), gate);

    platform::ManualOutput* output = nullptr;
    platform::AudioEngine engine([&] {
        auto made = std::make_unique<platform::ManualOutput>(true);
        output = made.get();
        return made;
    });
    // Before the engine goes: its player's streaming thread may be held in a read.
    struct OpenOnExit {
        ReadGate& gate;
        ~OpenOnExit() { gate.open(); }
    } openOnExit{gate};
    engine.connect(file.processingFormat());
    ASSERT_TRUE(engine.start());
    const auto& unit = dynamic_cast<const platform::RubberBandTimePitch&>(engine.timePitchUnit());
    auto& player = engine.playerNode();
    const auto pumpBlock = [&](uint32_t frames) {
        output->pump(frames);
        std::vector<float> left(frames);
        for (uint32_t k = 0; k < frames; ++k) {
            left[k] = output->lastPumped()[size_t{k} * 2];
        }
        return left;
    };

    player.scheduleSegment(file, 0, file.length());
    player.play();
    for (int k = 0; k < 40; ++k) {
        ASSERT_TRUE(waitFor([&] { return engine.renderAheadSettled(); }));
        pumpBlock(512);
    }
    ASSERT_EQ(engine.underrunFrames(), 0);

    // The new place's first chunks arrive, enough for the join, the frames after it and what
    // the paths read ahead; the next read stalls. The device reads on only while the worker rests
    // with its queue full, so what it finds once the worker waits for the disk is what it rendered
    // before.
    gate.close(seekTarget + 32768);
    player.scheduleSegment(file, seekTarget, file.length() - seekTarget);
    ASSERT_TRUE(waitFor([&] {
        if (engine.renderAheadSettled()) {
            pumpBlock(256);
        }
        // Below what the old place had reached: the new place's count.
        const auto heard = unit.heardFrames();
        return heard && *heard >= 2048 && *heard < 16384;
    })) << "the join and the frames after it were not rendered";
    ASSERT_EQ(engine.underrunFrames(), 0);

    int newPlaceBlocks = 0;
    int pumped = 0;
    for (; engine.underrunFrames() == 0 && pumped < 400; ++pumped) {
        newPlaceBlocks += isHigherTone(pumpBlock(256)) ? 1 : 0;
    }
    EXPECT_GT(engine.underrunFrames(), 0) << "the read never stalled playback";
    // At least 2048 frames of the new place were rendered, less a quantum the worker may hold
    // and the 5 ms the join skips: the device was not held at the join.
    EXPECT_GE(newPlaceBlocks, 5) << "held at the join after " << pumped << " blocks";

    // Nor is the main thread held by the stalled read: a seek meanwhile returns at once.
    auto seek = std::async(std::launch::async, [&] {
        player.scheduleSegment(file, seekTarget, file.length() - seekTarget);
    });
    EXPECT_EQ(seek.wait_for(std::chrono::seconds(20)), std::future_status::ready)
        << "a seek waited for the stalled read";
    gate.open();
    seek.wait();
    const int64_t underrunsAtStall = engine.underrunFrames();
    for (int k = 0; k < 20; ++k) {
        ASSERT_TRUE(waitFor([&] { return engine.renderAheadSettled(); }));
        EXPECT_TRUE(isHigherTone(pumpBlock(512))) << "block " << k << " after the read went on";
    }
    EXPECT_EQ(engine.underrunFrames(), underrunsAtStall);
}

} // namespace
} // namespace tindrel::test
