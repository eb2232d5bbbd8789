#include "Tindrel/platform/audio/engine/RingBuffer.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace tindrel::platform {
namespace {

TEST(RingBuffer, KeepsOrderAcrossTheWrapAndRefusesWhatDoesNotFit) {
    RingBuffer ring(2, 8);
    std::vector<float> left(20), right(20);
    for (int k = 0; k < 20; ++k) {
        left[k] = static_cast<float>(k);
        right[k] = static_cast<float>(-k);
    }
    const float* source[] = {left.data(), right.data()};
    std::vector<float> outLeft(20), outRight(20);
    float* destination[] = {outLeft.data(), outRight.data()};

    EXPECT_EQ(ring.write(source, 0, 6), 6u);
    EXPECT_EQ(ring.read(destination, 0, 4), 4u);
    EXPECT_EQ(ring.write(source, 6, 20), 6u) << "only the free space is taken";
    EXPECT_EQ(ring.readable(), 8u);
    EXPECT_EQ(ring.writable(), 0u);
    EXPECT_EQ(ring.read(destination, 4, 20), 8u);
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(outLeft[k], static_cast<float>(k));
        EXPECT_EQ(outRight[k], static_cast<float>(-k));
    }

    ring.write(source, 0, 3);
    ring.discardReadable();
    EXPECT_EQ(ring.readable(), 0u);
    EXPECT_EQ(ring.read(destination, 0, 5), 0u);
}

TEST(RingBuffer, OneWriterAndOneReaderOnTwoThreadsLoseNothing) {
    constexpr int total = 200000;
    RingBuffer ring(1, 1000);
    std::thread writer([&] {
        std::vector<float> chunk(77);
        for (int next = 0; next < total;) {
            for (int k = 0; k < 77; ++k) {
                chunk[k] = static_cast<float>(next + k);
            }
            const float* source[] = {chunk.data()};
            const int count = std::min(77, total - next);
            next += static_cast<int>(ring.write(source, 0, static_cast<size_t>(count)));
            std::this_thread::yield();
        }
    });
    std::vector<float> received;
    std::vector<float> chunk(50);
    float* destination[] = {chunk.data()};
    while (static_cast<int>(received.size()) < total) {
        const size_t got = ring.read(destination, 0, 50);
        received.insert(received.end(), chunk.begin(), chunk.begin() + static_cast<long>(got));
        std::this_thread::yield();
    }
    writer.join();
    for (int k = 0; k < total; ++k) {
        ASSERT_EQ(received[k], static_cast<float>(k));
    }
}

} // namespace
} // namespace tindrel::platform
