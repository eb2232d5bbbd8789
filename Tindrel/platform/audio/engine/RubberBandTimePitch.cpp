#include "Tindrel/platform/audio/engine/RubberBandTimePitch.h"

#include "Tindrel/platform/audio/engine/SeekCrossfade.h"
#include "Tindrel/platform/audio/engine/WarpDeck.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <future>
#include <malloc.h>

namespace tindrel::platform {

namespace {

// What a deck being faded out reads once its input is gone: past what it holds, silence.
class SilentSource final : public SampleSource {
public:
    explicit SilentSource(uint32_t channelCount) : channelCount_(channelCount) {}
    size_t pull(float* const* destination, size_t offset, size_t frames) override {
        for (uint32_t c = 0; c < channelCount_; ++c) {
            std::memset(destination[c] + offset, 0, frames * sizeof(float));
        }
        return frames;
    }

private:
    uint32_t channelCount_;
};

// The two decks. Their stretchers are most of the engine's start-up, so the second deck is
// built on a thread of its own while the first is built on this one.
std::array<std::unique_ptr<WarpDeck>, 2> makeDecks(double sampleRate, uint32_t channelCount) {
    auto second = std::async(std::launch::async, [sampleRate, channelCount] {
        return std::make_unique<WarpDeck>(sampleRate, channelCount);
    });
    auto first = std::make_unique<WarpDeck>(sampleRate, channelCount);
    return {std::move(first), second.get()};
}

} // namespace

struct RubberBandTimePitch::State {
    State(double sampleRate, uint32_t channelCount)
        : sampleRate(sampleRate), channelCount(channelCount),
          decks(makeDecks(sampleRate, channelCount)), seekFade(sampleRate, channelCount) {}

    WarpDeck& playing() { return *decks[current]; }
    WarpDeck& other() { return *decks[1 - current]; }

    double sampleRate;
    uint32_t channelCount;
    std::array<std::unique_ptr<WarpDeck>, 2> decks;
    size_t current = 0;
    bool sounding = false; // the playing deck has made output since its start
    SeekCrossfade seekFade;
    bool restartPending = true;
    bool restartIsSeek = false;
    int64_t restartPreRoll = 0;
    std::atomic<int64_t> heard{0};
    std::atomic<bool> heardKnown{true};
    std::atomic<WarpPath> path{WarpPath::varispeed};
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
    const auto fits = [&](const std::unique_ptr<State>& state) {
        return state && state->sampleRate == sampleRate && state->channelCount == channelCount;
    };
    if (!fits(state_)) {
        // Folders mix a few formats: the decks of the one before are kept for going back.
        std::swap(state_, spare_);
        if (!fits(state_)) {
            state_.reset();
            // The decks' large buffers go back to the system rather than stay with the
            // allocator, where the next format's would not fit them all.
            malloc_trim(0);
            state_ = std::make_unique<State>(sampleRate, channelCount);
        }
    }
    restart();
}

void RubberBandTimePitch::restart(bool seek, int64_t preRoll) {
    State& s = *state_;
    s.restartPending = true;
    s.restartIsSeek = seek;
    s.restartPreRoll = preRoll;
}

std::optional<int64_t> RubberBandTimePitch::heardFrames() const {
    if (!state_->heardKnown.load(std::memory_order_acquire)) {
        return std::nullopt;
    }
    return state_->heard.load(std::memory_order_acquire);
}

WarpPath RubberBandTimePitch::activePath() const {
    return state_->path.load(std::memory_order_acquire);
}

size_t RubberBandTimePitch::framesBeforeNewSegment() const {
    return state_->seekFade.pendingFrames();
}

void RubberBandTimePitch::beginSegment(const WarpSetting& setting, SampleSource& source) {
    State& s = *state_;
    s.restartPending = false;
    if (s.restartIsSeek && s.sounding) {
        // The playing deck goes on; the other one starts at the new place.
        s.seekFade.begin();
        s.other().start(setting, s.restartPreRoll, source);
        return;
    }
    s.seekFade.cancel();
    s.sounding = false;
    s.playing().start(setting, s.restartIsSeek ? s.restartPreRoll : 0, source);
}

void RubberBandTimePitch::collectIncoming(const WarpSetting& setting, SampleSource& source,
                                          RenderedAhead* ahead) {
    State& s = *state_;
    SilentSource silence(s.channelCount);
    const bool joined = s.seekFade.collectAndJoin(
        [&](float* const* out, size_t offset, size_t frames) {
            return s.other().render(out, offset, frames, setting, source);
        },
        [&](float* const* out, size_t offset, size_t frames) {
            const size_t taken = ahead ? ahead->take(out, offset, frames) : 0;
            if (taken == frames) {
                return taken;
            }
            ahead = nullptr; // the playing deck goes on from the end of what was rendered
            return taken +
                   s.playing().render(out, offset + taken, frames - taken, setting, silence);
        },
        WarpDeck::maximumBlock);
    if (joined) {
        s.current = 1 - s.current;
    }
    // Else the new place's input is late; the playing deck goes on meanwhile.
}

size_t RubberBandTimePitch::render(float* const* out, size_t frames, SampleSource& source,
                                   RenderedAhead* ahead) {
    State& s = *state_;
    frames = std::min(frames, maximumBlock);
    const WarpSetting setting = warpSettingFor(overlap(), rate(), pitch());
    if (s.restartPending) {
        beginSegment(setting, source);
    }
    if (s.seekFade.collecting()) {
        collectIncoming(setting, source, ahead);
    }

    size_t produced = 0;
    if (s.seekFade.collecting()) {
        SilentSource silence(s.channelCount);
        produced = s.playing().render(out, 0, frames, setting, silence);
    } else {
        produced = s.seekFade.emit(out, 0, frames);
        if (produced < frames) {
            produced += s.playing().render(out, produced, frames - produced, setting, source);
        }
        s.sounding = s.sounding || produced > 0;
    }

    const bool known = !s.seekFade.collecting();
    if (known) {
        // The joined frames still to play were made ahead of what is heard.
        const double joinedAhead = static_cast<double>(s.seekFade.pendingFrames()) * setting.rate;
        const double heard = std::floor(s.playing().heard() - joinedAhead);
        s.heard.store(std::max<int64_t>(0, static_cast<int64_t>(heard)), std::memory_order_release);
    }
    s.heardKnown.store(known, std::memory_order_release);
    s.path.store(s.playing().playingPath(), std::memory_order_release);
    return produced;
}

} // namespace tindrel::platform
