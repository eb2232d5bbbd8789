#pragma once

// AudioTranscoder lives in a module of its own, loaded the first time a file needs it: linked
// into the program, the FFmpeg libraries it needs (and the hundred-odd libraries they pull in)
// would add tens of milliseconds to every start, whether or not anything is transcoded.
//
// The module is looked for only beside the running program: in lib/tindrel/ of the nearest of
// the three folders above the program's own that has one. Installed, that is the folder
// holding bin/; in the build tree, the build folder, two or three folders above each program
// built there (the player, the tests, the benchmarks). A module that the program's owner (or
// root) does not own, or that others may change, is refused, so that no one else's code is
// ever loaded. Loading happens once per process; a module that cannot be loaded leaves the
// transcoder missing with the reason, and the caller goes on to its next decoder.
// Thread-safe.

#include "Tindrel/platform/audio/AudioTranscoder.h"

#include <filesystem>
#include <string>

namespace tindrel::platform {

class TranscoderModule {
public:
    using TranscodeToWav = decltype(&AudioTranscoder::transcodeToWav);

    struct Loaded {
        TranscodeToWav entry = nullptr;
        std::filesystem::path module; // where it was looked for, or loaded from
        std::string failure;          // why `entry` is null: the path and the cause
    };

    // AudioTranscoder::transcodeToWav as this program's module has it; null when it cannot be
    // loaded, with the reason in loadFailure().
    static TranscodeToWav transcodeToWav();
    static const std::string& loadFailure();

    // The module beside the program at `executable`, loaded (and kept loaded).
    static Loaded loadBeside(const std::filesystem::path& executable);
};

} // namespace tindrel::platform
