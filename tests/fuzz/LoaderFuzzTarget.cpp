// libFuzzer target: each input is written to a file under an audio extension and goes through
// what the player does with a file it is given: open (the loader's whole cascade but the
// external ffmpeg, which would run a process per input), read to the end and from the middle,
// and measure. TINDREL_FUZZ_EXTENSION picks one extension; without it every input is tried
// under all of them (handy for replaying a finding).

#include "Tindrel/analysis/TindrelError.h"
#include "Tindrel/analysis/UniversalAudioLoader.h"
#include "Tindrel/analysis/WaveformAndLUFS.h"
#include "tests/fuzz/FuzzExtensions.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Enough to reach every reader's block and packet boundaries without making an input slow.
constexpr int64_t maxFramesRead = 1 << 18;
constexpr int64_t blockFrames = 4096;

// The scratch folder, the loader's settings and the extensions to try, made once per run.
struct Harness {
    Harness() {
        std::string pattern = (fs::temp_directory_path() / "tindrel-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        folder = pattern;
        settings.cacheFolder = folder / "cache";
        settings.ffmpegCandidates = {};
        settings.usePlatformTranscoder = true;
        if (const char* only = std::getenv("TINDREL_FUZZ_EXTENSION"))
            extensions.emplace_back(only);
        else
            extensions.assign(tindrel::test::fuzzedExtensions.begin(),
                              tindrel::test::fuzzedExtensions.end());
    }
    // A run ends through exit(), which removes the folder; a finding's abort leaves it.
    ~Harness() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    fs::path folder;
    tindrel::UniversalAudioLoader::Settings settings;
    std::vector<std::string> extensions;
};

Harness& harness() {
    static Harness instance;
    return instance;
}

void readSome(tindrel::platform::AudioFile& file, int64_t from) {
    const uint32_t channels = file.processingFormat().channelCount;
    if (channels == 0)
        return;
    tindrel::platform::AudioPcmBuffer buffer(channels, blockFrames);
    file.setFramePosition(from);
    for (int64_t done = 0; done < maxFramesRead;) {
        if (!file.read(buffer, blockFrames) || buffer.frameLength() == 0)
            return;
        done += buffer.frameLength();
    }
}

void openReadAndMeasure(const fs::path& input, int64_t size) {
    const Harness& h = harness();
    try {
        tindrel::PlayableAudioFile playable =
            tindrel::UniversalAudioLoader::openPlayableAudioFile(input, h.settings);
        readSome(*playable.audio, 0);
        readSome(*playable.audio, playable.audio->length() / 2);
        tindrel::extractWaveformAndLUFS(input, playable.playableURL, size,
                                        playable.originalBitDepth, 1.0);
    } catch (const tindrel::TindrelError&) {
        // Refusing a file is a fine outcome; only crashes, leaks and hangs are findings.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Harness& h = harness();
    for (const std::string& extension : h.extensions) {
        const fs::path input = h.folder / ("input." + extension);
        std::ofstream(input, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        openReadAndMeasure(input, static_cast<int64_t>(size));
        // Decoded copies are named by content and time: drop them so the disk does not fill.
        std::error_code ignored;
        fs::remove_all(h.settings.cacheFolder, ignored);
        fs::remove(input, ignored);
    }
    return 0;
}
