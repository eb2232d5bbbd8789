#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <system_error>

namespace tindrel::test {

// The names in a folder, hidden ones included; empty when it cannot be read.
inline std::set<std::string> folderListing(const std::filesystem::path& folder) {
    std::set<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored))
        names.insert(entry.path().filename().string());
    return names;
}

} // namespace tindrel::test
