#pragma once

// Finds hits in a stream of spectra: the spectral flux (the mean rise, in dB, of every bin over
// the louder of its neighbours in the frame before, so that a gliding partial does not count)
// peaks above its recent mean. A rise spread over many bins stands out of a dense mix where the
// level hardly moves: hats, snares and loud kicks over held pads and bass. A kick too soft for
// that, its rise in a few low bins, is found by the level of the lowest bins jumping above that
// of the frames before.
//
// A frame is judged once the three after it are known; hits lie at least three frames apart.
// Allocates only in its constructor; render thread only.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace tindrel::platform {

class OnsetDetector {
public:
    static constexpr int64_t lookahead = 3;

    // `lowBins`: the bins from 1 Hz up to about 200 Hz, where a kick sounds.
    OnsetDetector(size_t bins, size_t lowBins);

    // Forgets every frame; the next `settling` frames are history only, never hits.
    void start(int64_t settling);
    // Takes the power spectrum of the next frame (full scale sine peak about 1) and returns the
    // frame judged a hit, counted from start(), if any.
    std::optional<int64_t> push(const float* power);

private:
    std::vector<float> previous_;
    std::vector<float> current_;
    size_t lowBins_;
    std::array<double, 16> flux_{}; // by frame, modulo its size
    std::array<double, 16> low_{};  // the low bins' level in dB, by frame
    int64_t frames_ = 0;            // frames pushed since start()
    int64_t settling_ = 0;
    int64_t lastHit_ = -100;
};

} // namespace tindrel::platform
