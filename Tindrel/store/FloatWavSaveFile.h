#pragma once

// Writes a 32-bit float interleaved WAV file safely: the frames go into an unnamed temporary
// file in the target's folder (O_TMPFILE), which commit() links into place only when
// everything was written. Until then the file has no name, so a failure, a drop without
// commit or a kill of the whole program leaves nothing behind, and the target's name may be
// as long as the folder allows. A file of the target's name is replaced only when asked, and
// then only by a complete one. Where the file system has no unnamed files, a hidden temporary
// with a short name is written instead and moved to the target; such temporaries left by a
// killed run are removed once older than a day, whenever a file is next saved in that folder.
// The file carries the given INFO texts, and becomes RF64 when it grows past what RIFF's
// sizes hold (FloatWavHeader). A folder at the target's name is never replaced.
// One thread at a time; blocking I/O.

#include "Tindrel/platform/audio/AudioPcmBuffer.h"
#include "Tindrel/platform/audio/FileDescriptor.h"
#include "Tindrel/store/FloatWavHeader.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tindrel {

class FloatWavSaveFile {
public:
    // None (and `error` set) when the temporary file cannot be made or the target is a folder.
    static std::unique_ptr<FloatWavSaveFile> create(const std::filesystem::path& target,
                                                    double sampleRate, uint32_t channels,
                                                    WavInfo info, std::string* error);
    ~FloatWavSaveFile();
    FloatWavSaveFile(const FloatWavSaveFile&) = delete;
    FloatWavSaveFile& operator=(const FloatWavSaveFile&) = delete;

    // Appends the buffer's frames (its channel count must be the file's).
    bool append(const platform::AudioPcmBuffer& buffer, std::string* error);

    enum class ExistingFile { keep, replace };
    // Completes the file and puts it at the target's name. With `keep`, a file that has the
    // name by then stays, and the commit fails.
    bool commit(ExistingFile existing, std::string* error);

    int64_t framesWritten() const { return framesWritten_; }

    // Whether `name` is one of the hidden temporaries this class makes.
    static bool isTemporaryName(std::string_view name);

private:
    FloatWavSaveFile(platform::FileDescriptor file, std::filesystem::path temporaryPath,
                     std::filesystem::path target, uint32_t sampleRate, uint32_t channels,
                     WavInfo info);
    bool writeAll(const void* data, size_t size, std::string* error);
    // Give the finished file the target's name: the unnamed one, or the named temporary.
    bool linkIntoPlace(ExistingFile existing, std::string* error);
    bool moveIntoPlace(ExistingFile existing, std::string* error);

    platform::FileDescriptor file_;
    std::filesystem::path temporaryPath_; // empty while the file has no name
    std::filesystem::path target_;
    uint32_t sampleRate_;
    uint32_t channels_;
    WavInfo info_;
    std::vector<float> interleaved_;
    int64_t framesWritten_ = 0;
    bool committed_ = false;
};

} // namespace tindrel
