#include "tests/store/StoreFixtures.h"
#include "tests/store_support/StoreTestRig.h"
#include "tests/store_support/TindrelStoreProbe.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace tindrel {

TEST(TindrelStore, ConstructionOnlyNamesDownloadsAndStartsTheTick) {
    test::StoreTestRig rig;
    TindrelStore& store = rig.store();
    EXPECT_EQ(store.statusBanner.get(), "Ready");
    // Downloads is only named: not listed, not in the history.
    EXPECT_EQ(store.currentFolderURL.get(), rig.home() / "Downloads");
    EXPECT_TRUE(store.siblingFiles->empty());
    EXPECT_TRUE(store.folderHistory->empty());
    EXPECT_TRUE(rig.ticker().isRunning());
    EXPECT_EQ(rig.ticker().interval(), std::chrono::milliseconds(33));
    EXPECT_EQ(TindrelStoreProbe::timePitch(store), neutralTimePitchSettings);
}

TEST(TindrelStore, EveryAssignmentPublishesEvenWhenEqual) {
    test::StoreTestRig rig;
    TindrelStore& store = rig.store();
    int changes = 0;
    QObject::connect(&store, &TindrelStore::changed, [&] { ++changes; });
    store.isLoopEnabled = false;
    store.statusBanner = store.statusBanner.get();
    store.recentFiles.mutate([](std::vector<std::filesystem::path>&) {});
    EXPECT_EQ(changes, 3);
}

TEST(TindrelStore, MetersTakeTapLevelsOnlyWhilePlayingAndSinkOtherwise) {
    test::StoreTestRig rig;
    TindrelStore& store = rig.store();
    store.loadAndPlay(test::writeToneFile(rig.root() / "m/tone.wav", 2.0));
    ASSERT_TRUE(store.isPlaying.get());
    // The levels show with the next tick, which announces all it moved as one change.
    TindrelStoreProbe::receiveMeterLevels(store, -10.0f, -12.0f);
    EXPECT_EQ(store.meterLeftDB.get(), -60.0f);
    int tickChanges = 0;
    const auto counting = QObject::connect(&store, &TindrelStore::changed, [&] { ++tickChanges; });
    rig.ticker().fire();
    QObject::disconnect(counting);
    EXPECT_EQ(tickChanges, 1);
    EXPECT_EQ(store.meterLeftDB.get(), -10.0f);
    EXPECT_EQ(store.meterRightDB.get(), -12.0f);

    store.togglePlayPause();
    // Levels that arrive after the pause are dropped.
    TindrelStoreProbe::receiveMeterLevels(store, 0.0f, 0.0f);
    EXPECT_EQ(store.meterLeftDB.get(), -10.0f);
    rig.ticker().fire(19);
    EXPECT_FLOAT_EQ(store.meterLeftDB.get(), -57.5f);
    rig.ticker().fire();
    EXPECT_FLOAT_EQ(store.meterLeftDB.get(), -60.0f);
    rig.ticker().fire(5);
    EXPECT_FLOAT_EQ(store.meterLeftDB.get(), -60.0f);
    EXPECT_FLOAT_EQ(store.meterRightDB.get(), -60.0f);
    // At rest the ticks announce nothing, so no view wakes up for them.
    int changes = 0;
    QObject::connect(&store, &TindrelStore::changed, [&] { ++changes; });
    rig.ticker().fire(30);
    EXPECT_EQ(changes, 0);
}

TEST(TindrelStore, MetersFollowTheOutputTap) {
    test::StoreTestRig rig;
    TindrelStore& store = rig.store();
    store.loadAndPlay(test::writeToneFile(rig.root() / "m/tone.wav", 2.0));
    rig.play(0.2);
    // The tap's worker posts the levels to the main thread; a tick shows them.
    for (int i = 0; i < 2000 && store.meterLeftDB.get() <= -60.0f; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        QCoreApplication::processEvents();
        rig.ticker().fire();
    }
    // A 0.25 sine: RMS 0.177, about -15 dB.
    EXPECT_NEAR(store.meterLeftDB.get(), -15.05f, 0.5f);
    EXPECT_NEAR(store.meterRightDB.get(), -15.05f, 0.5f);
}

} // namespace tindrel
