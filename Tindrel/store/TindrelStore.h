#pragma once

// TindrelStore: the one observable state of the player. It holds the current file and its
// analysis record, the transport, the warp, the In/Out range and loop, the meters, the waveform
// zoom window, the folder browser and recent files, the status line and the texts of the
// editable fields, and it owns the live playback graph (player -> time-pitch -> main mixer)
// with the meter tap on the mixer.
//
// Threads: every field and method belongs to the main thread. Work that ends elsewhere (the
// meter tap, the analysis) is posted back to the main thread before it touches a field. The
// live engine is built and started on a thread of its own (AudioEngineInBackground.h); the
// first method that plays or stops waits for it.
// Publishing: each assignment or in-place change of a Published field (also to an equal value)
// emits changed() after storing, except during a tick of the UI timer, whose assignments are
// announced once at its end; views re-read whatever they show. Nothing here subscribes to a
// single field. The meter tap's levels are applied by the next tick.
// Ownership: shared() is the program's one store, made on first use and never destroyed. Tests
// build private stores from a TindrelStoreEnvironment; such a store owns its engine, ticker,
// executor, settings and desktop services and may be destroyed (a measurement still running
// then finishes unseen).
// Failures never throw out of a method: an action the user asked for leaves one status line in
// statusBanner; bookkeeping failures leave the previous state silently.
// Long work: a decode (in loadAndPlay) or an export holds the main thread, and only what the
// caller does in keepResponsiveDuringWork runs meanwhile. Every operation and every delivery
// (tick, meter levels, analysis result, recents write) passes one gate: while long work runs,
// and after a load or an export until the event loop has handled what queued up meanwhile, the
// call is held instead. A request that replaces what came before (a load, a seek, a typed or
// chosen value) replaces its own held call; a relative step (a pitch step, a nudge, a zoom
// step, a toggle) is held beside the earlier ones, so every step counts. Held calls run in the
// order of their latest arrival once the gate opens. stopAndCleanup() passes at once and stops
// long work in progress; shutGate() (the program's way out) drops what is held and keeps every
// later call out.
//
// Positions are seconds (double) in the source file; frames are int64_t; locations are
// absolute, lexically normal paths.

#include "Tindrel/analysis/AudioFileSpec.h"
#include "Tindrel/platform/files/FileDescriptor.h"
#include "Tindrel/store/AudioEngineInBackground.h"
#include "Tindrel/store/FolderAncestorItem.h"
#include "Tindrel/store/OutputMeterLevels.h"
#include "Tindrel/store/Published.h"
#include "Tindrel/store/SiblingAudioEntry.h"
#include "Tindrel/store/TindrelStoreEnvironment.h"
#include "Tindrel/store/WarpMode.h"
#include "Tindrel/store/WarpScope.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace tindrel {

namespace platform {
class AudioFile;
class WorkHeartbeat;
class AudioPcmBuffer;
class AudioPlayerNode;
class TimePitchUnit;
} // namespace platform

class TindrelStore final : public QObject, public PublishedOwner {
    Q_OBJECT

public:
    using Path = std::filesystem::path;

    // The program's one store, built from TindrelStoreEnvironment::production() on first use.
    static TindrelStore& shared();
    // A store of its own for tests (and benchmarks): same construction as shared().
    explicit TindrelStore(TindrelStoreEnvironment environment);
    ~TindrelStore() override;
    TindrelStore(const TindrelStore&) = delete;
    TindrelStore& operator=(const TindrelStore&) = delete;

    // The 13 lower-case extensions the folder scan lists. Does not limit loadAndPlay().
    static const std::set<std::string>& supportedExtensions();

    // ---- Published state (start values as listed) ----
    Published<std::optional<Path>> currentURL{*this, std::nullopt}; // as the user chose it
    Published<Path> currentFolderURL{*this, Path()};                // home/Downloads
    Published<std::vector<Path>> folderHistory{*this, {}};
    Published<int> folderHistoryIndex{*this, -1};
    Published<std::vector<Path>> subfoldersInCurrentFolder{*this, {}};
    Published<std::optional<Path>> playableURL{*this, std::nullopt}; // the file actually read
    Published<std::optional<AudioFileSpec>> spec{*this, std::nullopt};
    Published<bool> isPlaying{*this, false};
    Published<double> currentTime{*this, 0.0};    // seconds
    Published<double> duration{*this, 0.0};       // seconds; 0 until a file is open
    Published<float> playbackRate{*this, 1.0f};   // 0.25 to 4
    Published<float> pitchSemitones{*this, 0.0f}; // -24 to +24
    Published<WarpMode> warpMode{*this, WarpMode::musical};
    Published<WarpScope> warpScope{*this, WarpScope::wholeTrack};
    Published<float> volume{*this, 1.0f}; // linear gain, 0 to 1.5
    Published<bool> isLoopEnabled{*this, false};
    Published<std::optional<double>> loopIn{*this, std::nullopt};  // seconds
    Published<std::optional<double>> loopOut{*this, std::nullopt}; // seconds
    Published<float> meterLeftDB{*this, -60.0f};
    Published<float> meterRightDB{*this, -60.0f};
    Published<std::vector<SiblingAudioEntry>> siblingFiles{*this, {}};
    Published<QString> siblingFilter{*this, QString()};
    Published<std::vector<Path>> recentFiles{*this, {}}; // newest first, at most 20
    Published<QString> statusBanner{*this, QStringLiteral("Ready")};
    Published<QString> pitchInputText{*this, QStringLiteral("0.0")};
    Published<QString> speedInputText{*this, QStringLiteral("1.00")};
    Published<bool> isRenamingCurrentFile{*this, false};
    Published<QString> renameDraftText{*this, QString()};
    Published<double> waveformZoom{*this, 1.0};       // 1 to 32
    Published<double> waveformCenterFrac{*this, 0.5}; // fraction of the file
    Published<bool> showTransientMarkers{*this, true};

    // ---- Plain callbacks (empty at start; calling an empty one does nothing) ----
    // After a load, each scheduling of the player, a pause, the end of a track, a published
    // analysis result and a successful rename.
    std::function<void()> onStatusChanged;
    // Only the mini player's "open window" button calls it.
    std::function<void()> onOpenMainWindowRequested;
    // Called every few tens of milliseconds while a decode (in loadAndPlay) or an export holds
    // the main thread, so the windows can be kept painted and input handled; store operations
    // called meanwhile are held at the gate. False stops that work at once, leaving nothing
    // half-made and the status line as it was before: the program is on its way out. Work that
    // has run for half a second shows in the status line ("Decoding <name>… 12 %").
    std::function<bool()> keepResponsiveDuringWork;

    // ---- Transport ----
    // Stops, clears the range, makes the file current and recent, lists its folder when needed,
    // opens it and plays (autoPlay) or stays loaded at 0. A folder is browsed instead (listed,
    // recorded in the history, its first audio file loaded without playing). Something that is
    // neither a folder nor a regular file fails with "Could not open ".
    void loadAndPlay(const Path& url, bool autoPlay = true);
    // Clamps into [0, duration - 0.01]; forcePlay none keeps the present play state.
    void seek(double seconds, std::optional<bool> forcePlay);
    void seekRelative(double deltaSeconds);
    void jumpToStart();
    void togglePlayPause();
    // Makes a default range when neither In nor Out is set, loops it and plays it.
    void playWarpedRange();
    // Stops long work in progress, the tick, the analysis, the player and the engine, and
    // writes unsaved recents. Safe to repeat.
    void stopAndCleanup();
    // The program is on its way out: long work in progress stops at its next turn, held calls
    // are dropped and no operation or delivery runs from now on. Ways out call it before
    // stopAndCleanup(), so that input that queued up meanwhile starts nothing more.
    void shutGate();

    // ---- Warp, speed, pitch, volume and range editing ----
    void setWarpMode(WarpMode mode);
    void setWarpScope(WarpScope scope);
    void setPlaybackRate(float rate);
    void setPitchSemitones(float semitones);
    // From where the pitch stands when the step runs.
    void stepPitchSemitones(float delta);
    // Parse pitchInputText / speedInputText (locale-free); on failure restore the text.
    void commitTypedPitch();
    void commitTypedSpeed();
    void setVolume(float gain);
    void setLoopInAtPlayhead();
    void setLoopOutAtPlayhead();
    void clearABLoop();
    // The two edges of a dragged range, in either order.
    void setRangeBounds(double start, double end);

    // ---- Derived range values and texts (recomputed on every read) ----
    bool hasActiveRange() const;
    double effectiveRangeStart() const;
    double effectiveRangeEnd() const;
    double rangeSourceDuration() const;
    double rangeWarpedDuration() const;
    QString warpedRangeSummaryText() const;
    // The status item's title: the (cut) file name, with "▶" and the loudness while playing.
    QString statusBarPillText() const;
    // "%d:%04.1f" minutes and seconds; negative or non-finite gives "0:00.0".
    static QString formatTime(double seconds);

    // ---- Offline export ----
    void exportModifiedAudioToWAV();

    // ---- Folders, siblings, history and recents ----
    void navigateToFolder(const Path& folder, bool recordHistory = true,
                          bool autoSelectFirst = false);
    void goBackFolder();
    void goForwardFolder();
    bool canGoBackFolder() const;
    bool canGoForwardFolder() const;
    std::vector<FolderAncestorItem> currentFolderAncestors() const;
    std::vector<SiblingAudioEntry> filteredSiblings() const;
    // Opens the previous (-1) or next (+1) entry of filteredSiblings(), wrapping at the ends;
    // counted from the file of a load held at the gate, if any.
    void stepSibling(int delta);

    // ---- File actions ----
    void beginRenameCurrentFile();
    void commitRenameCurrentFile();
    void copyFileToPasteboard();
    void revealInFinder();

    // ---- Default handler ----
    void makeTindrelDefaultForAllAudio();

    // ---- Zoom window and transient navigation ----
    double visibleFracSpan() const;
    double visibleStartFrac() const;
    double visibleEndFrac() const;
    double visibleStartSec() const;
    double visibleEndSec() const;
    void ensurePlayheadVisibleInZoomWindow();
    void zoomInWaveform();
    void zoomOutWaveform();
    void resetWaveformZoom();
    void panWaveform(double deltaFrac);
    void jumpToNextTransient(bool extendSelection = false);
    void jumpToPreviousTransient(bool extendSelection = false);

    void publishChange() override;

signals:
    // Some published field was assigned or changed in place.
    void changed();

private:
    friend class TindrelStoreProbe; // tests reach the engine side through it

    // Long work on the main thread: a decode or an export runs inside one of these scopes,
    // `activity` ("Decoding", "Exporting") and `name` say what it is in the status line.
    class SynchronousWorkScope {
    public:
        SynchronousWorkScope(TindrelStore& store, QString activity, QString name);
        ~SynchronousWorkScope();
        SynchronousWorkScope(const SynchronousWorkScope&) = delete;
        SynchronousWorkScope& operator=(const SynchronousWorkScope&) = delete;
        platform::WorkHeartbeat& heartbeat() { return *heartbeat_; }

    private:
        bool beat();
        void showProgress();

        TindrelStore& store_;
        QString activity_;
        QString name_;
        QString bannerBefore_;
        QString shownProgress_;
        std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
        std::unique_ptr<platform::WorkHeartbeat> heartbeat_;
    };
    // A load or an export: when it ends inside the event loop, the gate stays shut until the
    // input that queued up meanwhile has been handled, so that only its latest request runs.
    class LongOperation {
    public:
        explicit LongOperation(TindrelStore& store);
        ~LongOperation();
        LongOperation(const LongOperation&) = delete;
        LongOperation& operator=(const LongOperation&) = delete;

    private:
        TindrelStore& store_;
    };

    // The gate. True when the call of `operation` with `arguments` was held: in place of the
    // held call of the same operation, or, for a relative step, after it.
    enum class Held { replacingEarlier, asAStep };
    template <auto operation, Held held = Held::replacingEarlier, class... Arguments>
    bool heldAtGate(const Arguments&... arguments) {
        if (isGateOpen())
            return false;
        holdAtGate(
            gateKind<operation>(),
            [this, ... arguments = arguments] { (this->*operation)(arguments...); }, held);
        return true;
    }
    template <auto operation, class... Arguments>
    bool stepHeldAtGate(const Arguments&... arguments) {
        return heldAtGate<operation, Held::asAStep>(arguments...);
    }
    template <auto operation> static const void* gateKind() {
        static const char kind = 0;
        return &kind;
    }
    bool isGateOpen() const;
    void holdAtGate(const void* kind, std::function<void()> call, Held held);
    void settleAfterLongOperation();
    void releaseGate();
    bool isInSynchronousWork() const { return synchronousWorkDepth_ > 0; }

    // Construction; on the engine's building thread.
    void setupAudioEngine(platform::AudioEngine& engine);
    // The live engine and its nodes; the first use waits for the engine to be built.
    platform::AudioEngine& engine() const;
    platform::AudioPlayerNode& playerNode() const;
    platform::TimePitchUnit& timePitchNode() const;
    void receiveMeterLevels(float leftDB, float rightDB);

    // Transport
    void scheduleFromFrame(int64_t frame, bool autoPlay);
    // The frame a seek to `seconds` schedules from.
    int64_t seekFrame(double seconds) const;
    // Tells the engine where the loop wraps, so that its rendering, which runs ahead of what is
    // heard, wraps at Out itself; the tick's wrap then takes that over.
    void passLoopToEngine();
    double currentPlayheadSeconds() const;
    // Where the engine's rendering stands, ahead of what is heard.
    double renderedPlayheadSeconds() const;
    // The time in the file of `segmentFrames` into the playing segment; none when not playing
    // or not known.
    std::optional<double> secondsIntoPlayingSegment(std::optional<int64_t> segmentFrames) const;
    // `mayLoop` false ends the track even with looping on.
    void handleTrackReachedEnd(bool mayLoop = true);
    // Stops where the audio ran out, with a status line saying the file could not be read.
    void handleTrackReadFailure();
    void startUITimer();
    void tickPlayheadAndMeters();
    void advanceOneTick();
    void callStatusChanged();

    // Warp
    void applyWarpRateAndPitchParameters(std::optional<double> atPlayhead = std::nullopt);

    // Analysis
    void triggerFastWaveformAndLUFSAnalysis(const Path& originalURL, const Path& playableURL,
                                            int64_t fileSize, int originalBitDepth,
                                            double fallbackDuration);
    void publishMeasurement(const std::shared_ptr<std::atomic<bool>>& cancel,
                            const std::shared_ptr<std::optional<AudioFileSpec>>& result,
                            uint64_t generation);

    // Folders and recents
    void scanSiblingAudioFiles(const Path& folder);
    // Reads the recent files, and starts removing what killed exports left in their folders.
    void loadRecents();
    void addRecent(const Path& url);
    // Writes recentFiles to the settings, at most once a second: a later change within the
    // second is written when it is over, or by stopAndCleanup().
    void storeRecentPaths();
    void writeUnsavedRecentPaths();

    TindrelStoreEnvironment environment_;
    // isPlaying as the meter tap's worker may read it: levels taken while not playing would
    // only be dropped on the main thread, after waking it for nothing.
    std::atomic<bool> metersWanted_{false};
    mutable AudioEngineInBackground liveEngine_;
    // The tap's latest levels while playing, applied by the next tick.
    std::optional<OutputMeterLevels> pendingMeterLevels_;
    // While a tick runs, assignments are announced once, at its end.
    bool holdingChanges_ = false;
    bool changesHeld_ = false;

    std::unique_ptr<platform::AudioFile> audioFile_; // the open playable file
    std::optional<Path> audioSourceURL_;             // the source audioFile_ was opened for
    double fileSampleRate_ = 44100.0;                // Hz
    int64_t totalFrameCount_ = 0;
    int64_t scheduledStartFrame_ = 0;

    std::unique_ptr<AnalysisExecutor> analysisExecutor_;
    // Set to cancel the latest measurement; shared with its worker.
    std::shared_ptr<std::atomic<bool>> analysisCancel_;
    // Counts loads of existing paths; a measurement publishes only for the load that started it.
    uint64_t loadGeneration_ = 0;
    int synchronousWorkDepth_ = 0;
    int longOperationDepth_ = 0;
    // Shut after a long operation until the posted release runs.
    bool settling_ = false;
    bool releasePosted_ = false;
    bool shutDown_ = false;
    // stopAndCleanup() during long work: the work ends at its next turn.
    bool workStopRequested_ = false;
    struct HeldCall {
        const void* kind;
        std::function<void()> call;
    };
    std::vector<HeldCall> held_;
    // The file a held load names: steps through the folder count from it.
    std::optional<Path> heldLoadTarget_;

    bool recentPathsUnsaved_ = false;
    std::chrono::steady_clock::time_point recentPathsWritten_{};
    QTimer recentPathsWriteTimer_;
    // For a decoded copy: keeps it in the cache while audioFile_ plays it.
    platform::FileDescriptor audioFileHold_;
};

} // namespace tindrel
