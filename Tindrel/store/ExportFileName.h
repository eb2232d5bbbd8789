#pragma once

// The file name of an offline export: the opened file's base name, "_modified", then the range
// in whole seconds, the speed and the pitch (each only when set), joined by "_", and ".wav".
// "Take 3" with a range 12.7-20.2 s, 1.5x and +3 st gives "Take 3_modified_12-20s_1.5x_+3.0st.wav".
// Pure; any thread.

#include <QString>

namespace tindrel {

QString exportFileName(const QString& baseName, bool hasActiveRange, double rangeStart,
                       double rangeEnd, float playbackRate, float pitchSemitones);

} // namespace tindrel
