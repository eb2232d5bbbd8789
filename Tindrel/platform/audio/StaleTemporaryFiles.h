#pragma once

// Clean-up of temporary files that a killed run of this program left behind. Only regular
// files of this user whose name the caller recognises as its own pattern and that were last
// changed more than a day ago are removed: a temporary that another running instance is still
// writing is younger than that. Safe from any thread; errors are ignored.

#include <filesystem>
#include <functional>
#include <string_view>

namespace tindrel::platform {

void removeStaleTemporaryFiles(const std::filesystem::path& folder,
                               const std::function<bool(std::string_view name)>& isOurs);

} // namespace tindrel::platform
