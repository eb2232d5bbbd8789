#pragma once

// A decoded copy while it is being written into the PCM cache's folder: a new file with no name
// (UnpublishedFile) that publish() names only once the copy is complete, so a decode that fails
// or is killed half-way leaves nothing. The file is held (a shared flock) from its creation on;
// release() hands that hold to whoever plays the copy.
// The copy is not flushed to disk before it is named: it is a cache in the temporary folder,
// which the system empties at boot, and a copy that does not open with audio is made again.
// One thread at a time.

#include "Tindrel/platform/files/FileDescriptor.h"
#include "Tindrel/platform/files/UnpublishedFile.h"

#include <filesystem>
#include <optional>
#include <string>

namespace tindrel {

class DecodedCopyFile {
public:
    // None, with `error` set to the system's reason, when no file can be made in `folder`.
    static std::optional<DecodedCopyFile> create(const std::filesystem::path& folder,
                                                 std::string* error);

    // Open for reading and writing, at offset 0.
    int descriptor() const { return file_.descriptor(); }
    // A path through which another program of ours writes the same file.
    std::string pathForWriting() const { return file_.pathForWriting(); }
    int64_t sizeBytes() const;

    // Gives the complete copy the name `cacheFile`, replacing an earlier copy there; when
    // something else is in the way (a folder), the copy keeps a hidden name of its own. The
    // path the copy can be opened at, or none.
    std::optional<std::filesystem::path> publish(const std::filesystem::path& cacheFile);

    // The held descriptor; the file is no longer removed when this object goes.
    platform::FileDescriptor release() { return file_.release(); }

private:
    explicit DecodedCopyFile(platform::UnpublishedFile file) : file_(std::move(file)) {}

    platform::UnpublishedFile file_;
};

} // namespace tindrel
