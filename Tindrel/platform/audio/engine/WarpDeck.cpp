#include "Tindrel/platform/audio/engine/WarpDeck.h"

#include <algorithm>
#include <cmath>

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
constexpr int switchVotes = 2;

size_t indexOf(WarpPath path) {
    return static_cast<size_t>(path);
}

} // namespace

WarpDeck::WarpDeck(double sampleRate, uint32_t channelCount)
    : channelCount_(channelCount), window_(channelCount, windowFrames),
      smooth_(sampleRate, channelCount, stretcherOptions(WarpPath::smoothStretcher)),
      crisp_(sampleRate, channelCount), joint_(sampleRate, channelCount) {}

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
    // The joined frames still to play were made ahead of what is heard.
    return heardOf(active_) -
           static_cast<double>(joint_.pendingFrames()) * lastSetting_[indexOf(active_)].rate;
}

void WarpDeck::start(const WarpSetting& setting, int64_t preRoll, SampleSource& source) {
    lastSetting_[indexOf(setting.path)] = setting;
    window_.reset(preRoll);
    joining_ = false;
    joint_.cancel();
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

bool WarpDeck::join(SampleSource& source) {
    while (joint_.incomingWanted() > 0) {
        const size_t wanted = std::min(joint_.incomingWanted(), maximumBlock);
        const size_t got =
            renderPath(incoming_, joint_.incoming(), joint_.incomingFilled(), wanted, source);
        joint_.addIncoming(got);
        if (got < wanted) {
            return false;
        }
    }
    for (size_t done = 0; done < joint_.fadeFrames();) {
        const size_t wanted = std::min(joint_.fadeFrames() - done, maximumBlock);
        const size_t got = renderPath(active_, joint_.outgoing(), done, wanted, source);
        if (got == 0) {
            joint_.silenceOutgoingFrom(done);
            break;
        }
        done += got;
    }
    joint_.join();
    joining_ = false;
    active_ = incoming_;
    return true;
}

size_t WarpDeck::render(float* const* out, size_t offset, size_t frames, const WarpSetting& setting,
                        SampleSource& source) {
    frames = std::min(frames, maximumBlock);
    lastSetting_[indexOf(setting.path)] = setting;
    if (!joining_ && joint_.pendingFrames() == 0 && setting.path != active_) {
        if (++votes_ >= switchVotes) {
            votes_ = 0;
            joining_ = true;
            incoming_ = setting.path;
            startPath(incoming_, heardOf(active_), source);
            joint_.begin();
        }
    } else {
        votes_ = 0;
    }

    size_t produced = 0;
    if (!joining_ || join(source)) {
        produced = joint_.emit(out, offset, frames);
        if (produced < frames) {
            produced += renderPath(active_, out, offset + produced, frames - produced, source);
        }
    }

    window_.keepFrom(static_cast<int64_t>(std::floor(heard())) - historyFrames);
    window_.readAhead(readAheadFrames, source);
    return produced;
}

} // namespace tindrel::platform
