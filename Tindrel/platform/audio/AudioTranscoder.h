#pragma once

// Decodes the first audio stream of any file the FFmpeg libraries read into a 48 kHz stereo
// 16-bit WAV. Mono is copied to both channels; other layouts are mixed down by libswresample.
// A stream whose layout, sample format or rate changes part-way (a chained Ogg, an ADTS
// stream whose second half is mono) is converted piece by piece, so all of it is heard.
// Only the containers of AudioDemuxerAllowList.h are opened, never a playlist.
// AAC in MP4/M4A is cut to the length the container states (FFmpeg 5.1 decodes it a few
// hundred frames long). A hard demux or I/O error fails the whole transcode; a damaged packet
// that the decoder skips does not. A source rate outside SupportedSampleRates.h fails it too,
// as does output past what the source can hold (its stated length, or a bound from its size).
// The output is also kept within a byte budget (the room the caller's file system has): a
// source whose stated length needs more fails before anything is written, and one that turns
// out longer fails when it reaches the budget. A heartbeat is asked between packets.
// Synchronous; no shared state, so calls on different threads do not interfere.

#include "Tindrel/platform/audio/WorkHeartbeat.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace tindrel::platform {

class AudioTranscoder {
public:
    static constexpr int outputSampleRate = 48000;
    static constexpr int outputChannels = 2;

    enum class Outcome {
        written,
        failed,
        noRoom,  // the audio needs more than the byte budget
        stopped, // the heartbeat said stop
    };
    // Writes the WAV into `destination`, an empty file open for reading and writing, which
    // stays open. On any outcome but `written` the caller discards the file.
    static Outcome transcodeToWav(const std::filesystem::path& source, int destination,
                                  int64_t byteBudget, WorkHeartbeat& heartbeat,
                                  std::string* error = nullptr);

    // The most bytes any decoder may write for a source of `sourceBytes` when nothing better
    // is known of its length: a second per 16 bytes (below any codec's lowest bit rate) plus a
    // minute, at the output's 192000 bytes a second, and never more than a WAV holds.
    static int64_t outputByteCeiling(int64_t sourceBytes);

    // The header and trailer room a WAV needs besides its samples.
    static constexpr int64_t wavOverheadBytes = 4096;
    static constexpr int64_t bytesPerFrame = 4; // 16-bit stereo
    // The most frames a 16-bit stereo WAV can hold: its sizes are 32-bit.
    static constexpr int64_t wavFrameCapacity =
        (int64_t(UINT32_MAX) - wavOverheadBytes) / bytesPerFrame;
    // Seconds of audio a source of `sourceBytes` can honestly hold when nothing better is
    // known: a second per 16 bytes plus a minute.
    static double secondsBoundBySize(int64_t sourceBytes);
};

} // namespace tindrel::platform
