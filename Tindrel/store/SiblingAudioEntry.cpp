#include "Tindrel/store/SiblingAudioEntry.h"

#include "Tindrel/platform/text/LocaleFreeNumber.h"

#include <algorithm>

namespace tindrel {

QString SiblingAudioEntry::id() const {
    return QString::fromStdString(url.string());
}

QString SiblingAudioEntry::sizeShort() const {
    const double mebibytes = static_cast<double>(sizeBytes) / 1048576.0;
    if (mebibytes >= 1.0)
        return QString::fromStdString(formatNumber("%.1fM", mebibytes));
    const double kibibytes = std::max(1.0, static_cast<double>(sizeBytes) / 1024.0);
    return QString::fromStdString(formatNumber("%.0fK", kibibytes));
}

} // namespace tindrel
