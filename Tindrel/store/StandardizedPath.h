#pragma once

// The store's one form of a location: absolute, "." and ".." resolved, no trailing separator.
// Purely lexical (symbolic links are kept), so it never touches the disk beyond reading the
// working folder for a relative path. Any thread.

#include <filesystem>

namespace tindrel {

std::filesystem::path standardizedPath(const std::filesystem::path& path);

} // namespace tindrel
