#pragma once

// What the store's transport asks of the player node while it plays, run on the calling
// thread as its main thread would: every 33 ms it passes the loop to the player and wraps to
// In once the playhead stands within 25 ms of Out; every `seekEvery` seconds it seeks to a
// place inside the loop and notes how long the seek took to be heard. The player plays the
// segment from `startFrame` when it is called.

#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/engine/AudioPlayerNode.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace tindrel::bench {

struct TransportRun {
    int wraps = 0;
    std::vector<double> seekHeardSeconds; // -1: not heard within a second
};

inline TransportRun runTransport(platform::AudioPlayerNode& player, const platform::AudioFile& file,
                                 double sampleRate, int64_t in, int64_t out, double seconds,
                                 double seekEvery, int64_t startFrame,
                                 const std::function<void(int)>& everyQuarter = {}) {
    using namespace std::chrono_literals;
    using Clock = std::chrono::steady_clock;
    TransportRun run;
    const int64_t length = file.length();
    int64_t segmentStart = startFrame;
    player.setLoopRange(platform::AudioPlayerNode::LoopRange{in, out});
    const auto begin = Clock::now();
    auto nextTick = begin;
    auto nextSeek = begin + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(seekEvery));
    auto nextQuarter = begin + 250ms;
    int quarter = 0;
    int seeks = 0;
    const auto wrapMargin = static_cast<int64_t>(0.025 * sampleRate);
    while (Clock::now() - begin < std::chrono::duration<double>(seconds)) {
        nextTick += 33ms;
        std::this_thread::sleep_until(nextTick);
        player.setLoopRange(platform::AudioPlayerNode::LoopRange{in, out});
        if (const auto heard = player.playerSampleTime();
            heard && segmentStart + *heard >= out - wrapMargin) {
            segmentStart = in;
            player.scheduleSegment(file, in, length - in);
            ++run.wraps;
        }
        if (everyQuarter && Clock::now() >= nextQuarter) {
            everyQuarter(quarter++);
            nextQuarter += 250ms;
        }
        if (seekEvery > 0 && Clock::now() >= nextSeek) {
            nextSeek += std::chrono::duration_cast<Clock::duration>(
                std::chrono::duration<double>(seekEvery));
            // Places spread over the loop's first three quarters.
            const int64_t to = in + (out - in) * (1 + 2 * (seeks++ % 3)) / 8;
            segmentStart = to;
            const auto since = Clock::now();
            player.scheduleSegment(file, to, length - to);
            double heardAfter = -1;
            while (Clock::now() - since < 1s) {
                if (player.playerSampleTime()) {
                    heardAfter = std::chrono::duration<double>(Clock::now() - since).count();
                    break;
                }
                std::this_thread::sleep_for(200us);
            }
            run.seekHeardSeconds.push_back(heardAfter);
        }
    }
    return run;
}

} // namespace tindrel::bench
