#include "tests/store_support/StoreTestRig.h"
#include "tests/support/DamagedAudioCorpus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace tindrel {

namespace {

bool finite(const std::vector<float>& values) {
    return std::all_of(values.begin(), values.end(), [](float v) { return std::isfinite(v); });
}

// What the views may show after any input: a status line, and every figure finite and in range.
void expectSaneState(test::StoreTestRig& rig) {
    TindrelStore& store = rig.store();
    const QString status = store.statusBanner;
    EXPECT_FALSE(status.isEmpty());
    EXPECT_FALSE(status.startsWith("Playing ") && !store.isPlaying.get()) << status.toStdString();
    if (rig.engineStarted() && store.isPlaying) {
        EXPECT_TRUE(finite(rig.play(1.0)));
    }
    rig.analysis().runAll();
    EXPECT_TRUE(std::isfinite(store.duration.get()));
    EXPECT_GE(store.currentTime.get(), 0.0);
    EXPECT_LE(store.currentTime.get(), store.duration.get());
    EXPECT_TRUE(std::isfinite(store.meterLeftDB.get()) && std::isfinite(store.meterRightDB.get()));
    if (const auto& spec = store.spec.get()) {
        EXPECT_TRUE(finite({spec->lufsIntegrated, spec->lufsShortTermMax, spec->truePeakDBTP,
                            spec->rmsDB, spec->crestDB}));
        EXPECT_TRUE(finite(spec->peaks) && finite(spec->rmsEnvelope));
        EXPECT_TRUE(std::isfinite(spec->duration) && spec->duration >= 0);
    }
}

} // namespace

// Each input either plays what it holds or gives a status line, and the next start, which
// reopens the newest recent file, copes with it as well.
TEST(StoreDamagedFiles, EveryInputEndsInAStatusLineOrPlaysAndTheNextStartCopes) {
    test::StoreTestRig rig;
    const auto folder = rig.root() / "corpus";
    std::filesystem::create_directories(folder);
    const auto corpus = test::writeDamagedAudioCorpus(folder, TindrelStore::supportedExtensions());
    for (const auto& path : corpus) {
        SCOPED_TRACE(path.filename().string());
        rig.store().loadAndPlay(path);
        const QString status = rig.store().statusBanner;
        EXPECT_TRUE(status.startsWith("Could not open ") || status.startsWith("Playing ") ||
                    std::filesystem::is_directory(path))
            << status.toStdString();
        expectSaneState(rig);

        rig.restartStore();
        rig.store().togglePlayPause();
        expectSaneState(rig);
    }
}

} // namespace tindrel
