#pragma once

// An audio file open for reading. Samples are delivered in the processing format:
// 32-bit float, non-interleaved, at the file's own rate and channel count.
//
// Every sample delivered is finite: NaN and infinite samples in a file read as 0.
//
// Thread safety: one AudioFile is used by one thread at a time. Code that needs to read the
// same file from another thread (the player's streaming thread, the export) opens its own
// instance with reopen(); instances share only the file opened first, read by position, so
// a reopened reader still reads a file that was moved or deleted since.
//
// Seeking is exact for every format it opens: frames read after setFramePosition(n) are the
// frames a sequential read from the start returns at n.

#include "Tindrel/platform/audio/AudioPcmBuffer.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace tindrel::platform {

struct AudioFormat {
    double sampleRate = 0;      // Hz
    uint32_t channelCount = 0;
};

class AudioFile {
public:
    virtual ~AudioFile() = default;

    // Opens a regular file for reading. Fails (no file, and `error` set when given) for a
    // missing path, anything but a regular file, content no reader understands, or a sample
    // rate outside SupportedSampleRates.h.
    static std::unique_ptr<AudioFile> openForReading(const std::filesystem::path& path,
                                                     std::string* error = nullptr);

    // A fresh, independent reader of the same file, positioned at frame 0.
    virtual std::unique_ptr<AudioFile> reopen(std::string* error = nullptr) const = 0;

    virtual const std::filesystem::path& path() const = 0;
    virtual AudioFormat processingFormat() const = 0;
    virtual AudioFormat fileFormat() const = 0;

    // Length in frames: the frames that really decode, not a header's estimate.
    virtual int64_t length() const = 0;

    // Bits per sample of the PCM on disk: integer or float, plain or packed losslessly (FLAC,
    // ALAC); none for lossy formats.
    virtual std::optional<int> fileBitDepth() const = 0;

    virtual int64_t framePosition() const = 0;
    virtual void setFramePosition(int64_t frame) = 0;

    // Reads up to min(frameCount, buffer capacity) frames from the position into `buffer`
    // (whose channel count must equal the processing format's) and advances the position.
    // Sets the buffer's frame length; 0 frames at the end of the file is success.
    // False on a read error.
    virtual bool read(AudioPcmBuffer& buffer, int64_t frameCount) = 0;
};

} // namespace tindrel::platform
