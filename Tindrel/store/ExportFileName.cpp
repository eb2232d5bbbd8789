#include "Tindrel/store/ExportFileName.h"

#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/store/FrameMath.h"

#include <cmath>

namespace tindrel {

std::string exportFileName(const std::string& baseName, bool hasActiveRange, double rangeStart,
                           double rangeEnd, float playbackRate, float pitchSemitones) {
    std::string suffix = "modified";
    if (hasActiveRange) {
        // Whole seconds, truncated toward zero.
        suffix +=
            formatNumber("_%lld-%llds", static_cast<long long>(framesForSeconds(rangeStart, 1.0)),
                         static_cast<long long>(framesForSeconds(rangeEnd, 1.0)));
    }
    if (std::fabs(playbackRate - 1.0f) > 0.005f)
        suffix += formatNumber("_%.2gx", static_cast<double>(playbackRate));
    if (std::fabs(pitchSemitones) > 0.01f)
        suffix += formatNumber("_%+.1fst", static_cast<double>(pitchSemitones));
    return baseName + "_" + suffix + ".wav";
}

} // namespace tindrel
