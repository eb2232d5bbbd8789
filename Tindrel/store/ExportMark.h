#pragma once

// The mark every export carries (its INFO texts: this program and the settings), by which an
// earlier export of the same audio with the same settings is told from any other file: only
// such an export, untouched since (FloatWavSaveFile), is replaced by a new one. Pure; any
// thread.

#include "Tindrel/store/FloatWavHeader.h"
#include "Tindrel/store/WarpMode.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace tindrel {

// The mark of an export of frames [startFrame, endFrame) of the opened file `sourceName`.
// `pitchSemitones` is the pitch heard (in Tape, the one that follows the speed).
WavInfo exportMark(const std::string& sourceName, int64_t startFrame, int64_t endFrame,
                   float playbackRate, float pitchSemitones, WarpMode mode);

} // namespace tindrel
