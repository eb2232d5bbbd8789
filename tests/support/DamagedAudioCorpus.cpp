#include "tests/support/DamagedAudioCorpus.h"

#include "tests/support/ExternalEncoder.h"
#include "tests/support/GeneratedAudio.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace tindrel::test {

namespace {

namespace fs = std::filesystem;

std::string bytesOf(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

fs::path writeBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

void putLittleEndian(std::string& bytes, size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
        bytes[at + size_t(i)] = char((value >> (8 * i)) & 0xff);
}

fs::path encoded(const fs::path& folder, const std::string& name, const Signal& signal,
                 const std::vector<std::string>& codec) {
    const fs::path wav = folder / (name + ".source.wav");
    writeAudioFile(wav, signal);
    const fs::path path = folder / name;
    if (!encodeWithFfmpeg(wav, path, codec))
        throw std::runtime_error("could not encode " + name);
    fs::remove(wav);
    return path;
}

} // namespace

std::vector<fs::path> writeDamagedAudioCorpus(const fs::path& folder,
                                              const std::set<std::string>& extensions) {
    std::vector<fs::path> corpus;
    std::mt19937 random(20240611);
    std::string noise(4096, '\0');
    for (char& byte : noise)
        byte = char(random() & 0xff);
    for (const std::string& extension : extensions) {
        corpus.push_back(writeBytes(folder / ("empty." + extension), ""));
        corpus.push_back(writeBytes(folder / ("random." + extension), noise));
        corpus.push_back(
            writeBytes(folder / ("text." + extension),
                       "Shopping list:\n- milk\n- bread\n- RIFF WAVE fLaC OggS ID3\n"));
    }

    const Signal tone = sineSignal(440, 0.5, 3.0);
    const fs::path wav = folder / "whole.wav";
    writeAudioFile(wav, tone);
    const fs::path flac = folder / "whole.flac";
    writeAudioFile(flac, tone);
    const fs::path mp3 = encoded(folder, "whole.mp3", tone, {"-c:a", "libmp3lame"});
    const fs::path m4a = encoded(folder, "whole.m4a", tone, {"-c:a", "aac"});
    for (const fs::path& whole : {wav, flac, mp3, m4a}) {
        const std::string bytes = bytesOf(whole);
        for (const size_t cut :
             {size_t(10), size_t(100), bytes.size() / 3, bytes.size() * 2 / 3, bytes.size() - 1}) {
            corpus.push_back(writeBytes(
                folder / ("cut-" + std::to_string(cut) + "-" + whole.filename().string()),
                bytes.substr(0, cut)));
        }
    }

    // Canonical 44-byte WAV header: channels at 22, rate at 24, RIFF size at 4, data size at 40.
    const std::string header = bytesOf(wav).substr(0, 44);
    corpus.push_back(writeBytes(folder / "header-only.wav", header));
    std::string huge = bytesOf(wav);
    putLittleEndian(huge, 4, 0xfffffff0u, 4);
    putLittleEndian(huge, 40, 0xffffffe0u, 4);
    corpus.push_back(writeBytes(folder / "huge-claimed-size.wav", huge));
    std::string noChannels = bytesOf(wav);
    putLittleEndian(noChannels, 22, 0, 2);
    corpus.push_back(writeBytes(folder / "zero-channels.wav", noChannels));
    std::string noRate = bytesOf(wav);
    putLittleEndian(noRate, 24, 0, 4);
    corpus.push_back(writeBytes(folder / "zero-rate.wav", noRate));
    corpus.push_back(writeBytes(folder / "header-only.flac", bytesOf(flac).substr(0, 42)));

    Signal nan = silenceSignal(1.0);
    std::fill(nan.samples.begin(), nan.samples.end(), NAN);
    corpus.push_back(folder / "nan.wav");
    writeAudioFile(corpus.back(), nan, SampleEncoding::Float32);

    corpus.push_back(folder / "pipe.wav");
    if (::mkfifo(corpus.back().c_str(), 0600) != 0)
        throw std::runtime_error("could not make a FIFO");
    corpus.push_back(folder / "folder.flac");
    fs::create_directory(corpus.back());
    fs::create_directory(corpus.back() / "inside");
    corpus.push_back(
        writeBytes(folder / "playlist.mp3",
                   "#EXTM3U\n#EXT-X-TARGETDURATION:10\n#EXTINF:10,\npipe.wav\n#EXT-X-ENDLIST\n"));
    corpus.push_back(writeBytes(folder / "concat.m4a", "ffconcat version 1.0\nfile pipe.wav\n"));

    // Stereo, then mono: chained in Ogg, back to back in ADTS.
    const Signal stereo = sineSignal(440, 0.5, 1.0, 44100, 2);
    const Signal mono = sineSignal(440, 0.5, 1.0, 44100, 1);
    for (const auto& [name, codec] : {std::pair<std::string, std::vector<std::string>>{
                                          "layout-change.ogg", {"-c:a", "libvorbis"}},
                                      {"layout-change.aac", {"-c:a", "aac", "-f", "adts"}}}) {
        const std::string extension = fs::path(name).extension().string();
        const std::string joined = bytesOf(encoded(folder, "stereo" + extension, stereo, codec)) +
                                   bytesOf(encoded(folder, "mono" + extension, mono, codec));
        fs::remove(folder / ("stereo" + extension));
        fs::remove(folder / ("mono" + extension));
        corpus.push_back(writeBytes(folder / name, joined));
    }
    for (const fs::path& whole : {wav, flac, mp3, m4a})
        fs::remove(whole);
    return corpus;
}

} // namespace tindrel::test
