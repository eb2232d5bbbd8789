#pragma once

// The record of one analysed file: where it is, its format facts, its loudness and level
// figures and the display envelopes and transient times. A plain value: copy it freely
// between threads; it shares nothing.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tindrel {

struct AudioFileSpec {
    std::filesystem::path url;      // the source as the user opened it, never a decoded copy
    std::string fileName;           // last path component, extension included
    std::string formatName;         // extension upper-cased; empty without one
    double sampleRate = 0;          // Hz, of the playable file
    int channels = 0;               // of the playable file
    int bitDepth = 0;               // bits per sample of the source as the loader reports it
    int64_t fileSizeBytes = 0;      // of the source
    double duration = 0;            // seconds
    float lufsIntegrated = 0;       // LUFS, gated
    float lufsShortTermMax = 0;     // LUFS, loudest measurement bin
    float truePeakDBTP = 0;         // dBTP
    float rmsDB = 0;                // dBFS
    float crestDB = 0;              // dB, never negative
    std::vector<float> peaks;       // linear 0...1, one value per bin
    std::vector<float> rmsEnvelope; // linear 0...1, same bin count as peaks
    std::vector<double> transientTimes = {}; // seconds, ascending

    // "44.1 kHz", "48 kHz", "999 Hz"; a point as decimal separator in every locale.
    std::string sampleRateLabel() const;
    // "Mono (1 ch)", "Stereo (2 ch)", "6 Channels".
    std::string channelLabel() const;
    // "117.74 MB" from 1 MiB up, else whole KiB and never below "1 KB".
    std::string fileSizeLabel() const;

    // Every field equal; a NaN figure makes a record unequal even to its copy.
    bool operator==(const AudioFileSpec&) const = default;
};

// The format name of the file at `url`: its extension without the dot, upper-cased by Unicode
// rules whatever the user's locale ("wäv" -> "WÄV"); empty when it has none.
std::string formatNameOf(const std::filesystem::path& url);

} // namespace tindrel
