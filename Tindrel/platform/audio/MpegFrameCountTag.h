#pragma once

// Whether an MPEG audio stream states its frame count in a Xing, Info or VBRI header in its
// first frame. Without one, a decoder can only estimate the length from the bitrate, and a
// variable-bitrate stream may be far longer than the estimate.
// Reads with pread(), so the descriptor's file offset stays as it was; safe from any thread.

namespace tindrel::platform {

bool hasMpegFrameCountTag(int fd);

} // namespace tindrel::platform
