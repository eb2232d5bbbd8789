#pragma once

// The one reading of release version texts: "v", "V" and spaces at either end are dropped, the
// rest is split at dots, pieces that are not a signed 64-bit decimal number are left out, and
// the lists are compared number by number, a missing number counting as 0. No Qt, so that the
// relaunch tool uses the same rule as the update check. Any thread.

#include <string_view>

namespace velmo {

struct VelmoVersionNumbers {
    static std::string_view trimmed(std::string_view text);
    // True when `candidate` names a higher version than `reference`.
    static bool isNewer(std::string_view candidate, std::string_view reference);
    // True when neither names a higher version than the other ("1.3" and "1.3.0").
    static bool areSame(std::string_view a, std::string_view b);
};

} // namespace velmo
