#pragma once

// A corpus of broken and hostile inputs made at run time: empty, random and text bytes under
// each given extension; WAV, MP3, M4A and FLAC files cut at several points; a WAV header with
// no data, one claiming a huge data size, one with no channels and one with no sample rate;
// a float WAV of NaNs; a FIFO and a folder named like audio files; playlists naming the FIFO;
// streams whose layout changes part-way. Needs the ffmpeg program for the compressed ones.

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace tindrel::test {

// Writes the corpus into `folder` and returns every entry made, each once.
std::vector<std::filesystem::path> writeDamagedAudioCorpus(const std::filesystem::path& folder,
                                                           const std::set<std::string>& extensions);

} // namespace tindrel::test
