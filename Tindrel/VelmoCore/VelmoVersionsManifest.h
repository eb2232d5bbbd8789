#pragma once

// The maker's versions manifest: the newest release of each product under its product id.
// Decoding is strict: keys match exactly (with case), every named value must be a string (or
// null where optional), and one bad release record makes the whole document unreadable.
// Unknown keys are ignored at every level. A plain value; any thread.

#include "Tindrel/VelmoCore/VelmoProductReleaseInfo.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <optional>

namespace velmo {

struct VelmoVersionsManifest {
    std::optional<QString> updatedAt;
    std::map<QString, VelmoProductReleaseInfo> products;

    // Nothing when the document breaks a rule; no part of a broken document is kept.
    static std::optional<VelmoVersionsManifest> decode(const QByteArray& json);
    // Compact JSON; the optional fields are written only when present.
    QByteArray encode() const;

    bool operator==(const VelmoVersionsManifest&) const = default;
};

} // namespace velmo
