#pragma once

// Replaces a small file the program keeps for itself (the desktop's mimeapps.list, the settings
// file) so that it is never left half written: the new bytes go to a new file beside it that has
// no name yet (UnpublishedFile), written whole and flushed to the disk (every result checked),
// and only then renamed over it. On any failure the old file stays byte for byte as it was and
// nothing else is left. A hidden file a killed run left is removed at the next write in the
// folder, once nothing holds it.
//
// A symbolic link is followed, so the file it points at is replaced and the link stays. A path
// that holds something other than a regular file (a FIFO, a device, a folder, a link to nothing)
// is never written over.
//
// Synchronous; any thread, one writer per file at a time.

#include <filesystem>
#include <string>
#include <string_view>

namespace tindrel::platform {

// False, with `error` saying why, when the new contents are not in place.
bool replaceFileContents(const std::filesystem::path& path, std::string_view contents,
                         std::string* error = nullptr);

} // namespace tindrel::platform
