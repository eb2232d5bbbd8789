#pragma once

// Files dated back, for tests of clean-up that removes only old files.

#include <chrono>
#include <filesystem>
#include <fstream>
#include <vector>

namespace tindrel::test {

struct AgedFile {
    const char* name;
    bool old;             // last changed 25 hours ago, else just now
    bool expectedRemoved; // by the clean-up under test
};

inline void writeAgedFiles(const std::filesystem::path& folder,
                           const std::vector<AgedFile>& files) {
    const auto dayAndMore = std::filesystem::file_time_type::clock::now() - std::chrono::hours(25);
    for (const AgedFile& file : files) {
        std::ofstream(folder / file.name) << "partial";
        if (file.old)
            std::filesystem::last_write_time(folder / file.name, dayAndMore);
    }
}

} // namespace tindrel::test
