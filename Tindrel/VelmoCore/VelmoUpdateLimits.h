#pragma once

// The bounds that keep a slow, broken or hostile release host or archive from taking the
// program's memory, disk or time: every request and every unpack stops at them and counts as
// failed. The defaults are the program's; tests lower some to stay small and quick.

#include <chrono>
#include <cstdint>

namespace velmo {

struct VelmoUpdateLimits {
    // A versions manifest larger than this is no usable record.
    std::int64_t manifestBytes = std::int64_t{1} << 20;
    // The whole time one manifest request may take, however slowly its bytes come.
    std::chrono::milliseconds manifestTime{8000};

    // The largest download kept; a larger announced length is refused before any byte is kept.
    std::int64_t downloadBytes = std::int64_t{1} << 30;
    // A download's whole time: this base plus a share per MiB of its size (the announced length,
    // or what has arrived when that is more).
    std::chrono::milliseconds downloadBaseTime{60000};
    std::chrono::milliseconds downloadTimePerMiB{1000};

    // Unpacking stops at this many entries, and at this many bytes written or at this multiple
    // of the archive's own size, whichever is smaller; each folder counts one file-system block.
    std::int64_t archiveEntries = 20000;
    // Folders, those the names imply included: a program folder holds a few hundred at most.
    // An archive past this, or whose folders alone pass the byte bound, is refused before
    // anything is written.
    std::int64_t archiveFolders = 4096;
    std::int64_t unpackedBytes = std::int64_t{2} << 30;
    std::int64_t unpackedPerArchiveByte = 50;
    // An entry's name: at most this many folders deep and this many bytes long; all names
    // together at most this many bytes. Memory while unpacking grows with the names' bytes.
    int pathDepth = 64;
    std::int64_t pathBytes = 4096;
    std::int64_t allPathBytes = std::int64_t{4} << 20;

    // How long the relaunched program has to say that it is up before it counts as not started.
    std::chrono::seconds relaunchReportTime{20};
};

} // namespace velmo
