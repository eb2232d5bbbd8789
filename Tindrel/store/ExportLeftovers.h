#pragma once

// What exports killed before their last step left beside the user's files: hidden files of
// the patterns UnpublishedFile knows, which no running writer holds. They are removed from the
// folders given on a thread of its own, which nothing waits for, so that a folder on a slow or
// unreachable share holds up neither the window nor the program's exit. Any thread.

#include <filesystem>
#include <vector>

namespace tindrel {

void removeExportLeftoversInBackground(std::vector<std::filesystem::path> folders);

} // namespace tindrel
