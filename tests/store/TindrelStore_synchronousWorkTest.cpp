// Decodes and exports hold the main thread: the caller gets a turn at least every tenth of a
// second, can stop the work there without a trace, and no store work runs in its turns.

#include "Tindrel/analysis/PcmCache.h"
#include "tests/store_support/StoreTestRig.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/FolderListing.h"
#include "tests/support/GeneratedAudio.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <set>
#include <sys/stat.h>
#include <time.h>

namespace tindrel {

namespace {

namespace fs = std::filesystem;

// The main thread's own running time: what the work holds of it, whatever else the machine
// runs meanwhile (the tests run in parallel with others).
struct ThreadClock {
    using duration = std::chrono::nanoseconds;
    using time_point = std::chrono::time_point<ThreadClock>;
    static time_point now() {
        timespec spent{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &spent);
        return time_point(std::chrono::seconds(spent.tv_sec) +
                          std::chrono::nanoseconds(spent.tv_nsec));
    }
};
using Clock = ThreadClock;

struct LongWork {
    const char* name;
    // Sets the store up and returns the call that holds the main thread.
    std::function<std::function<void()>(test::StoreTestRig&)> prepare;
};

// Ten minutes of mono PCM in Matroska (quick to make): decoded through the transcoder into the
// cache as 48 kHz stereo.
std::function<void()> longDecode(test::StoreTestRig& rig) {
    const fs::path wav = rig.home() / "music" / "decode-source.wav";
    fs::create_directories(wav.parent_path());
    test::writeAudioFile(wav, test::sineSignal(440, 0.5, 600.0, 22050, 1));
    const fs::path mka = rig.home() / "music" / "long-decode.mka";
    if (!test::encodeWithFfmpeg(wav, mka, {"-c:a", "pcm_s16le"}))
        throw std::runtime_error("encode");
    fs::remove(wav);
    return [&rig, mka] { rig.store().loadAndPlay(mka, false); };
}

// Ten seconds through the stretcher: about a second of rendering.
std::function<void()> longExport(test::StoreTestRig& rig) {
    rig.loadTone("long-export.wav", 10.0, false);
    rig.store().setPlaybackRate(1.25f);
    return [&rig] { rig.store().exportModifiedAudioToWAV(); };
}

const LongWork works[] = {{"decode", longDecode}, {"export", longExport}};

bool measured(const TindrelStore& store) {
    return store.spec->has_value() && (*store.spec)->peaks.size() != 240;
}

} // namespace

TEST(StoreSynchronousWork, TheCallerGetsATurnAtLeastEveryTenthOfASecondAndNothingElseRuns) {
    for (const LongWork& work : works) {
        SCOPED_TRACE(work.name);
        test::StoreTestRig rig;
        TindrelStore& store = rig.store();
        const std::function<void()> run = work.prepare(rig);
        const QString statusBefore = store.statusBanner.get();

        const fs::path dropped = rig.writeTone("dropped.wav", 1.0);

        std::vector<std::pair<Clock::time_point, Clock::time_point>> turns;
        bool publishedInATurn = false;
        bool droppedInATurn = false;
        store.keepResponsiveDuringWork = [&] {
            const Clock::time_point start = Clock::now();
            // A measurement that finishes now is held back until the work is over, and so is a
            // file dropped on the window meanwhile.
            rig.analysis().runAll();
            publishedInATurn = publishedInATurn || measured(store);
            if (turns.empty())
                store.loadAndPlay(dropped, false);
            droppedInATurn = droppedInATurn || store.currentURL.get() == dropped;
            turns.emplace_back(start, Clock::now());
            return true;
        };
        const Clock::time_point begin = Clock::now();
        run();
        const Clock::time_point end = Clock::now();
        EXPECT_NE(store.statusBanner.get(), statusBefore);
        EXPECT_FALSE(store.statusBanner.get().contains(QStringLiteral("failed")));

        ASSERT_GE(turns.size(), 3u)
            << "the work took " << std::chrono::duration<double>(end - begin).count() << " s";
        std::chrono::duration<double, std::milli> longestHold{0};
        for (size_t i = 1; i < turns.size(); ++i)
            longestHold = std::max(longestHold, std::chrono::duration<double, std::milli>(
                                                    turns[i].first - turns[i - 1].second));
        EXPECT_LT(longestHold.count(), 100.0);
        EXPECT_FALSE(publishedInATurn);
        EXPECT_FALSE(droppedInATurn);
        // Done once the operation has returned to the event loop.
        rig.analysis().runAll();
        QCoreApplication::processEvents();
        EXPECT_EQ(store.currentURL.get(), dropped);
        rig.analysis().runAll();
        EXPECT_TRUE(measured(store));
    }
}

TEST(StoreSynchronousWork, AStopInTheCallersTurnEndsTheWorkWithoutATrace) {
    const fs::path cache = "/tmp/tindrel-pcm-cache";
    for (const LongWork& work : works) {
        SCOPED_TRACE(work.name);
        test::StoreTestRig rig;
        TindrelStore& store = rig.store();
        const std::function<void()> run = work.prepare(rig);
        const std::set<std::string> folderBefore =
            tindrel::test::folderListing(rig.home() / "music");
        const std::optional<fs::path> playableBefore = store.playableURL.get();

        int turns = 0;
        store.keepResponsiveDuringWork = [&] { return ++turns < 2; };
        run();
        EXPECT_EQ(turns, 2);
        // The status line never tells of the stopped work (the folder listing may).
        EXPECT_FALSE(store.statusBanner.get().contains(QStringLiteral("long-")))
            << store.statusBanner.get().toStdString();
        EXPECT_EQ(store.playableURL.get(), playableBefore);
        EXPECT_EQ(tindrel::test::folderListing(rig.home() / "music"), folderBefore);
        // No copy of this rig's source (other tests may decode files of the same name at once).
        struct stat source {};
        if (::stat((rig.home() / "music" / "long-decode.mka").c_str(), &source) == 0) {
            EXPECT_FALSE(
                fs::exists(cache / PcmCache::cacheFileName(rig.home() / "music" / "long-decode.mka",
                                                           PcmCache::SourceIdentity::of(source))));
        }
    }
}

} // namespace tindrel

namespace tindrel {

namespace {

// One kind of call that a posted event can make while the work holds the main thread: what
// it does, and whether that is to be seen in the store.
struct PostedCall {
    const char* name;
    std::function<void(test::StoreTestRig&, const std::filesystem::path& other)> make;
    std::function<bool(test::StoreTestRig&, const std::filesystem::path& other)> done;
};

const PostedCall postedCalls[] = {
    // Before the loads below: while nothing plays, each tick lowers the meters.
    {"the UI tick", [](test::StoreTestRig& rig, const fs::path&) { rig.ticker().fire(); },
     [](test::StoreTestRig& rig, const fs::path&) {
         return rig.store().meterLeftDB.get() < -10.0f;
     }},
    // Counted from the load held before it (a-first.wav is followed by b-other.wav); from the
    // file of the work it would go elsewhere.
    {"a step to the next file",
     [](test::StoreTestRig& rig, const fs::path&) { rig.store().stepSibling(1); },
     [](test::StoreTestRig& rig, const fs::path& other) {
         return rig.store().currentURL.get() == other;
     }},
    {"a speed from a key or a click",
     [](test::StoreTestRig& rig, const fs::path&) { rig.store().setPlaybackRate(2.0f); },
     [](test::StoreTestRig& rig, const fs::path&) {
         return rig.store().playbackRate.get() == 2.0f;
     }},
    {"a zoom", [](test::StoreTestRig& rig, const fs::path&) { rig.store().zoomInWaveform(); },
     [](test::StoreTestRig& rig, const fs::path&) { return rig.store().waveformZoom.get() > 1.0; }},
    {"an analysis result",
     [](test::StoreTestRig& rig, const fs::path&) { rig.analysis().runAll(); },
     [](test::StoreTestRig& rig, const fs::path&) { return measured(rig.store()); }},
};

} // namespace

TEST(StoreSynchronousWork, CallsPostedDuringTheWorkWaitUntilItEndsAndAWayOutEndsItAtOnce) {
    for (const LongWork& work : works) {
        for (const bool wayOut : {false, true}) {
            SCOPED_TRACE(std::string(work.name) + (wayOut ? ", then a way out" : ""));
            test::StoreTestRig rig;
            TindrelStore& store = rig.store();
            // Listed with the file of the work.
            const fs::path other = rig.writeTone("b-other.wav", 1.0);
            const fs::path first = rig.writeTone("a-first.wav", 1.0);
            const std::function<void()> run = work.prepare(rig);
            store.meterLeftDB = -10.0f;

            std::vector<fs::path> current;
            QObject::connect(&store, &TindrelStore::changed, [&] {
                if (store.currentURL->has_value() &&
                    (current.empty() || current.back() != **store.currentURL))
                    current.push_back(**store.currentURL);
            });
            // A load (handed over or dropped) that a later one replaces, then one call of each
            // kind.
            QMetaObject::invokeMethod(
                &store, [&] { store.loadAndPlay(first, false); }, Qt::QueuedConnection);
            for (const PostedCall& call : postedCalls)
                QMetaObject::invokeMethod(
                    &store, [&] { call.make(rig, other); }, Qt::QueuedConnection);
            if (wayOut)
                QMetaObject::invokeMethod(
                    &store,
                    [&] {
                        store.shutGate();
                        store.stopAndCleanup();
                    },
                    Qt::QueuedConnection);

            int turns = 0;
            QString statusBefore;
            std::set<std::string> doneInATurn;
            store.keepResponsiveDuringWork = [&] {
                if (++turns == 1)
                    statusBefore = store.statusBanner.get();
                QCoreApplication::processEvents();
                for (const PostedCall& call : postedCalls) {
                    if (call.done(rig, other))
                        doneInATurn.insert(call.name);
                }
                return true;
            };
            run();
            EXPECT_TRUE(doneInATurn.empty()) << *doneInATurn.begin();
            QCoreApplication::processEvents();
            rig.analysis().runAll();
            QCoreApplication::processEvents();
            EXPECT_EQ(std::count(current.begin(), current.end(), first), 0);
            if (wayOut) {
                EXPECT_LE(turns, 2);
                // As it was when the work began.
                EXPECT_EQ(store.statusBanner.get(), statusBefore);
            } else {
                EXPECT_GE(turns, 3);
            }
            for (const PostedCall& call : postedCalls)
                EXPECT_EQ(call.done(rig, other), !wayOut) << call.name;
        }
    }
}

} // namespace tindrel

namespace tindrel {

TEST(StoreSynchronousWork, StepsMadeDuringTheWorkAllCountInOrderAndRequestsCollapseToTheLatest) {
    test::StoreTestRig rig;
    TindrelStore& store = rig.store();
    const std::function<void()> run = longDecode(rig);
    // In the order pressed: every relative step counts once the decode is over; a seek or a
    // chosen speed replaces the one held before it, wherever that stood.
    const std::function<void()> presses[] = {
        [&] { store.stepPitchSemitones(1.0f); },  [&] { store.stepPitchSemitones(1.0f); },
        [&] { store.seek(100.0, std::nullopt); }, [&] { store.setPlaybackRate(1.5f); },
        [&] { store.zoomInWaveform(); },          [&] { store.stepPitchSemitones(1.0f); },
        [&] { store.seekRelative(2.0); },         [&] { store.seek(50.0, std::nullopt); },
        [&] { store.seekRelative(2.0); },         [&] { store.zoomInWaveform(); },
        [&] { store.setPlaybackRate(2.0f); },     [&] { store.stepPitchSemitones(-0.5f); },
    };
    for (const std::function<void()>& press : presses)
        QMetaObject::invokeMethod(&store, press, Qt::QueuedConnection);
    store.keepResponsiveDuringWork = [] {
        QCoreApplication::processEvents();
        return true;
    };
    run();
    EXPECT_EQ(store.pitchSemitones.get(), 0.0f);
    QCoreApplication::processEvents();
    EXPECT_EQ(store.pitchSemitones.get(), 2.5f);
    EXPECT_DOUBLE_EQ(store.currentTime.get(), 52.0);
    EXPECT_DOUBLE_EQ(store.waveformZoom.get(), 2.25);
    EXPECT_EQ(store.playbackRate.get(), 2.0f);
}

} // namespace tindrel
