#pragma once

// The production desktop services: the file manager on the session bus (falling back to the
// desktop's URL handler) and the application's clipboard. Main thread.

#include "Tindrel/platform/desktop/FileClipboard.h"
#include "Tindrel/platform/desktop/FileRevealer.h"

#include <memory>

namespace tindrel::platform {

std::unique_ptr<FileRevealer> makeDesktopFileRevealer();
std::unique_ptr<FileClipboard> makeDesktopFileClipboard();

} // namespace tindrel::platform
