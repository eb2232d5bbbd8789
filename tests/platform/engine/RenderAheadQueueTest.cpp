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
// `heard` -1: the end of the frames written.
void writeNumbered(RenderAheadQueue& queue, size_t frames, float version, int64_t heard) {
    std::vector<float> values(frames);
    const uint64_t from = queue.writePosition();
    for (size_t k = 0; k < frames; ++k) {
        values[k] = static_cast<float>(from + k) + version;
    }
    const float* channels[] = {values.data()};
    queue.write(channels, 0, frames,
                {1, heard < 0 ? static_cast<int64_t>(from + frames) : heard, true});
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

// A stop or a schedule while stopped drops what was rendered, from whichever thread and at
// whatever point of a splice it comes: what is written after the splice is all heard.
TEST(RenderAheadQueue, ADropDuringASpliceSparesWhatIsWrittenAfterIt) {
    enum class When { beforeTheFence, whileFenced, afterTheSplice };
    for (const When when : {When::beforeTheFence, When::whileFenced, When::afterTheSplice}) {
        RenderAheadQueue queue(1, 8192, 256);
        for (int k = 0; k < 16; ++k) {
            writeNumbered(queue, 256, 0, 0);
        }
        std::vector<float> out(4096);
        float* destination[] = {out.data()};
        ASSERT_EQ(queue.read(destination, 0, 512, nullptr), 512u);
        if (when == When::beforeTheFence) {
            queue.dropUnread();
        }
        const uint64_t at = queue.fence(queue.readPosition() + 768);
        if (when == When::whileFenced) {
            queue.dropUnread();
        }
        queue.truncateAtFenceAndRelease();
        if (when == When::afterTheSplice) {
            queue.dropUnread();
        }
        writeNumbered(queue, 256, 0.5f, 0);
        writeNumbered(queue, 256, 0.5f, 0);
        ASSERT_EQ(queue.read(destination, 0, 4096, nullptr), 512u) << static_cast<int>(when);
        EXPECT_EQ(out[0], static_cast<float>(at) + 0.5f) << static_cast<int>(when);
    }
}

// A reader on its own thread, as a device's, while the writer appends and splices as the engine
// does (peeking at the frames a join fades out of before fencing the reader for the copy):
// every frame read is either the one first written at its position or its rewrite, never a
// torn or skipped one, a splice never lands before what was read, and the playhead read with
// the frames lies within the quantum they end in.
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
            RenderAheadQueue::Mark passed;
            passed.known = false;
            const size_t got = queue.read(destination, 0, 1 + random() % 700, &passed);
            for (size_t k = 0; k < got; ++k, ++position) {
                if (std::floor(out[k]) != static_cast<float>(position)) {
                    failed = true;
                }
            }
            // Never ahead of what was read, and behind it by a few quanta at most: about a
            // splice, frames may have no stamp yet, and one being rewritten is not read.
            const auto now = static_cast<int64_t>(position);
            if (passed.known && (passed.heard > now + 1 || passed.heard < now - 1024)) {
                failed = true;
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
            const uint64_t from =
                std::min(queue.readPosition() + random() % 1024, queue.writePosition());
            std::vector<float> taken(64);
            float* into[] = {taken.data()};
            const size_t peeked = queue.peek(from, into, 0, 64);
            for (size_t k = 0; k < peeked; ++k) {
                EXPECT_EQ(std::floor(taken[k]), static_cast<float>(from + k));
            }
            const uint64_t at = queue.fence(from);
            EXPECT_GE(at, from);
            queue.truncateAtFenceAndRelease();
            EXPECT_EQ(queue.writePosition(), at);
            ++splices;
            writeNumbered(queue, 256, 0.5f, -1);
        } else {
            writeNumbered(queue, 256, 0, -1);
        }
    }
    reader.join();
    EXPECT_FALSE(failed.load());
    EXPECT_GT(splices, 100);
}

} // namespace
} // namespace tindrel::platform
