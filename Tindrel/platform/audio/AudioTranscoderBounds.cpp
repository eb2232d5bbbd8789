// The transcoder's size bounds, apart from the FFmpeg code: the loader caps the external
// decoder by them without loading the transcoder's module.

#include "Tindrel/platform/audio/AudioTranscoder.h"

#include <algorithm>

namespace tindrel::platform {

double AudioTranscoder::secondsBoundBySize(int64_t sourceBytes) {
    return 60.0 + double(std::max<int64_t>(0, sourceBytes)) / 16.0;
}

int64_t AudioTranscoder::outputByteCeiling(int64_t sourceBytes) {
    const double frames =
        std::min(secondsBoundBySize(sourceBytes) * outputSampleRate, double(wavFrameCapacity));
    return int64_t(frames) * bytesPerFrame + wavOverheadBytes;
}

} // namespace tindrel::platform
