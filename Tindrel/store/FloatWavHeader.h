#pragma once

// The header of the 32-bit float interleaved WAV files an export writes, and the reading back
// of the LIST/INFO chunk in it, by which an earlier export is told from any other file.
// The header's length never depends on the frame count: a JUNK chunk at its front holds the
// place of the ds64 chunk that makes the file RF64 once its sizes pass what RIFF's 32 bits
// hold (4 GiB less the header), the form for large files that libsndfile and ffmpeg read.
// Pure apart from readWavInfo's file read; any thread.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tindrel {

// A WAV file's LIST/INFO texts: the program that wrote it (ISFT) and a comment (ICMT).
struct WavInfo {
    std::string software;
    std::string comment;
    bool operator==(const WavInfo&) const = default;
};

// The bytes before the samples of a file of `frames` frames; the samples follow at once.
std::string floatWavHeader(uint32_t sampleRate, uint32_t channels, int64_t frames,
                           const WavInfo& info);

// The INFO texts of the regular file at `path` (a symbolic link is not followed) when it is a
// RIFF or RF64 WAV file that has them within its first 64 KiB; none otherwise.
std::optional<WavInfo> readWavInfo(const std::filesystem::path& path);

} // namespace tindrel
