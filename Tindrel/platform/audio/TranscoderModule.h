#pragma once

// AudioTranscoder lives in a module of its own, loaded the first time a file needs it: linked
// into the program, the FFmpeg libraries it needs (and the hundred-odd libraries they pull in)
// would add tens of milliseconds to every start, whether or not anything is transcoded.
//
// The module is looked for beside the program (../lib/tindrel/ from its bin/ folder, as
// installed), then where the build made it. Loading happens once per process; a module that
// cannot be loaded leaves the transcoder missing, and the caller goes on to its next decoder.
// Thread-safe.

#include "Tindrel/platform/audio/AudioTranscoder.h"

namespace tindrel::platform {

class TranscoderModule {
public:
    using TranscodeToWav = decltype(&AudioTranscoder::transcodeToWav);

    // AudioTranscoder::transcodeToWav as the module has it; null when it cannot be loaded.
    static TranscodeToWav transcodeToWav();
};

} // namespace tindrel::platform
