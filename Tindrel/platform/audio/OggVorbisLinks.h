#pragma once

// Whether every link of a (possibly chained) Ogg file carries a Vorbis stream whose comment
// header follows its identification page, told from the pages alone. libvorbisfile leaks while
// it refuses a chain with a link of another codec (Vorbis then Opus) or with a link whose
// headers are broken, so such a file must be told apart before it is handed over.
// Any thread; reads through a cursor of its own.

#include "Tindrel/platform/audio/OpenedFileCursor.h"

namespace tindrel::platform {

bool everyOggLinkCarriesVorbis(const OpenedFileCursor& file);

} // namespace tindrel::platform
