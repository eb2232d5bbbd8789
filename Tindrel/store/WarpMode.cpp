#include "Tindrel/store/WarpMode.h"

namespace tindrel {

QString rawValue(WarpMode mode) {
    switch (mode) {
    case WarpMode::musical:
        return QStringLiteral("Musical");
    case WarpMode::beats:
        return QStringLiteral("Beats");
    case WarpMode::tape:
        return QStringLiteral("Tape Varispeed");
    }
    return {};
}

QString sfSymbol(WarpMode mode) {
    switch (mode) {
    case WarpMode::musical:
        return QStringLiteral("tuningfork");
    case WarpMode::beats:
        return QStringLiteral("metronome.fill");
    case WarpMode::tape:
        return QStringLiteral("recordingtape");
    }
    return {};
}

QString helpDescription(WarpMode mode) {
    switch (mode) {
    case WarpMode::musical:
        return QStringLiteral("Musical Warp: Independent time-stretch & pitch shift with smooth "
                              "harmonic overlap (overlap = 12)");
    case WarpMode::beats:
        return QStringLiteral("Beats Warp: Tight transient window (overlap = 3.5) for drum loops "
                              "and rhythmic percussion");
    case WarpMode::tape:
        return QStringLiteral("Tape / Vinyl Varispeed: Speed and pitch linked naturally (0.5x = "
                              "-12 st, 2.0x = +12 st) with zero phase artifacts");
    }
    return {};
}

std::optional<WarpMode> warpModeFromRawValue(const QString& text) {
    for (WarpMode mode : allWarpModes) {
        if (rawValue(mode) == text)
            return mode;
    }
    return std::nullopt;
}

} // namespace tindrel
