#pragma once

// Shows files in the desktop's file manager. Main thread. Never shows dialogs; a request
// that no file manager answers falls back to opening the containing folder.

#include <filesystem>
#include <vector>

namespace tindrel::platform {

class FileRevealer {
public:
    virtual ~FileRevealer() = default;
    // Opens the file manager with these files selected.
    virtual void revealFiles(const std::vector<std::filesystem::path>& files) = 0;
    // Opens the file manager showing this folder.
    virtual void openFolder(const std::filesystem::path& folder) = 0;
};

} // namespace tindrel::platform
