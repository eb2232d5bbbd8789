#include "Tindrel/platform/audio/engine/WarpDeck.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tindrel::platform {

namespace {

// Input held for the paths: R3 at 192 kHz and its smallest stretch (4x at -12 st, 2x at -24 st)
// reads about 73k frames ahead of its output, and the history and read-ahead below come on top.
constexpr size_t windowFrames = size_t{1} << 18;
// Input kept behind the heard position: a stretcher taking over primes itself with up to
// leadFrames of it (R3 at 192 kHz asks for all of them); the varispeed's taps need far fewer.
constexpr int64_t historyFrames = SourceWindow::leadFrames;
// Input read beyond what the paths asked for, so that a deck being faded out after a seek
// plays on from what it holds (a 4x varispeed through a 20 ms fade at 192 kHz needs 15k).
constexpr int64_t readAheadFrames = 16384;
constexpr size_t crossfadeFrames = 1024;
constexpr int switchVotes = 2;

size_t indexOf(WarpPath path) {
    return static_cast<size_t>(path);
}

} // namespace

WarpDeck::WarpDeck(double sampleRate, uint32_t channelCount)
    : channelCount_(channelCount), window_(channelCount, windowFrames),
      smooth_(sampleRate, channelCount, stretcherOptions(WarpPath::smoothStretcher)),
      crisp_(sampleRate, channelCount), fade_(channelCount, std::vector<float>(maximumBlock)),
      fadePointers_(channelCount) {
    for (uint32_t c = 0; c < channelCount; ++c) {
        fadePointers_[c] = fade_[c].data();
    }
}

double WarpDeck::heardOf(WarpPath path) const {
    switch (path) {
    case WarpPath::varispeed:
        return varispeed_.position();
    case WarpPath::smoothStretcher:
        return smooth_.heard();
    case WarpPath::crispStretcher:
        return crisp_.heard();
    }
    return 0;
}

double WarpDeck::heard() const {
    return heardOf(playingPath());
}

void WarpDeck::start(const WarpSetting& setting, int64_t preRoll, SampleSource& source) {
    lastSetting_[indexOf(setting.path)] = setting;
    window_.reset(preRoll);
    fading_ = false;
    votes_ = 0;
    active_ = setting.path;
    startPath(active_, 0, source);
}

void WarpDeck::startPath(WarpPath path, double heard, SampleSource& source) {
    const WarpSetting& setting = lastSetting_[indexOf(path)];
    const auto index = static_cast<int64_t>(std::llround(heard));
    switch (path) {
    case WarpPath::varispeed:
        varispeed_.start(static_cast<double>(index), setting.rate);
        break;
    case WarpPath::smoothStretcher:
        smooth_.start(index, setting.rate, setting.pitchScale, window_, source);
        break;
    case WarpPath::crispStretcher:
        crisp_.start(index, setting.rate, setting.pitchScale, window_, source);
        break;
    }
}

size_t WarpDeck::renderPath(WarpPath path, float* const* out, size_t offset, size_t frames,
                            SampleSource& source) {
    const WarpSetting& setting = lastSetting_[indexOf(path)];
    switch (path) {
    case WarpPath::varispeed:
        return varispeed_.render(out, offset, frames, setting.rate, window_, source);
    case WarpPath::smoothStretcher:
        return smooth_.render(out, offset, frames, setting.rate, setting.pitchScale, window_,
                              source);
    case WarpPath::crispStretcher:
        return crisp_.render(out, offset, frames, setting.rate, setting.pitchScale, window_,
                             source);
    }
    return 0;
}

size_t WarpDeck::render(float* const* out, size_t offset, size_t frames, const WarpSetting& setting,
                        SampleSource& source) {
    frames = std::min(frames, maximumBlock);
    lastSetting_[indexOf(setting.path)] = setting;
    if (!fading_ && setting.path != active_) {
        if (++votes_ >= switchVotes) {
            votes_ = 0;
            fading_ = true;
            faded_ = 0;
            incoming_ = setting.path;
            startPath(incoming_, heardOf(active_), source);
        }
    } else {
        votes_ = 0;
    }

    size_t produced = 0;
    if (!fading_) {
        produced = renderPath(active_, out, offset, frames, source);
    } else {
        produced = renderPath(incoming_, out, offset, frames, source);
        const size_t outgoing = renderPath(active_, fadePointers_.data(), 0, produced, source);
        for (size_t k = 0; k < produced; ++k) {
            const double position = std::min(1.0, static_cast<double>(faded_ + k) /
                                                      static_cast<double>(crossfadeFrames));
            // Equal power: the two paths' outputs are not phase-aligned, so their powers add.
            const auto in = static_cast<float>(std::sin(0.5 * std::numbers::pi * position));
            const auto away = static_cast<float>(std::cos(0.5 * std::numbers::pi * position));
            for (uint32_t c = 0; c < channelCount_; ++c) {
                const float old = k < outgoing ? fade_[c][k] : 0.0f;
                out[c][offset + k] = out[c][offset + k] * in + old * away;
            }
        }
        faded_ += produced;
        if (faded_ >= crossfadeFrames) {
            fading_ = false;
            active_ = incoming_;
        }
    }

    double kept = heardOf(playingPath());
    if (fading_) {
        kept = std::min(kept, heardOf(active_));
    }
    window_.keepFrom(static_cast<int64_t>(std::floor(kept)) - historyFrames);
    window_.readAhead(readAheadFrames, source);
    return produced;
}

} // namespace tindrel::platform
