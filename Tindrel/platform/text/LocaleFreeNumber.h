#pragma once

// The one number formatter and parser of the program. Both ignore the process locale:
// a decimal point is always ".", whatever LC_NUMERIC (or Qt, from the environment) says.
// Safe to call from any thread.

#include <optional>
#include <string>
#include <string_view>

namespace tindrel {

// printf-style formatting in the "C" locale, e.g. formatNumber("%.1f kHz", 44.1).
std::string formatNumber(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Parses a decimal number such as "1.25", " -3 ", "+0.5" or "2e1" in the "C" locale.
// Surrounding white space is allowed; anything else left over, an empty text, or a
// non-finite result gives no value.
std::optional<double> parseNumber(std::string_view text);

} // namespace tindrel
