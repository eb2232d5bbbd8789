#pragma once

// Puts files on the desktop clipboard so a file manager can paste them. Main thread.

#include <filesystem>
#include <vector>

namespace tindrel::platform {

class FileClipboard {
public:
    virtual ~FileClipboard() = default;
    // Replaces the clipboard's content with these files; false when the clipboard is
    // unavailable.
    virtual bool copyFiles(const std::vector<std::filesystem::path>& files) = 0;
};

} // namespace tindrel::platform
