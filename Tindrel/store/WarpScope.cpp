#include "Tindrel/store/WarpScope.h"

namespace tindrel {

QString rawValue(WarpScope scope) {
    switch (scope) {
    case WarpScope::wholeTrack:
        return QStringLiteral("Whole Track");
    case WarpScope::rangeOnly:
        return QStringLiteral("Range Only");
    }
    return {};
}

std::optional<WarpScope> warpScopeFromRawValue(const QString& text) {
    for (WarpScope scope : allWarpScopes) {
        if (rawValue(scope) == text)
            return scope;
    }
    return std::nullopt;
}

} // namespace tindrel
