#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tindrel::test {

// The bytes of a file as a string; empty when it cannot be read.
inline std::string readFileText(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream text;
    text << stream.rdbuf();
    return text.str();
}

} // namespace tindrel::test
