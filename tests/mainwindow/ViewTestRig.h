#pragma once

// A private store (see StoreTestRig) with generated audio files in home/music, for tests of
// the main window's views.

#include "tests/store_support/StoreTestRig.h"
#include "tests/support/GeneratedAudio.h"

#include <filesystem>
#include <string>

namespace tindrel::test {

class ViewTestRig {
public:
    // Writes home/music/<name>, a stereo 44.1 kHz tone of `seconds`.
    std::filesystem::path writeTone(const std::string& name, double seconds = 2.0) {
        const auto path = rig.home() / "music" / name;
        std::filesystem::create_directories(path.parent_path());
        writeAudioFile(path, sineSignal(440, 0.3, seconds));
        return path;
    }

    // Writes and loads (playing) one tone.
    std::filesystem::path loadTone(const std::string& name = "tone.wav", double seconds = 2.0) {
        const auto path = writeTone(name, seconds);
        rig.store().loadAndPlay(path, true);
        return path;
    }

    TindrelStore& store() { return rig.store(); }

    StoreTestRig rig;
};

} // namespace tindrel::test
