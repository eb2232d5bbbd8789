#pragma once

// One audio file of the browsed folder. Plain value.

#include <QString>

#include <cstdint>
#include <filesystem>

namespace tindrel {

struct SiblingAudioEntry {
    std::filesystem::path url; // absolute, lexically normal
    QString name;              // last path component, extension included
    QString ext;               // extension in upper case, without the dot
    int64_t sizeBytes = 0;     // 0 when the listing gave no size

    // The row's identity: the path, so two entries of one path are the same row.
    QString id() const;
    // "%.1fM" from one MiB up, else "%.0fK" of at least 1 KiB.
    QString sizeShort() const;

    bool operator==(const SiblingAudioEntry&) const = default;
};

} // namespace tindrel
