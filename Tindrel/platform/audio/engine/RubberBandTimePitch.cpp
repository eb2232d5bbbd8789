#include "Tindrel/platform/audio/engine/RubberBandTimePitch.h"

#include "Tindrel/platform/audio/engine/SourceWindow.h"
#include "Tindrel/platform/audio/engine/StretcherPath.h"
#include "Tindrel/platform/audio/engine/VarispeedPath.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace tindrel::platform {

namespace {

// Input held for the paths: R3 at 192 kHz, 4x and -24 st reads about 131k frames ahead of its
// output, and the history below comes on top.
constexpr size_t windowFrames = size_t{1} << 18;
// Input kept behind the heard position: a stretcher taking over primes itself with up to
// leadFrames of it (R3 at 192 kHz asks for all of them); the varispeed's taps need far fewer.
constexpr int64_t historyFrames = SourceWindow::leadFrames;
constexpr size_t crossfadeFrames = 1024;
constexpr int switchVotes = 2;

size_t indexOf(WarpPath path) {
    return static_cast<size_t>(path);
}

} // namespace

struct RubberBandTimePitch::Paths {
    Paths(double sampleRate, uint32_t channelCount)
        : sampleRate(sampleRate), channelCount(channelCount), window(channelCount, windowFrames),
          smooth(sampleRate, channelCount, stretcherOptions(WarpPath::smoothStretcher)),
          crisp(sampleRate, channelCount, stretcherOptions(WarpPath::crispStretcher)),
          fade(channelCount, std::vector<float>(maximumBlock)), fadePointers(channelCount) {
        for (uint32_t c = 0; c < channelCount; ++c) {
            fadePointers[c] = fade[c].data();
        }
    }

    double sampleRate;
    uint32_t channelCount;
    SourceWindow window;
    VarispeedPath varispeed;
    StretcherPath smooth;
    StretcherPath crisp;
    std::vector<std::vector<float>> fade;
    std::vector<float*> fadePointers;
    std::array<WarpSetting, 3> lastSetting{};
    bool restartPending = true;
    WarpPath active = WarpPath::varispeed;
    bool fading = false;
    WarpPath incoming = WarpPath::varispeed;
    size_t faded = 0;
    int votes = 0;
    std::atomic<int64_t> heard{0};
    std::atomic<WarpPath> playing{WarpPath::varispeed};
};

RubberBandTimePitch::RubberBandTimePitch() {
    configure(44100, 2);
}

RubberBandTimePitch::~RubberBandTimePitch() = default;

void RubberBandTimePitch::setRate(float rate) {
    rate_.store(rate, std::memory_order_release);
}
float RubberBandTimePitch::rate() const {
    return rate_.load(std::memory_order_acquire);
}
void RubberBandTimePitch::setPitch(float cents) {
    pitch_.store(cents, std::memory_order_release);
}
float RubberBandTimePitch::pitch() const {
    return pitch_.load(std::memory_order_acquire);
}
void RubberBandTimePitch::setOverlap(float overlap) {
    overlap_.store(overlap, std::memory_order_release);
}
float RubberBandTimePitch::overlap() const {
    return overlap_.load(std::memory_order_acquire);
}

void RubberBandTimePitch::configure(double sampleRate, uint32_t channelCount) {
    channelCount = std::max<uint32_t>(1, channelCount);
    if (!paths_ || paths_->sampleRate != sampleRate || paths_->channelCount != channelCount) {
        paths_ = std::make_unique<Paths>(sampleRate, channelCount);
    }
    restart();
}

void RubberBandTimePitch::restart() {
    paths_->restartPending = true;
    paths_->heard.store(0, std::memory_order_release);
}

int64_t RubberBandTimePitch::heardFrames() const {
    return paths_->heard.load(std::memory_order_acquire);
}

WarpPath RubberBandTimePitch::activePath() const {
    return paths_->playing.load(std::memory_order_acquire);
}

double RubberBandTimePitch::heardOf(WarpPath path) const {
    switch (path) {
    case WarpPath::varispeed:
        return paths_->varispeed.position();
    case WarpPath::smoothStretcher:
        return paths_->smooth.heard();
    case WarpPath::crispStretcher:
        return paths_->crisp.heard();
    }
    return 0;
}

void RubberBandTimePitch::startPath(WarpPath path, double heard, SampleSource& source) {
    Paths& p = *paths_;
    const WarpSetting& setting = p.lastSetting[indexOf(path)];
    const auto index = static_cast<int64_t>(std::llround(heard));
    switch (path) {
    case WarpPath::varispeed:
        p.varispeed.start(static_cast<double>(index), setting.rate);
        break;
    case WarpPath::smoothStretcher:
        p.smooth.start(index, setting.rate, setting.pitchScale, p.window, source);
        break;
    case WarpPath::crispStretcher:
        p.crisp.start(index, setting.rate, setting.pitchScale, p.window, source);
        break;
    }
}

size_t RubberBandTimePitch::renderPath(WarpPath path, float* const* out, size_t frames,
                                       SampleSource& source) {
    Paths& p = *paths_;
    const WarpSetting& setting = p.lastSetting[indexOf(path)];
    switch (path) {
    case WarpPath::varispeed:
        return p.varispeed.render(out, 0, frames, setting.rate, p.window, source);
    case WarpPath::smoothStretcher:
        return p.smooth.render(out, 0, frames, setting.rate, setting.pitchScale, p.window, source);
    case WarpPath::crispStretcher:
        return p.crisp.render(out, 0, frames, setting.rate, setting.pitchScale, p.window, source);
    }
    return 0;
}

size_t RubberBandTimePitch::render(float* const* out, size_t frames, SampleSource& source) {
    Paths& p = *paths_;
    frames = std::min(frames, maximumBlock);
    const WarpSetting setting = warpSettingFor(overlap(), rate(), pitch());
    p.lastSetting[indexOf(setting.path)] = setting;

    if (p.restartPending) {
        p.restartPending = false;
        p.window.reset();
        p.fading = false;
        p.votes = 0;
        p.active = setting.path;
        startPath(p.active, 0, source);
    } else if (!p.fading && setting.path != p.active) {
        if (++p.votes >= switchVotes) {
            p.votes = 0;
            p.fading = true;
            p.faded = 0;
            p.incoming = setting.path;
            startPath(p.incoming, heardOf(p.active), source);
        }
    } else {
        p.votes = 0;
    }

    size_t produced = 0;
    if (!p.fading) {
        produced = renderPath(p.active, out, frames, source);
    } else {
        produced = renderPath(p.incoming, out, frames, source);
        const size_t outgoing = renderPath(p.active, p.fadePointers.data(), produced, source);
        for (size_t k = 0; k < produced; ++k) {
            const double position = std::min(1.0, static_cast<double>(p.faded + k) /
                                                      static_cast<double>(crossfadeFrames));
            // Equal power: the two paths' outputs are not phase-aligned, so their powers add.
            const auto in = static_cast<float>(std::sin(0.5 * std::numbers::pi * position));
            const auto away = static_cast<float>(std::cos(0.5 * std::numbers::pi * position));
            for (uint32_t c = 0; c < p.channelCount; ++c) {
                const float old = k < outgoing ? p.fade[c][k] : 0.0f;
                out[c][k] = out[c][k] * in + old * away;
            }
        }
        p.faded += produced;
        if (p.faded >= crossfadeFrames) {
            p.fading = false;
            p.active = p.incoming;
        }
    }

    const WarpPath current = p.fading ? p.incoming : p.active;
    double kept = heardOf(current);
    if (p.fading) {
        kept = std::min(kept, heardOf(p.active));
    }
    p.window.keepFrom(static_cast<int64_t>(std::floor(kept)) - historyFrames);
    p.heard.store(std::max<int64_t>(0, static_cast<int64_t>(std::floor(heardOf(current)))),
                  std::memory_order_release);
    p.playing.store(current, std::memory_order_release);
    return produced;
}

} // namespace tindrel::platform
