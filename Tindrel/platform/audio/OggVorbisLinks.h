#pragma once

// Whether every link of a (possibly chained) Ogg file carries a Vorbis stream, told from the
// pages' headers alone. libvorbisfile leaks while it refuses a chain with a link of another
// codec (Vorbis then Opus), so such a file must be told apart before it is handed over.
// Any thread; reads through a cursor of its own.

#include "Tindrel/platform/audio/OpenedFileCursor.h"

namespace tindrel::platform {

bool everyOggLinkCarriesVorbis(const OpenedFileCursor& file);

} // namespace tindrel::platform
