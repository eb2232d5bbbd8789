#pragma once

// Where decoded PCM copies of sources live, and how they are named and kept. The shared folder
// is created 0700 and used only while it is a real directory owned by this user and closed to
// others; otherwise copies go to a private folder of this process (made with mkdtemp), which
// goes with its copies when the program ends.
//
// A copy in use is held: its descriptor carries a shared flock, from the moment it is being
// written (DecodedCopyFile) or, for a copy found in the cache, from hold(). Clean-up takes an
// exclusive lock without waiting before it removes anything, so it never removes what any
// running instance of the program holds. trim() keeps the folder's copies within a byte limit,
// least recently used (written or held) first, and removes the hidden files that decodes of
// killed runs left (UnpublishedFile::removeLeftovers).
// Thread-safe: the private folder is made under a lock; everything else is per call.

#include "Tindrel/platform/files/FileDescriptor.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

struct stat;

namespace tindrel {

class PcmCache {
public:
    explicit PcmCache(std::filesystem::path sharedFolder)
        : sharedFolder_(std::move(sharedFolder)) {}

    // The folder to use now, re-created if it vanished; none when no folder can be made.
    std::optional<std::filesystem::path> folder() const;
    // The private folder of this process alone, for copies the shared folder does not take.
    static std::optional<std::filesystem::path> privateFolder();

    // What tells one state of a source file from another: a file replaced by another of the
    // same size and modification time still has another inode or status-change time.
    struct SourceIdentity {
        int64_t sizeBytes = 0;
        int64_t modifiedNanoseconds = 0;
        uint64_t device = 0;
        uint64_t inode = 0;
        int64_t changedNanoseconds = 0;
        static SourceIdentity of(const struct stat& info);
    };

    // "<sanitised base>_<size>_<hash>.wav": every character of the base name other than
    // A-Z a-z 0-9 . _ - becomes "_" (one per code point); the hash covers the absolute path and
    // the rest of the identity, so no two sources or states of a source share a copy.
    static std::string cacheFileName(const std::filesystem::path& absoluteSource,
                                     const SourceIdentity& identity);

    // The sanitised base alone, capped so every file name made from it fits NAME_MAX.
    static std::string sanitisedBaseName(const std::filesystem::path& source);

    // The copy at `copy` opened read-only and held, and marked as used just now; invalid when
    // it is not a regular file or is being removed.
    static platform::FileDescriptor hold(const std::filesystem::path& copy);

    // Bytes this user may still write on the file system of `folder`; -1 when unknown.
    static int64_t freeBytes(const std::filesystem::path& folder);

    // Removes unheld leftovers, then unheld copies, least recently used first, until the
    // copies in `folder` add up to at most `limitBytes`.
    static void trim(const std::filesystem::path& folder, int64_t limitBytes);

private:
    std::filesystem::path sharedFolder_;
};

} // namespace tindrel
