// Writes the loader fuzzer's seed corpus: short, valid files of every fuzzed extension, made
// with the tests' own writers (libsndfile, and the ffmpeg program for the coded formats), plus
// a WAV under each extension. Usage: tindrel_fuzz_seeds OUTPUT_FOLDER -> OUTPUT_FOLDER/<ext>/.

#include "tests/fuzz/FuzzExtensions.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using namespace tindrel::test;

namespace {

struct Seed {
    const char* extension; // the corpus it goes to
    const char* writtenAs; // the extension libsndfile or ffmpeg writes it under
    Signal signal;
    SampleEncoding encoding;
    std::vector<std::string> codec; // ffmpeg arguments; empty: written by libsndfile
};

// Short signals keep every fuzz input fast; the layouts and rates still vary.
std::vector<Seed> seeds() {
    const Signal stereo = sineSignal(440, 0.5, 0.08);
    const Signal mono8k = pinkNoiseSignal(-18, 0.1, 8000, 1);
    const Signal stereo48k = sineSignal(1000, 0.7, 0.06, 48000);
    std::vector<Seed> list = {
        {"wav", "wav", stereo, SampleEncoding::Pcm16, {}},
        {"wav", "wav", mono8k, SampleEncoding::Pcm24, {}},
        {"wav", "wav", stereo48k, SampleEncoding::Float32, {}},
        {"wave", "wav", mono8k, SampleEncoding::Pcm16, {}},
        {"bwf", "wav", stereo, SampleEncoding::Pcm24, {}},
        {"aif", "aif", stereo, SampleEncoding::Pcm16, {}},
        {"aiff", "aiff", mono8k, SampleEncoding::Pcm24, {}},
        {"aifc", "aiff", stereo48k, SampleEncoding::Float32, {}},
        {"flac", "flac", stereo, SampleEncoding::Pcm16, {}},
        {"flac", "flac", mono8k, SampleEncoding::Pcm24, {}},
        {"ogg", "ogg", stereo, SampleEncoding::Pcm16, {}},
        {"ogg", "ogg", mono8k, SampleEncoding::Pcm16, {}},
        {"caf", "caf", stereo, SampleEncoding::Pcm16, {}},
        {"caf", "caf", mono8k, SampleEncoding::Float32, {}},
        {"mp3", "mp3", stereo, SampleEncoding::Pcm16, {"-c:a", "libmp3lame", "-b:a", "64k"}},
        {"mp3", "mp3", mono8k, SampleEncoding::Pcm16, {"-c:a", "libmp3lame", "-b:a", "32k"}},
        {"m4a", "m4a", stereo, SampleEncoding::Pcm16, {"-c:a", "aac", "-b:a", "64k"}},
        {"m4a", "m4a", mono8k, SampleEncoding::Pcm16, {"-c:a", "aac", "-b:a", "24k"}},
        {"aac", "aac", stereo, SampleEncoding::Pcm16, {"-c:a", "aac", "-b:a", "64k", "-f", "adts"}},
        {"opus", "opus", stereo48k, SampleEncoding::Pcm16, {"-c:a", "libopus", "-b:a", "32k"}},
        {"ogg", "ogg", stereo48k, SampleEncoding::Pcm16, {"-c:a", "libopus", "-b:a", "32k"}},
    };
    for (const std::string_view extension : fuzzedExtensions)
        list.push_back({extension.data(), "wav", stereo, SampleEncoding::Pcm16, {}});
    return list;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const fs::path output = argv[1];
    const fs::path scratch = output / ".scratch";
    fs::create_directories(scratch);
    int failures = 0;
    int index = 0;
    for (const Seed& seed : seeds()) {
        const std::string stem = "seed-" + std::to_string(++index);
        const fs::path made = scratch / (stem + "." + seed.writtenAs);
        bool written = true;
        if (seed.codec.empty()) {
            writeAudioFile(made, seed.signal, seed.encoding);
        } else {
            const fs::path pcm = scratch / (stem + "-source.wav");
            writeAudioFile(pcm, seed.signal);
            written = encodeWithFfmpeg(pcm, made, seed.codec);
        }
        if (!written) {
            std::fprintf(stderr, "could not write %s\n", made.c_str());
            ++failures;
            continue;
        }
        const fs::path folder = output / seed.extension;
        fs::create_directories(folder);
        fs::rename(made, folder / (stem + "." + seed.extension));
    }
    fs::remove_all(scratch);
    return failures == 0 ? 0 : 1;
}
