#pragma once

// Where an export is written without ever replacing a file that is not an earlier export of
// the same audio with the same settings. Every export carries a mark (its INFO texts: this
// program and the settings); a file of the export's name is replaced only when it bears the
// same mark. Otherwise the export goes to the first of "<name> (2).wav", "<name> (3).wav", ...
// that is free or bears that mark. Blocking file reads; any thread.

#include "Tindrel/store/FloatWavHeader.h"
#include "Tindrel/store/WarpMode.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace tindrel {

// The mark of an export of frames [startFrame, endFrame) of the opened file `sourceName`.
// `pitchSemitones` is the pitch heard (in Tape, the one that follows the speed).
WavInfo exportMark(const std::string& sourceName, int64_t startFrame, int64_t endFrame,
                   float playbackRate, float pitchSemitones, WarpMode mode);

struct ExportTarget {
    std::filesystem::path path;
    bool replacesEarlierExport = false; // the path holds an export bearing the same mark
};

// The target for an export named `named` that bears `mark`; none when every numbered name up
// to a sane limit is taken.
std::optional<ExportTarget> chooseExportTarget(const std::filesystem::path& named,
                                               const WavInfo& mark);

} // namespace tindrel
