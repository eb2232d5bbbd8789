#pragma once

// The file name of an offline export: the opened file's base name, "_modified", then the range
// in whole seconds, the speed and the pitch (each only when set), joined by "_", and ".wav".
// "Take 3" with a range 12.7-20.2 s, 1.5x and +3 st gives "Take 3_modified_12-20s_1.5x_+3.0st.wav".
// Names are the file system's bytes, so a base name that is not UTF-8 is kept as it is.
// Pure; any thread.

#include <string>

namespace tindrel {

std::string exportFileName(const std::string& baseName, bool hasActiveRange, double rangeStart,
                           double rangeEnd, float playbackRate, float pitchSemitones);

} // namespace tindrel
