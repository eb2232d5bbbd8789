#include "tests/store/StoreFixtures.h"
#include "tests/store_support/StoreTestRig.h"
#include "tests/support/ScopedLocale.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <fstream>

namespace tindrel {

namespace {

class StoreAnalysis : public ::testing::Test {
protected:
    test::StoreTestRig rig;
    TindrelStore& store = rig.store();
    std::filesystem::path a = test::writeToneFile(rig.root() / "m/a.wav", 1.0);
    std::filesystem::path b = test::writeToneFile(rig.root() / "m/b.wav", 2.0);
    int statusCalls = 0;

    void SetUp() override {
        store.onStatusChanged = [this] { ++statusCalls; };
    }
    bool measured() const { return store.spec->has_value() && (*store.spec)->peaks.size() != 240; }
};

} // namespace

TEST_F(StoreAnalysis, OnlyTheLatestLoadPublishesWhateverFinishesFirst) {
    store.loadAndPlay(a);
    store.loadAndPlay(b);
    ASSERT_EQ(rig.analysis().pendingCount(), 2u);
    statusCalls = 0;
    rig.analysis().runJob(0); // A finishes first: dropped
    EXPECT_FALSE(measured());
    EXPECT_EQ(statusCalls, 0);
    rig.analysis().runJob(0);
    ASSERT_TRUE(measured());
    EXPECT_EQ((*store.spec)->url, b);
    EXPECT_NEAR((*store.spec)->duration, 2.0, 1e-6);
    EXPECT_EQ(statusCalls, 1);

    // Reloading the same file while it is measured: only the second measurement counts.
    store.loadAndPlay(b);
    store.loadAndPlay(b);
    rig.analysis().runJob(0);
    EXPECT_FALSE(measured());
    rig.analysis().runJob(0);
    EXPECT_TRUE(measured());
}

TEST_F(StoreAnalysis, TheFormatNameStaysWhenTheMeasurementLands) {
    test::ScopedTurkishLocale turkish;
    for (const char* name : {"tone.wäv", "tone.aiff"}) {
        // Written as WAV, then named so: the readers go by content.
        const auto file = rig.root() / "m" / name;
        std::filesystem::rename(test::writeToneFile(rig.root() / "m/written.wav", 0.5), file);
        store.loadAndPlay(file);
        const std::string placeholder = (*store.spec)->formatName;
        rig.analysis().runAll();
        ASSERT_TRUE(measured()) << name;
        EXPECT_EQ((*store.spec)->formatName, placeholder) << name;
    }
    EXPECT_EQ((*store.spec)->formatName, "AIFF");
}

TEST_F(StoreAnalysis, AFailedLoadOrAShutdownDropsTheRunningMeasurement) {
    store.loadAndPlay(a);
    std::ofstream(rig.root() / "m/bad.wav") << "no audio";
    store.loadAndPlay(rig.root() / "m/bad.wav");
    rig.analysis().runAll();
    EXPECT_FALSE(measured());

    store.loadAndPlay(b);
    store.stopAndCleanup();
    rig.analysis().runAll();
    EXPECT_FALSE(measured());
}

TEST_F(StoreAnalysis, ARenameDuringTheMeasurementKeepsItsFigures) {
    store.loadAndPlay(a);
    rig.analysis().runWork();
    const auto renamed = rig.root() / "m/renamed.wav";
    std::filesystem::rename(a, renamed);
    store.currentURL = renamed; // as a successful rename leaves it
    rig.analysis().runAll();
    ASSERT_TRUE(measured());
    EXPECT_EQ((*store.spec)->url, renamed);
    EXPECT_EQ((*store.spec)->fileName, "renamed.wav");
}

TEST(StoreAnalysisThreads, ResultsArriveOnTheMainThreadAndQuitNeverWaitsLong) {
    test::TemporaryFolder folder;
    std::filesystem::create_directories(folder / "home");
    const auto shortFile = test::writeToneFile(folder / "m/short.wav", 1.0);
    const auto longFile = test::writeToneFile(folder / "m/long.wav", 60.0);
    test::ManualStoreParts parts;
    TindrelStoreEnvironment environment =
        test::manualStoreEnvironment(folder / "home", folder / "settings.ini", parts);
    environment.makeAnalysisExecutor = [](QObject* store) {
        return std::make_unique<ThreadAnalysisExecutor>(store);
    };
    auto store = std::make_unique<TindrelStore>(std::move(environment));
    bool published = false;
    store->onStatusChanged = [&] {
        published = store->spec->has_value() && (*store->spec)->peaks.size() != 240;
    };
    store->loadAndPlay(shortFile);
    while (!published)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ((*store->spec)->url, shortFile);

    // Quit while a long file is measured: the worker sees the cancel flag and the store's
    // destruction joins it.
    store->loadAndPlay(longFile);
    store->stopAndCleanup();
    store.reset();
}

} // namespace tindrel
