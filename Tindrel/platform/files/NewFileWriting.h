#pragma once

// Two steps shared by every file the program writes for itself (exports, decoded copies, the
// settings it keeps): making a new file under a name nothing else holds yet, and writing bytes
// to it whole. Synchronous; any thread.

#include "Tindrel/platform/files/FileDescriptor.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <sys/types.h>

namespace tindrel::platform {

// Creates a file that did not exist (O_CREAT | O_EXCL | O_CLOEXEC | `flags`, `mode` less the
// umask) at the first free one of up to 100 paths from `candidate`, which gives a fresh random
// name each call. `created` holds the path tried last. Invalid, with errno set, on failure:
// EEXIST when every name tried was taken.
FileDescriptor createNewFile(const std::function<std::filesystem::path()>& candidate, int flags,
                             mode_t mode, std::filesystem::path& created);

// Writes all `size` bytes, again after an interrupted call. False with errno set on failure; a
// write that takes no bytes counts as ENOSPC.
bool writeWhole(int fd, const void* data, size_t size);

} // namespace tindrel::platform
