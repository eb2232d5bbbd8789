#include "Tindrel/store/ExportMark.h"

#include "Tindrel/platform/text/LocaleFreeNumber.h"

namespace tindrel {

namespace {

constexpr const char* programName = "Tindrel";

} // namespace

WavInfo exportMark(const std::string& sourceName, int64_t startFrame, int64_t endFrame,
                   float playbackRate, float pitchSemitones, WarpMode mode) {
    // Exact values, so that settings that share a name (1.25x and 1.2x both give "_1.2x")
    // never share a mark.
    return {programName,
            "Export of " + sourceName +
                formatNumber(", frames %lld to %lld, speed %.9g, pitch %.9g st, ",
                             static_cast<long long>(startFrame), static_cast<long long>(endFrame),
                             static_cast<double>(playbackRate),
                             static_cast<double>(pitchSemitones)) +
                rawValue(mode).toStdString()};
}

} // namespace tindrel
