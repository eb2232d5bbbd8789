#pragma once

// Writes a 32-bit float interleaved WAV file safely: the frames go into a hidden temporary
// file in the target's folder, and commit() renames it over the target only when everything
// was written. Dropped without a successful commit, the temporary file is removed, so a
// failure leaves an earlier file of the target's name untouched and no partial file behind.
// A folder at the target's name is never replaced. One thread at a time; blocking I/O.

#include "Tindrel/platform/audio/AudioPcmBuffer.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

typedef struct sf_private_tag SNDFILE;

namespace tindrel {

class FloatWavSaveFile {
public:
    // None (and `error` set) when the temporary file cannot be made or the target is a folder.
    static std::unique_ptr<FloatWavSaveFile> create(const std::filesystem::path& target,
                                                    double sampleRate, uint32_t channels,
                                                    std::string* error);
    ~FloatWavSaveFile();
    FloatWavSaveFile(const FloatWavSaveFile&) = delete;
    FloatWavSaveFile& operator=(const FloatWavSaveFile&) = delete;

    // Appends the buffer's frames (its channel count must be the file's).
    bool append(const platform::AudioPcmBuffer& buffer, std::string* error);
    // Completes the file and renames it over the target.
    bool commit(std::string* error);

    int64_t framesWritten() const { return framesWritten_; }
    const std::filesystem::path& temporaryPath() const { return temporaryPath_; }

private:
    FloatWavSaveFile(SNDFILE* file, std::filesystem::path temporaryPath,
                     std::filesystem::path target, uint32_t channels);

    SNDFILE* file_;
    std::filesystem::path temporaryPath_;
    std::filesystem::path target_;
    uint32_t channels_;
    std::vector<float> interleaved_;
    int64_t framesWritten_ = 0;
    bool committed_ = false;
};

} // namespace tindrel
