#pragma once

// Case changes that never follow the process locale. Under a Turkish locale the C library's
// tolower turns "I" into a dotless i (or leaves it alone in UTF-8), and toupper turns "i" into
// a dotted capital; file extensions and format names must not change with the user's locale.
// Pure functions; any thread.

#include <string>
#include <string_view>

namespace tindrel {

// A-Z become a-z; every other byte stays.
std::string asciiLowercased(std::string_view text);

// Each character of the UTF-8 `text` upper-cased by the Unicode default mapping ("wäv" ->
// "WÄV", "i" -> "I"); bytes that are not valid UTF-8 stay as they are.
std::string unicodeUppercased(std::string_view text);

} // namespace tindrel
