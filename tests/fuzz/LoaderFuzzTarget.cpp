// libFuzzer target: each input goes through what the player does with a file it is given,
// as far as the input's own bytes reach. It is opened by the direct readers; one that opens is
// read from the start and the middle and measured (the measurement seeks and reopens through
// the same reader). One that no direct reader takes goes through the in-process transcoder,
// and the decoded copy is read back; the measurement is not run on it, since the copy is our
// own well-formed WAV whatever the input was, and is cut at the same 10 s as the reads. The
// external ffmpeg is left out: a process per input would be all the run did.
//
// Inputs live in memory: a memfd stands behind a link named with the audio extension, so no
// file is created per input. TINDREL_FUZZ_EXTENSION picks one extension; without it every
// input is tried under all of them (handy for replaying a finding).

#include "Tindrel/analysis/WaveformAndLUFS.h"
#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/AudioTranscoder.h"
#include "tests/fuzz/FuzzExtensions.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using tindrel::platform::AudioFile;

namespace {

// Audio read per input, at most: enough to reach every reader's block and packet boundaries
// without letting a tiny input that claims hours make the run slow.
constexpr double maxSecondsRead = 10;
constexpr int64_t blockFrames = 4096;

// A memory file and the link that names it; the link's name is what the readers see.
struct MemoryFile {
    MemoryFile(const fs::path& link, const char* name)
        : descriptor(memfd_create(name, 0)), link(link) {
        if (descriptor < 0)
            std::abort();
        fs::create_symlink("/proc/self/fd/" + std::to_string(descriptor), link);
    }
    // Replaces the contents, and puts the descriptor's own offset back at the start for
    // whoever writes through it next.
    void assign(const uint8_t* data, size_t size) const {
        if (ftruncate(descriptor, 0) != 0 || lseek(descriptor, 0, SEEK_SET) != 0 ||
            (size > 0 && pwrite(descriptor, data, size, 0) != static_cast<ssize_t>(size)))
            std::abort();
    }
    int descriptor;
    fs::path link;
};

// The scratch folder with the input and decoded-copy links and the extensions to try, made
// once per run.
struct Harness {
    Harness() {
        if (const char* only = std::getenv("TINDREL_FUZZ_EXTENSION"))
            extensions.emplace_back(only);
        else
            extensions.assign(tindrel::test::fuzzedExtensions.begin(),
                              tindrel::test::fuzzedExtensions.end());
        for (const std::string& extension : extensions)
            inputs.emplace_back(folder / ("input." + extension), "input");
    }
    // A run ends through exit(), which removes the folder; a finding's abort leaves it.
    ~Harness() {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    static fs::path makeFolder() {
        std::string pattern = (fs::temp_directory_path() / "tindrel-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            std::abort();
        return pattern;
    }

    fs::path folder = makeFolder();
    std::vector<std::string> extensions;
    std::vector<MemoryFile> inputs;
    MemoryFile decoded{folder / "decoded.wav", "decoded"};
};

Harness& harness() {
    static Harness instance;
    return instance;
}

void readSome(AudioFile& file, int64_t from, int64_t frames) {
    const uint32_t channels = file.processingFormat().channelCount;
    if (channels == 0)
        return;
    tindrel::platform::AudioPcmBuffer buffer(channels, blockFrames);
    file.setFramePosition(from);
    for (int64_t done = 0; done < frames;) {
        if (!file.read(buffer, blockFrames) || buffer.frameLength() == 0)
            return;
        done += buffer.frameLength();
    }
}

// Half the budget from the start, half from the middle.
void readStartAndMiddle(AudioFile& file) {
    const double rate = std::max(1.0, file.processingFormat().sampleRate);
    const auto half = static_cast<int64_t>(maxSecondsRead / 2 * rate);
    readSome(file, 0, half);
    readSome(file, file.length() / 2, half);
}

bool opensWithAudio(const std::unique_ptr<AudioFile>& file) {
    return file && file->length() > 0;
}

void openReadAndMeasure(const fs::path& input, int64_t size) {
    if (auto direct = AudioFile::openForReading(input); opensWithAudio(direct)) {
        readStartAndMiddle(*direct);
        const double seconds =
            double(direct->length()) / std::max(1.0, direct->processingFormat().sampleRate);
        if (seconds <= maxSecondsRead)
            tindrel::extractWaveformAndLUFS(input, input, size, 16, 1.0, nullptr, 1);
        return;
    }
    using tindrel::platform::AudioTranscoder;
    const Harness& h = harness();
    h.decoded.assign(nullptr, 0);
    tindrel::platform::WorkHeartbeat unstopped;
    const int64_t budget = static_cast<int64_t>(maxSecondsRead) *
                               AudioTranscoder::outputSampleRate * AudioTranscoder::outputChannels *
                               2 +
                           AudioTranscoder::wavOverheadBytes;
    if (AudioTranscoder::transcodeToWav(input, h.decoded.descriptor, budget, unstopped) ==
        AudioTranscoder::Outcome::written)
        if (auto copy = AudioFile::openForReading(h.decoded.link); opensWithAudio(copy))
            readStartAndMiddle(*copy);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Harness& h = harness();
    for (const MemoryFile& input : h.inputs) {
        input.assign(data, size);
        openReadAndMeasure(input.link, static_cast<int64_t>(size));
    }
    return 0;
}
