#include "Tindrel/platform/audio/engine/WarpDeck.h"

#include <algorithm>
#include <cmath>

namespace tindrel::platform {

namespace {

// Input held for the paths: at 192 kHz R3 at its smallest stretch (4x at -12 st, 2x at -24 st)
// reads about 73k frames ahead of its output, the beats path (its held stretcher and split) some
// 165k at 4x and -24 st, and the history and read-ahead below come on top.
constexpr size_t windowFrames = size_t{1} << 18;
// Input kept behind the heard position: a stretcher taking over starts up to 100 ms of output
// early (R2 standing in at 4x: 18k frames at 44.1 kHz, as much as is kept at higher rates) and
// primes itself with up to leadFrames before that (R3 at 192 kHz asks for all of them); the
// varispeed's taps need far fewer.
constexpr int64_t historyFrames = SourceWindow::leadFrames + 65536;
// Input read beyond what the paths asked for, so that a deck being faded out after a seek
// plays on from what it holds (a 4x varispeed through a 20 ms fade at 192 kHz needs 15k).
constexpr int64_t readAheadFrames = 16384;
constexpr int switchVotes = 2;
constexpr double glideSeconds = 0.02;
constexpr double stretcherLeadSeconds = 0.02;

size_t indexOf(WarpPath path) {
    return static_cast<size_t>(path);
}

// Pitch scales a listener could tell apart in a join (about a tenth of a cent).
bool differ(double a, double b) {
    return std::abs(a / b - 1.0) > 1e-4;
}

} // namespace

WarpDeck::WarpDeck(double sampleRate, uint32_t channelCount)
    : channelCount_(channelCount), window_(channelCount, windowFrames),
      smooth_(sampleRate, channelCount, stretcherOptions(WarpPath::smoothStretcher)),
      crisp_(sampleRate, channelCount), joint_(sampleRate, channelCount),
      glideLength_(static_cast<size_t>(std::max(1.0, glideSeconds * sampleRate))),
      stretcherLeadFrames_(static_cast<size_t>(stretcherLeadSeconds * sampleRate)) {}

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
    switching_ = false;
    leadingIn_ = false;
    joining_ = false;
    gliding_ = false;
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
        return varispeed_.render(out, offset, frames, varispeedRate(frames), window_, source);
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
    const bool joined = joint_.collectAndJoin(
        [&](float* const* out, size_t offset, size_t frames) {
            return renderPath(incoming_, out, offset, frames, source);
        },
        [&](float* const* out, size_t offset, size_t frames) {
            return renderPath(active_, out, offset, frames, source);
        },
        maximumBlock);
    if (!joined) {
        return false;
    }
    joining_ = false;
    switching_ = false;
    active_ = incoming_;
    gliding_ = gliding_ && active_ == WarpPath::varispeed;
    if (gliding_) {
        glide(glideTo_, lastSetting_[indexOf(WarpPath::varispeed)].rate);
    }
    return true;
}

double WarpDeck::pitchOf(WarpPath path) const {
    return lastSetting_[indexOf(path)].pitchScale;
}

void WarpDeck::glide(double from, double to) {
    gliding_ = true;
    glideFrom_ = from;
    glideTo_ = to;
    glided_ = 0;
}

double WarpDeck::varispeedRate(size_t frames) {
    if (!gliding_) {
        return lastSetting_[indexOf(WarpPath::varispeed)].rate;
    }
    glided_ = std::min(glideLength_, glided_ + frames);
    const double rate = glideFrom_ + (glideTo_ - glideFrom_) * static_cast<double>(glided_) /
                                         static_cast<double>(glideLength_);
    // Once there, the rate holds while a join is still to come, else follows the setting.
    gliding_ = glided_ < glideLength_ || switching_;
    return rate;
}

void WarpDeck::beginSwitch(WarpPath path, SampleSource& source) {
    switching_ = true;
    incoming_ = path;
    if (active_ == WarpPath::varispeed && differ(pitchOf(active_), pitchOf(path))) {
        // The varispeed glides to the pitch of the path taking over before they are joined.
        glide(lastSetting_[indexOf(WarpPath::varispeed)].rate, pitchOf(path));
        leadingIn_ = true;
        return;
    }
    beginJoin(source);
}

void WarpDeck::beginJoin(SampleSource& source) {
    leadingIn_ = false;
    joint_.begin();
    joining_ = true;
    const double heardNow = heardOf(active_);
    if (incoming_ == WarpPath::varispeed) {
        startPath(incoming_, heardNow, source);
        if (differ(pitchOf(active_), pitchOf(incoming_))) {
            // It takes over at the pitch of the path it replaces and glides from there once
            // joined.
            const double from = pitchOf(active_);
            varispeed_.start(static_cast<double>(std::llround(heardNow)), from);
            glide(from, from);
        }
        return;
    }
    // A stretcher's first milliseconds sag by up to 0.7 dB as its frames fill: it starts a
    // little earlier and what it makes before the heard position is dropped.
    const double rate = lastSetting_[indexOf(incoming_)].rate;
    // Its priming reads up to leadFrames before where it starts, which the window must hold.
    const double earliest = static_cast<double>(window_.firstHeld() + SourceWindow::leadFrames);
    const double lead = static_cast<double>(stretcherLeadFrames_) * rate;
    startPath(incoming_, std::min(heardNow, std::max(heardNow - lead, earliest)), source);
    while (heardOf(incoming_) + 0.5 * rate < heardNow) {
        const auto remaining =
            static_cast<size_t>(std::llround((heardNow - heardOf(incoming_)) / rate));
        const size_t wanted = std::min({remaining, joint_.incomingWanted(), maximumBlock});
        if (wanted == 0 || renderPath(incoming_, joint_.incoming(), 0, wanted, source) == 0) {
            break;
        }
    }
}

size_t WarpDeck::render(float* const* out, size_t offset, size_t frames, const WarpSetting& setting,
                        SampleSource& source) {
    frames = std::min(frames, maximumBlock);
    lastSetting_[indexOf(setting.path)] = setting;
    if (!switching_ && joint_.pendingFrames() == 0 && setting.path != active_) {
        if (++votes_ >= switchVotes) {
            votes_ = 0;
            beginSwitch(setting.path, source);
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
    if (leadingIn_ && glided_ >= glideLength_) {
        beginJoin(source);
    }

    window_.keepFrom(static_cast<int64_t>(std::floor(heard())) - historyFrames);
    window_.readAhead(readAheadFrames, source);
    return produced;
}

} // namespace tindrel::platform
