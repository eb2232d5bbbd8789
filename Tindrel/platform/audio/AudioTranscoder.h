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
// Synchronous; no shared state, so calls on different threads do not interfere.

#include <filesystem>
#include <string>

namespace tindrel::platform {

class AudioTranscoder {
public:
    static constexpr int outputSampleRate = 48000;
    static constexpr int outputChannels = 2;

    // Writes `destination` (created or replaced). False when nothing playable came out; the
    // caller removes whatever was written then.
    static bool transcodeToWav(const std::filesystem::path& source,
                               const std::filesystem::path& destination,
                               std::string* error = nullptr);
};

} // namespace tindrel::platform
