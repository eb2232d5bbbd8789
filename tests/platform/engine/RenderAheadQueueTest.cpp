#include "Tindrel/platform/audio/engine/RenderAheadQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

namespace tindrel::platform {
namespace {

// Frames whose value is their position, plus `version` (0 or 0.5) once rewritten by a splice.
void writeNumbered(RenderAheadQueue& queue, size_t frames, float version, int64_t heard) {
    std::vector<float> values(frames);
    const uint64_t from = queue.writePosition();
    for (size_t k = 0; k < frames; ++k) {
        values[k] = static_cast<float>(from + k) + version;
    }
    const float* channels[] = {values.data()};
    queue.write(channels, 0, frames, {1, heard, true});
}

TEST(RenderAheadQueue, PlayheadFollowsTheReadFramesAndDroppedOnesAreSkipped) {
    RenderAheadQueue queue(1, 1024, 256);
    writeNumbered(queue, 256, 0, 512); // two source frames a frame, at 2x
    writeNumbered(queue, 256, 0, 1024);
    std::vector<float> out(600);
    float* destination[] = {out.data()};
    struct Step {
        size_t frames;
        int64_t heard; // -1: nothing known yet
    };
    const Step steps[] = {{100, -1}, {156, 512}, {64, 640}, {36, 712}};
    for (const Step& step : steps) {
        RenderAheadQueue::Mark passed;
        passed.heard = -1;
        ASSERT_EQ(queue.read(destination, 0, step.frames, &passed), step.frames);
        EXPECT_EQ(passed.heard, step.heard) << step.frames;
    }
    queue.dropUnread();
    writeNumbered(queue, 256, 0, 256);
    ASSERT_EQ(queue.read(destination, 0, 600, nullptr), 256u) << "the old frames are skipped";
    EXPECT_EQ(out[0], 512.0f);
}

// A reader on its own thread, as a device's, while the writer appends and splices: every frame
// read is either the one first written at its position or its rewrite, never a torn or skipped
// one, and a splice never lands before what was read.
TEST(RenderAheadQueue, ASpliceRewritesOnlyWhatTheReaderHasNotReached) {
    RenderAheadQueue queue(1, 4096, 256);
    constexpr uint64_t total = 400000;
    std::atomic<bool> failed{false};
    std::atomic<bool> readerDone{false};
    std::thread reader([&] {
        std::mt19937 random(3);
        std::vector<float> out(700);
        float* destination[] = {out.data()};
        uint64_t position = 0;
        while (position < total && !failed) {
            const size_t got = queue.read(destination, 0, 1 + random() % 700, nullptr);
            for (size_t k = 0; k < got; ++k, ++position) {
                if (std::floor(out[k]) != static_cast<float>(position)) {
                    failed = true;
                }
            }
            std::this_thread::yield();
        }
        readerDone = true;
    });
    std::mt19937 random(5);
    int splices = 0;
    while (!readerDone) {
        if (queue.writable() < 256) {
            std::this_thread::yield();
            continue;
        }
        if (random() % 8 == 0) {
            const uint64_t at = queue.fence(queue.readPosition() + random() % 1024);
            std::vector<float> taken(64);
            float* into[] = {taken.data()};
            const size_t peeked = queue.peek(at, into, 0, 64);
            for (size_t k = 0; k < peeked; ++k) {
                EXPECT_EQ(std::floor(taken[k]), static_cast<float>(at + k));
            }
            queue.truncateAtFenceAndRelease();
            EXPECT_EQ(queue.writePosition(), at);
            ++splices;
            writeNumbered(queue, 256, 0.5f, 0);
        } else {
            writeNumbered(queue, 256, 0, 0);
        }
    }
    reader.join();
    EXPECT_FALSE(failed.load());
    EXPECT_GT(splices, 100);
}

} // namespace
} // namespace tindrel::platform
