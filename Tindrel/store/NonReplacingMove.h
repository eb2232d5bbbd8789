#pragma once

// Moves a file to a new name in the same file system without ever replacing what is already
// there: renameat2(RENAME_NOREPLACE), or link() then unlink() where the file system lacks it.
// A name that exists makes the move fail with both files left as they were. Any thread.

#include <filesystem>
#include <string>

namespace tindrel {

// False with `error` set to a sentence fit for the status line.
bool moveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                          std::string* error);

} // namespace tindrel
