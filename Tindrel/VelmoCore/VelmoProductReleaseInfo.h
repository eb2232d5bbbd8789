#pragma once

// One product's newest release as the versions manifest names it. A plain value; any thread.

#include <QString>

#include <optional>

namespace velmo {

struct VelmoProductReleaseInfo {
    QString version;
    QString notes;
    QString downloadURL;
    std::optional<QString> pageURL;

    bool operator==(const VelmoProductReleaseInfo&) const = default;
};

} // namespace velmo
