#include "tests/platform/engine/WarpPathPlayer.h"

#include "tests/platform/engine/SignalSampleSource.h"

#include "Tindrel/platform/audio/engine/BeatsPath.h"
#include "Tindrel/platform/audio/engine/SourceWindow.h"
#include "Tindrel/platform/audio/engine/StretcherPath.h"
#include "Tindrel/platform/audio/engine/ThreadPriority.h"
#include "Tindrel/platform/audio/engine/WarpCharacter.h"

#include <cmath>

namespace tindrel::test {

namespace {

using namespace tindrel::platform;

// As the deck keeps and reads ahead (WarpDeck.cpp).
constexpr size_t windowFrames = size_t{1} << 18;
constexpr int64_t historyFrames = SourceWindow::leadFrames + 65536;
constexpr int64_t readAheadFrames = 16384;

} // namespace

struct WarpPathPlayer::Paths {
    Paths(double sampleRate, int channels)
        : window(static_cast<uint32_t>(channels), windowFrames),
          beats(sampleRate, static_cast<uint32_t>(channels)),
          musical(sampleRate, static_cast<uint32_t>(channels),
                  stretcherOptions(WarpPath::smoothStretcher)) {}
    SourceWindow window;
    BeatsPath beats;
    StretcherPath musical;
};

WarpPathPlayer::WarpPathPlayer(double sampleRate, int channels)
    : paths_(std::make_unique<Paths>(sampleRate, channels)) {}

WarpPathPlayer::~WarpPathPlayer() = default;

PathRender WarpPathPlayer::render(const Signal& signal, WarpPathKind path, double rate,
                                  double pitchScale, size_t frames, size_t block) {
    SignalSampleSource feed(signal);
    SourceWindow& window = paths_->window;
    const auto channels = static_cast<size_t>(signal.channels);
    std::vector<std::vector<float>> buffers(channels, std::vector<float>(block));
    std::vector<float*> pointers(channels);
    for (size_t c = 0; c < channels; ++c) {
        pointers[c] = buffers[c].data();
    }
    PathRender result;
    result.out.reserve(frames);
    window.reset(0);
    const double startedAt = currentThreadCpuSeconds();
    if (path == WarpPathKind::beats) {
        paths_->beats.start(0, rate, pitchScale, window, feed);
    } else {
        paths_->musical.start(0, rate, pitchScale, window, feed);
    }
    result.startSeconds = -startedAt;
    while (result.out.size() < frames) {
        const double before = currentThreadCpuSeconds();
        const size_t made =
            path == WarpPathKind::beats
                ? paths_->beats.render(pointers.data(), 0, block, rate, pitchScale, window, feed)
                : paths_->musical.render(pointers.data(), 0, block, rate, pitchScale, window, feed);
        const double after = currentThreadCpuSeconds();
        result.blockSeconds.push_back(after - before);
        if (result.blockSeconds.size() == 1) {
            result.startSeconds += after;
        }
        result.out.insert(result.out.end(), buffers[0].begin(),
                          buffers[0].begin() + static_cast<std::ptrdiff_t>(made));
        const double heard =
            path == WarpPathKind::beats ? paths_->beats.heard() : paths_->musical.heard();
        window.keepFrom(static_cast<int64_t>(std::floor(heard)) - historyFrames);
        window.readAhead(readAheadFrames, feed);
        if (made == 0) {
            break; // the path waits for input the window cannot hold
        }
    }
    result.out.resize(frames);
    return result;
}

} // namespace tindrel::test
