#pragma once

// Writes a 32-bit float interleaved WAV file safely: the frames go into a new file in the
// target's folder that has no name yet (UnpublishedFile), and commit() names it only when
// everything was written and flushed to the disk. Until then a failure, a drop without commit
// or a kill of the whole program leaves nothing behind.
//
// The file carries the given INFO texts, its comment followed by a digest of the samples, and
// becomes RF64 when it grows past what RIFF's sizes hold (FloatWavHeader). commit() takes the
// name asked for, or the first free numbered one ("<name> (2).wav", ...), when the name is
// taken at that moment; it replaces only a file that is byte for byte one this class wrote
// with the same INFO texts, whatever became of it since, so an edited copy is never lost.
//
// While the frames are written, their writeback to the disk is started as they go, so the
// final flush finds little left; that flush and the check of a file to replace ask the
// heartbeat between steps. One thread at a time; blocking I/O.

#include "Tindrel/platform/audio/AudioPcmBuffer.h"
#include "Tindrel/platform/audio/WorkHeartbeat.h"
#include "Tindrel/platform/files/UnpublishedFile.h"
#include "Tindrel/store/DataDigest.h"
#include "Tindrel/store/FloatWavHeader.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tindrel {

class FloatWavSaveFile {
public:
    // None (and `error` set) when no new file can be made in `folder`.
    static std::unique_ptr<FloatWavSaveFile> create(const std::filesystem::path& folder,
                                                    double sampleRate, uint32_t channels,
                                                    WavInfo info, std::string* error);
    FloatWavSaveFile(const FloatWavSaveFile&) = delete;
    FloatWavSaveFile& operator=(const FloatWavSaveFile&) = delete;

    // Appends the buffer's frames (its channel count must be the file's).
    bool append(const platform::AudioPcmBuffer& buffer, std::string* error);

    // Completes and flushes the file and names it `named`, or the first free numbered name
    // (see above). The name taken; none with `error` set, or with `error` empty when the
    // heartbeat said stop (the file then goes without a trace).
    std::optional<std::filesystem::path> commit(const std::filesystem::path& named,
                                                platform::WorkHeartbeat& heartbeat,
                                                std::string* error);

    int64_t framesWritten() const { return framesWritten_; }

    enum class Check { untouched, changed, stopped };
    // Whether the file at `path` (a symbolic link is not followed) is byte for byte one this
    // class wrote with `info`; reads it whole, asking the heartbeat between pieces.
    static Check checkUntouched(const std::filesystem::path& path, const WavInfo& info,
                                platform::WorkHeartbeat& heartbeat);

private:
    FloatWavSaveFile(platform::UnpublishedFile file, uint32_t sampleRate, uint32_t channels,
                     WavInfo info);
    bool writeAll(const void* data, size_t size, std::string* error);

    platform::UnpublishedFile file_;
    uint32_t sampleRate_;
    uint32_t channels_;
    WavInfo info_;
    std::vector<float> interleaved_;
    int64_t framesWritten_ = 0;
    DataDigest digest_;
    int64_t bytesWritten_ = 0;
    int64_t writebackStartedUpTo_ = 0;
    bool committed_ = false;
};

} // namespace tindrel
