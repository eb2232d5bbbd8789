#include "Tindrel/store/TindrelStore.h"

#include "Tindrel/analysis/UniversalAudioLoader.h"
#include "Tindrel/platform/audio/AudioFile.h"
#include "Tindrel/platform/audio/WorkHeartbeat.h"
#include "Tindrel/platform/audio/engine/AudioEngine.h"
#include "Tindrel/platform/audio/engine/AudioPlayerNode.h"
#include "Tindrel/store/FrameMath.h"
#include "Tindrel/store/StandardizedPath.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
#include <system_error>
#include <utility>

namespace tindrel {

namespace {

QString fileNameOf(const std::filesystem::path& path) {
    return QString::fromStdString(path.filename().string());
}

QString nameOrEmpty(const std::optional<std::filesystem::path>& path) {
    return path ? fileNameOf(*path) : QString();
}

AudioFileSpec placeholderSpec(const std::filesystem::path& file, const platform::AudioFile& audio,
                              int originalBitDepth, int64_t fileSize, double fileLength) {
    const std::string formatName = formatNameOf(file);
    const platform::AudioFormat format = audio.fileFormat();
    AudioFileSpec placeholder;
    placeholder.url = file;
    placeholder.fileName = file.filename().string();
    placeholder.formatName = formatName.empty() ? "AUDIO" : formatName;
    placeholder.sampleRate = format.sampleRate;
    placeholder.channels = static_cast<int>(format.channelCount);
    placeholder.bitDepth = originalBitDepth;
    placeholder.fileSizeBytes = fileSize;
    placeholder.duration = fileLength;
    placeholder.lufsIntegrated = -14.0f;
    placeholder.lufsShortTermMax = -12.0f;
    placeholder.truePeakDBTP = -0.5f;
    placeholder.rmsDB = -14.0f;
    placeholder.crestDB = 13.5f;
    placeholder.peaks.assign(240, 0.18f);
    placeholder.rmsEnvelope.assign(240, 0.09f);
    return placeholder;
}

} // namespace

void TindrelStore::loadAndPlay(const Path& url, bool autoPlay) {
    if (heldAtGate<&TindrelStore::loadAndPlay>(url, autoPlay)) {
        if (!shutDown_)
            heldLoadTarget_ = standardizedPath(url);
        return;
    }
    heldLoadTarget_.reset();
    const LongOperation operation(*this);
    const Path file = standardizedPath(url);
    const QString name = fileNameOf(file);
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(file, error);
    if (!std::filesystem::exists(status)) {
        statusBanner = QStringLiteral("File not found: ") + name;
        return;
    }
    if (std::filesystem::is_directory(status)) {
        // Browsed like a folder chosen in the open panel; a folder is never the current file.
        navigateToFolder(file, true, true);
        return;
    }
    if (!std::filesystem::is_regular_file(status)) {
        // A FIFO or device could block the loader or never end; it is not an audio file.
        statusBanner =
            QStringLiteral("Could not open ") + name + QStringLiteral(": Not a regular file");
        return;
    }

    // An engine still being built plays nothing yet: the load does not wait for it here, but
    // once the file is open, when the building has long had its time.
    if (liveEngine_.isBuilt())
        playerNode().stop();
    isPlaying = false;
    loopIn = std::nullopt;
    loopOut = std::nullopt;
    isRenamingCurrentFile = false;
    waveformZoom = 1.0;
    waveformCenterFrac = 0.5;
    ++loadGeneration_;

    const std::uintmax_t size = std::filesystem::file_size(file, error);
    const int64_t fileSize = error ? 0 : static_cast<int64_t>(size);

    currentURL = file;
    addRecent(file);

    const Path folder = standardizedPath(file.parent_path());
    if (folder != currentFolderURL.get() || siblingFiles->empty())
        navigateToFolder(folder, true, false);

    PlayableAudioFile opened;
    {
        SynchronousWorkScope work(*this, QStringLiteral("Decoding"), name);
        try {
            opened = UniversalAudioLoader::openPlayableAudioFile(
                file, UniversalAudioLoader::standardSettings(), work.heartbeat());
        } catch (const std::exception& failure) {
            // Stopped: the program is on its way out and the status line stays as it was.
            if (!work.heartbeat().stopped())
                statusBanner = QStringLiteral("Could not open ") + name + QStringLiteral(": ") +
                               QString::fromStdString(failure.what());
            return;
        }
    }
    // Stopped during a decode that finished all the same.
    if (shutDown_ || workStopRequested_)
        return;

    playableURL = opened.playableURL;
    audioFile_ = std::move(opened.audio);
    audioFileHold_ = std::move(opened.copyHold);
    audioSourceURL_ = file;

    const platform::AudioFormat format = audioFile_->processingFormat();
    fileSampleRate_ = std::max(1.0, format.sampleRate);
    totalFrameCount_ = audioFile_->length();
    const double fileLength = static_cast<double>(totalFrameCount_) / fileSampleRate_;
    duration = std::max(0.001, fileLength);
    currentTime = 0.0;

    // The engine keeps the decks of the rate before and gives those it drops back to the system.
    engine().connect(format);
    if (!engine().isRunning())
        engine().start();
    applyWarpRateAndPitchParameters();
    playerNode().setVolume(volume);

    spec = placeholderSpec(file, *audioFile_, opened.originalBitDepth, fileSize, fileLength);
    scheduleFromFrame(0, autoPlay);
    statusBanner = (autoPlay ? QStringLiteral("Playing ") : QStringLiteral("Loaded ")) + name +
                   QStringLiteral(" (") + formatTime(fileLength) + QStringLiteral(")");
    callStatusChanged();
    triggerFastWaveformAndLUFSAnalysis(file, opened.playableURL, fileSize, opened.originalBitDepth,
                                       fileLength);
}

void TindrelStore::scheduleFromFrame(int64_t frame, bool autoPlay) {
    if (!audioFile_ || totalFrameCount_ <= 0)
        return;
    const int64_t start = std::max<int64_t>(0, std::min(frame, totalFrameCount_ - 1));
    const int64_t count = totalFrameCount_ - start;
    passLoopToEngine();
    // A new segment scheduled while playing is a seek the engine crossfades into; stopping
    // first would cut the sound.
    if (!autoPlay || !playerNode().isPlaying())
        playerNode().stop();
    scheduledStartFrame_ = start;
    playerNode().scheduleSegment(*audioFile_, start, count);
    if (autoPlay) {
        if (!engine().isRunning())
            engine().start();
        playerNode().play();
        isPlaying = true;
    } else {
        isPlaying = false;
    }
    callStatusChanged();
}

int64_t TindrelStore::seekFrame(double seconds) const {
    const double t = std::max(0.0, std::min(seconds, std::max(0.0, duration - 0.01)));
    return std::max<int64_t>(0,
                             std::min(framesForSeconds(t, fileSampleRate_), totalFrameCount_ - 1));
}

void TindrelStore::passLoopToEngine() {
    std::optional<platform::AudioPlayerNode::LoopRange> range;
    const double a = loopIn->value_or(0.0);
    const double b = loopOut->value_or(duration.get());
    if (isLoopEnabled && a + 0.05 < b)
        range = platform::AudioPlayerNode::LoopRange{seekFrame(a),
                                                     framesForSeconds(b, fileSampleRate_)};
    playerNode().setLoopRange(range);
}

void TindrelStore::seek(double seconds, std::optional<bool> forcePlay) {
    if (heldAtGate<&TindrelStore::seek>(seconds, forcePlay) || !audioFile_)
        return;
    if (std::isnan(seconds))
        seconds = 0.0;
    const double t = std::max(0.0, std::min(seconds, std::max(0.0, duration - 0.01)));
    currentTime = t;
    const int64_t frame = framesForSeconds(t, fileSampleRate_);
    const bool wasPlaying = isPlaying.get();
    const bool play = forcePlay.value_or(wasPlaying);
    applyWarpRateAndPitchParameters(t);
    scheduleFromFrame(frame, play);
    // A seek that starts playback (a click on the waveform while paused) says so as the play
    // command does; "Paused at" would be stale beside a playing transport.
    if (isPlaying.get() && !wasPlaying)
        statusBanner = QStringLiteral("Playing ") + nameOrEmpty(currentURL);
}

void TindrelStore::seekRelative(double deltaSeconds) {
    if (stepHeldAtGate<&TindrelStore::seekRelative>(deltaSeconds))
        return;
    seek(currentTime + deltaSeconds, std::nullopt);
}

void TindrelStore::jumpToStart() {
    if (heldAtGate<&TindrelStore::jumpToStart>())
        return;
    seek(loopIn->value_or(0.0), std::nullopt);
    ensurePlayheadVisibleInZoomWindow();
}

std::optional<double>
TindrelStore::secondsIntoPlayingSegment(std::optional<int64_t> segmentFrames) const {
    if (!isPlaying || !segmentFrames)
        return std::nullopt;
    const double seconds =
        static_cast<double>(scheduledStartFrame_ + std::max<int64_t>(0, *segmentFrames)) /
        std::max(1.0, fileSampleRate_);
    return std::max(0.0, std::min(duration.get(), seconds));
}

double TindrelStore::currentPlayheadSeconds() const {
    return secondsIntoPlayingSegment(playerNode().playerSampleTime()).value_or(currentTime.get());
}

double TindrelStore::renderedPlayheadSeconds() const {
    return secondsIntoPlayingSegment(playerNode().playerRenderTime())
        .value_or(currentPlayheadSeconds());
}

void TindrelStore::togglePlayPause() {
    if (stepHeldAtGate<&TindrelStore::togglePlayPause>())
        return;
    if (!audioFile_) {
        std::optional<Path> target = currentURL;
        if (!target && !recentFiles->empty())
            target = recentFiles->front();
        if (target)
            loadAndPlay(*target, true);
        return;
    }
    if (isPlaying) {
        const double t = currentPlayheadSeconds();
        playerNode().pause();
        isPlaying = false;
        currentTime = t;
        scheduledStartFrame_ = framesForSeconds(t, fileSampleRate_);
        statusBanner = QStringLiteral("Paused at ") + formatTime(t);
        callStatusChanged();
        return;
    }
    const double start = currentTime < duration - 0.05 ? currentTime.get() : loopIn->value_or(0.0);
    currentTime = start;
    scheduleFromFrame(framesForSeconds(start, fileSampleRate_), true);
    statusBanner = QStringLiteral("Playing ") + nameOrEmpty(currentURL);
}

void TindrelStore::playWarpedRange() {
    if (heldAtGate<&TindrelStore::playWarpedRange>() || !audioFile_)
        return;
    if (!loopIn->has_value() && !loopOut->has_value()) {
        const double in = std::max(0.0, std::min(duration * 0.8, currentTime.get()));
        loopIn = in;
        loopOut = std::min(duration.get(), in + std::min(8.0, duration * 0.35));
    }
    isLoopEnabled = true;
    seek(effectiveRangeStart(), true);
    statusBanner = QStringLiteral("Playing ") + warpedRangeSummaryText();
}

void TindrelStore::handleTrackReachedEnd(bool mayLoop) {
    if (isLoopEnabled && mayLoop) {
        seek(loopIn->value_or(0.0), true);
        return;
    }
    playerNode().stop();
    isPlaying = false;
    currentTime = 0.0;
    scheduledStartFrame_ = 0;
    statusBanner = QStringLiteral("Finished playing ") + nameOrEmpty(currentURL);
    callStatusChanged();
}

void TindrelStore::handleTrackReadFailure() {
    const double t = currentPlayheadSeconds();
    playerNode().stop();
    isPlaying = false;
    currentTime = t;
    scheduledStartFrame_ = framesForSeconds(t, fileSampleRate_);
    statusBanner = QStringLiteral("Stopped playing ") + nameOrEmpty(currentURL) +
                   QStringLiteral(" — the file could not be read");
    callStatusChanged();
}

void TindrelStore::stopAndCleanup() {
    workStopRequested_ = isInSynchronousWork();
    writeUnsavedRecentPaths();
    environment_.ticker->stop();
    if (analysisCancel_)
        analysisCancel_->store(true);
    analysisExecutor_->waitForRunningWork();
    playerNode().stop();
    engine().stop();
    isPlaying = false;
}

void TindrelStore::startUITimer() {
    environment_.ticker->start(std::chrono::milliseconds(33), [this] { tickPlayheadAndMeters(); });
}

void TindrelStore::tickPlayheadAndMeters() {
    if (heldAtGate<&TindrelStore::tickPlayheadAndMeters>())
        return;
    // All that one tick assigns reaches the views as one change: one refresh, one paint.
    holdingChanges_ = true;
    advanceOneTick();
    holdingChanges_ = false;
    if (std::exchange(changesHeld_, false))
        emit changed();
}

void TindrelStore::advanceOneTick() {
    if (!isPlaying) {
        pendingMeterLevels_.reset();
        // Meters at rest stay unassigned: every assignment announces a change to every view.
        const float left = std::max(-60.0f, meterLeftDB - 2.5f);
        const float right = std::max(-60.0f, meterRightDB - 2.5f);
        if (left != meterLeftDB)
            meterLeftDB = left;
        if (right != meterRightDB)
            meterRightDB = right;
        return;
    }
    // A file that ends before its stated length, or stops reading, ends the track where its
    // audio ran out instead of holding a frozen playhead.
    switch (playerNode().segmentShortfall()) {
    case platform::AudioPlayerNode::Shortfall::none:
        break;
    case platform::AudioPlayerNode::Shortfall::endedEarly:
        // A segment that had nothing at all (a loop start beyond where a shrunken file now
        // ends) would only come back empty from another wrap.
        handleTrackReachedEnd(playerNode().playerSampleTime().value_or(0) > 0);
        return;
    case platform::AudioPlayerNode::Shortfall::readFailed:
        handleTrackReadFailure();
        return;
    }
    if (pendingMeterLevels_) {
        meterLeftDB = pendingMeterLevels_->leftDB;
        meterRightDB = pendingMeterLevels_->rightDB;
        pendingMeterLevels_.reset();
    }
    passLoopToEngine();
    const double t = currentPlayheadSeconds();
    currentTime = t;
    ensurePlayheadVisibleInZoomWindow();
    // The engine renders ahead of what is heard: an edge of the range is taken where the
    // rendering stands, so it is heard where it lies.
    if (warpScope == WarpScope::rangeOnly && hasActiveRange())
        applyWarpRateAndPitchParameters(renderedPlayheadSeconds());
    if (isLoopEnabled) {
        const double a = loopIn->value_or(0.0);
        const double b = loopOut->value_or(duration.get());
        if (a + 0.05 < b && t >= b - 0.025) {
            seek(a, true);
            return;
        }
    }
    // The end is taken 20 ms early, within a tick of the last sound; a file too short for that
    // margin ends once all of its frames have played.
    const double endsAt =
        duration > 0.05 ? duration - 0.02 : static_cast<double>(totalFrameCount_) / fileSampleRate_;
    if (t >= endsAt)
        handleTrackReachedEnd();
}

} // namespace tindrel
