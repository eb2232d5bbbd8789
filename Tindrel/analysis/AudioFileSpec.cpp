#include "Tindrel/analysis/AudioFileSpec.h"

#include "Tindrel/platform/text/LocaleFreeNumber.h"
#include "Tindrel/platform/text/TextCase.h"

#include <algorithm>
#include <cmath>

namespace tindrel {

std::string AudioFileSpec::sampleRateLabel() const {
    if (sampleRate >= 1000) {
        const double kilohertz = sampleRate / 1000;
        return std::fmod(kilohertz, 1.0) != 0 ? formatNumber("%.1f kHz", kilohertz)
                                              : formatNumber("%.0f kHz", kilohertz);
    }
    if (!std::isfinite(sampleRate))
        return "0 Hz";
    return formatNumber("%.0f Hz", std::trunc(sampleRate) + 0.0);
}

std::string AudioFileSpec::channelLabel() const {
    switch (channels) {
    case 1:
        return "Mono (1 ch)";
    case 2:
        return "Stereo (2 ch)";
    default:
        return std::to_string(channels) + " Channels";
    }
}

std::string AudioFileSpec::fileSizeLabel() const {
    const double megabytes = double(fileSizeBytes) / 1048576.0;
    if (megabytes >= 1)
        return formatNumber("%.2f MB", megabytes);
    return formatNumber("%.0f KB", std::max(1.0, double(fileSizeBytes) / 1024.0));
}

std::string formatNameOf(const std::filesystem::path& url) {
    const std::string extension = url.extension().string();
    return unicodeUppercased(extension.empty() ? extension : extension.substr(1));
}

} // namespace tindrel
