#pragma once

// How speed and pitch are applied by the time-pitch unit. Plain values; any thread.

#include <QString>

#include <array>
#include <optional>

namespace tindrel {

enum class WarpMode { musical, beats, tape };

inline constexpr std::array<WarpMode, 3> allWarpModes{WarpMode::musical, WarpMode::beats,
                                                      WarpMode::tape};

// The display title: "Musical", "Beats", "Tape Varispeed".
QString rawValue(WarpMode mode);
// The symbol image name shown on the mode's button.
QString sfSymbol(WarpMode mode);
// The mode button's help text and the tail of the mode's status line.
QString helpDescription(WarpMode mode);
// Exactly the three titles, case-sensitive; anything else gives no mode.
std::optional<WarpMode> warpModeFromRawValue(const QString& text);

} // namespace tindrel
