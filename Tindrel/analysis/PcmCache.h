#pragma once

// Where decoded PCM copies of sources live. The shared folder is created 0700 and used only
// while it is a real directory owned by this user and closed to others; otherwise copies go
// to a private folder of this process (made with mkdtemp). A copy is written to an exclusive
// temporary file and renamed into place only once it opens with audio, so a decode killed
// half-way never becomes a cache entry; such temporaries older than a day are removed when
// the next one is made. The private folder goes with its copies when the program ends.
// Thread-safe: the private folder is made under a lock; everything else is per call.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace tindrel {

class PcmCache {
public:
    explicit PcmCache(std::filesystem::path sharedFolder)
        : sharedFolder_(std::move(sharedFolder)) {}

    // The folder to use now, re-created if it vanished; none when no folder can be made.
    std::optional<std::filesystem::path> folder() const;

    // "<sanitised base>_<size>_<hash>.wav": every character of the base name other than
    // A-Z a-z 0-9 . _ - becomes "_" (one per code point); the hash covers the absolute path
    // and modification time, so equal names and sizes in two folders never share a copy.
    static std::string cacheFileName(const std::filesystem::path& absoluteSource, int64_t sizeBytes,
                                     int64_t modifiedNanoseconds);

    // A new, empty, exclusively created file in `folder` whose name ends in ".wav" and starts
    // with "."; none on failure.
    static std::optional<std::filesystem::path>
    createTemporaryFile(const std::filesystem::path& folder, const std::string& cacheFileName);

    // The sanitised base alone, capped so every file name made from it fits NAME_MAX.
    static std::string sanitisedBaseName(const std::filesystem::path& source);

private:
    std::filesystem::path sharedFolder_;
};

} // namespace tindrel
