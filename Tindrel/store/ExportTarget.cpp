#include "Tindrel/store/ExportTarget.h"

#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <system_error>

namespace tindrel {

namespace {

constexpr int lastNumber = 9999;
constexpr const char* programName = "Tindrel";

std::filesystem::path numbered(const std::filesystem::path& named, int number) {
    if (number == 1)
        return named;
    std::filesystem::path name = named.stem();
    name += formatNumber(" (%d)", number);
    name += named.extension();
    return named.parent_path() / name;
}

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

std::optional<ExportTarget> chooseExportTarget(const std::filesystem::path& named,
                                               const WavInfo& mark) {
    for (int number = 1; number <= lastNumber; ++number) {
        const std::filesystem::path candidate = numbered(named, number);
        std::error_code error;
        if (std::filesystem::symlink_status(candidate, error).type() ==
            std::filesystem::file_type::not_found)
            return ExportTarget{candidate, false};
        if (readWavInfo(candidate) == mark)
            return ExportTarget{candidate, true};
    }
    return std::nullopt;
}

} // namespace tindrel
