#pragma once

// The extensions the player lists and the loader is fuzzed under.

#include <array>
#include <string_view>

namespace tindrel::test {

inline constexpr std::array<std::string_view, 13> fuzzedExtensions{
    "wav", "wave", "bwf", "mp3", "aif", "aiff", "aifc", "flac", "m4a", "aac", "ogg", "opus", "caf"};

} // namespace tindrel::test
