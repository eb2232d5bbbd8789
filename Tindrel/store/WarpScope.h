#pragma once

// Where the warp applies: the whole file, or only inside the In..Out range. Plain values;
// any thread.

#include <QString>

#include <array>
#include <optional>

namespace tindrel {

enum class WarpScope { wholeTrack, rangeOnly };

inline constexpr std::array<WarpScope, 2> allWarpScopes{WarpScope::wholeTrack,
                                                        WarpScope::rangeOnly};

// The display title: "Whole Track", "Range Only".
QString rawValue(WarpScope scope);
// Exactly the two titles, case-sensitive; anything else gives no scope.
std::optional<WarpScope> warpScopeFromRawValue(const QString& text);

} // namespace tindrel
