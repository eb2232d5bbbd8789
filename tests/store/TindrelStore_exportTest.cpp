#include "Tindrel/platform/files/UnpublishedFile.h"
#include "tests/store/StoreFixtures.h"
#include "tests/store_support/StoreTestRig.h"
#include "tests/support/ExternalEncoder.h"
#include "tests/support/FileText.h"
#include "tests/support/GeneratedAudio.h"
#include "tests/support/OggPages.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <fstream>
#include <functional>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using tindrel::test::readFileText;
using tindrel::test::StoreTestRig;

namespace {

constexpr int64_t sourceFrames = 88200; // 2 s at 44.1 kHz

std::set<std::string> folderListing(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

double rmsDb(const tindrel::test::Signal& signal, double fromSeconds, double toSeconds) {
    const int64_t from = static_cast<int64_t>(fromSeconds * signal.sampleRate);
    const int64_t to =
        std::min(signal.frames(), static_cast<int64_t>(toSeconds * signal.sampleRate));
    double sum = 0;
    for (int64_t frame = from; frame < to; ++frame)
        sum += signal.at(frame, 0) * signal.at(frame, 0);
    return 10 *
           std::log10(std::max(1e-12, sum / static_cast<double>(std::max<int64_t>(1, to - from))));
}

class ExportTest : public testing::Test {
protected:
    ExportTest() { store.loadAndPlay(source, false); }
    std::filesystem::path folder() const { return rig.home() / "music"; }
    QString status() { return store.statusBanner.get(); }

    StoreTestRig rig;
    tindrel::TindrelStore& store = rig.store();
    std::filesystem::path source = rig.writeTone("tone.wav", 2.0);
};

TEST_F(ExportTest, writesFloatWavOfTheWarpedLengthBesideTheSource) {
    struct Case {
        float rate;
        const char* name;
        int64_t frames;
        const char* status;
    };
    const Case cases[] = {
        {1.0f, "tone_modified.wav", sourceFrames, "Exported Modified: tone_modified.wav (0:02.0)"},
        {2.0f, "tone_modified_2x.wav", sourceFrames / 2,
         "Exported Modified: tone_modified_2x.wav (0:01.0)"},
        {0.25f, "tone_modified_0.25x.wav", sourceFrames * 4,
         "Exported Modified: tone_modified_0.25x.wav (0:08.0)"},
    };
    for (const Case& c : cases) {
        store.setPlaybackRate(c.rate);
        store.exportModifiedAudioToWAV();
        const std::filesystem::path output = folder() / c.name;
        EXPECT_EQ(status(), c.status);

        SF_INFO info{};
        SNDFILE* file = sf_open(output.c_str(), SFM_READ, &info);
        ASSERT_NE(file, nullptr) << c.name;
        sf_close(file);
        EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_FLOAT) << c.name;
        EXPECT_EQ(info.channels, 2);
        EXPECT_EQ(info.samplerate, 44100);
        EXPECT_EQ(info.frames, c.frames) << c.name;

        // Aligned and complete: the tone fills the output from its first to its last tenth
        // of a second (a 0.5 sine is about -9 dB).
        const tindrel::test::Signal audio = tindrel::test::readAudioFile(output);
        const double seconds = static_cast<double>(c.frames) / 44100;
        EXPECT_NEAR(rmsDb(audio, 0.0, 0.1), -9.03, 1.5) << c.name;
        EXPECT_NEAR(rmsDb(audio, seconds - 0.1, seconds), -9.03, 1.5) << c.name;

        ASSERT_FALSE(rig.revealer().revealedFiles.empty());
        EXPECT_EQ(rig.revealer().revealedFiles.back(), std::vector<std::filesystem::path>{output});
        const auto& siblings = store.siblingFiles.get();
        EXPECT_TRUE(std::any_of(siblings.begin(), siblings.end(), [&](const auto& entry) {
            return entry.url == output;
        })) << c.name;
    }
}

TEST_F(ExportTest, rangeAndPitchGoIntoNameAndLength) {
    store.setWarpMode(tindrel::WarpMode::beats);
    store.setPitchSemitones(3);
    store.setRangeBounds(0.5, 1.5);
    store.exportModifiedAudioToWAV();
    const tindrel::test::Signal audio =
        tindrel::test::readAudioFile(folder() / "tone_modified_0-1s_+3.0st.wav");
    EXPECT_EQ(audio.frames(), 44100);
    EXPECT_NEAR(rmsDb(audio, 0.0, 0.1), -9.03, 1.5);
}

TEST_F(ExportTest, aRangeOfAnMp3StartsWithItsAudio) {
    // The range is read from a seek into the middle of the stream.
    store.loadAndPlay(tindrel::test::writeMp3ToneFile(folder() / "held.mp3", 3.0), false);
    store.setRangeBounds(1.5, 2.5);
    store.exportModifiedAudioToWAV();
    const tindrel::test::Signal audio =
        tindrel::test::readAudioFile(folder() / "held_modified_1-2s.wav");
    ASSERT_EQ(audio.frames(), 44100);
    EXPECT_GE(tindrel::test::quietestLevelDb(audio.samples, audio.channels),
              tindrel::test::mp3ToneLevelDb - 1);
}

TEST_F(ExportTest, aFailedExportLeavesTheOldFileAndNothingElse) {
    const std::string earlier = "an earlier export";
    std::ofstream(folder() / "tone_modified.wav") << earlier;
    const std::set<std::string> before = folderListing(folder());

    // Writes beyond 64 KiB fail (EFBIG instead of the signal) while the limit holds.
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 64 * 1024;
    setrlimit(RLIMIT_FSIZE, &small);
    store.exportModifiedAudioToWAV();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_TRUE(status().startsWith("Export Modified failed: ")) << status().toStdString();
    EXPECT_EQ(readFileText(folder() / "tone_modified.wav"), earlier);
    EXPECT_EQ(folderListing(folder()), before);
    EXPECT_TRUE(rig.revealer().revealedFiles.empty());
}

TEST_F(ExportTest, theNextStartRemovesWhatAnExportKilledAtItsLastStepLeft) {
    // Killed with the complete file under its hidden name, its rename over the name still to
    // come, as the last step of an export leaves it.
    const auto leaveKilledExport = [](const std::filesystem::path& into) {
        const pid_t writer = fork();
        if (writer == 0) {
            auto file = tindrel::platform::UnpublishedFile::create(into, 0666, nullptr);
            if (file && ::write(file->descriptor(), "RIFF", 4) == 4)
                file->publishUnderHiddenName(nullptr);
            raise(SIGKILL);
        }
        int status = 0;
        waitpid(writer, &status, 0);
    };
    const auto hidden = [](const std::filesystem::path& in) {
        std::set<std::string> names;
        for (const std::string& name : folderListing(in))
            if (tindrel::platform::UnpublishedFile::isLeftoverName(name))
                names.insert(name);
        return names;
    };
    // No file the program knows lies here.
    const std::filesystem::path elsewhere = rig.home() / "elsewhere";
    std::filesystem::create_directories(elsewhere);
    leaveKilledExport(folder());
    leaveKilledExport(elsewhere);
    const std::set<std::string> left = hidden(folder());
    ASSERT_EQ(left.size(), 1u);
    ASSERT_EQ(hidden(elsewhere).size(), 1u);
    std::set<std::string> usersFiles = folderListing(folder());
    usersFiles.erase(*left.begin());

    rig.restartStore();
    const auto waited = std::chrono::steady_clock::now();
    while (!hidden(folder()).empty() &&
           std::chrono::steady_clock::now() - waited < std::chrono::seconds(20))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(folderListing(folder()), usersFiles);
    EXPECT_EQ(hidden(elsewhere).size(), 1u);
}

TEST_F(ExportTest, replacesOnlyAnEarlierExportOfTheSameAudioWithTheSameSettings) {
    const auto exportAt = [&](float rate) {
        store.setPlaybackRate(rate);
        store.exportModifiedAudioToWAV();
    };
    struct Case {
        const char* name;
        std::function<void()> before;
        float rate;
        const char* written;
        std::set<std::string> listing;
    };
    const Case cases[] = {
        {"a file of the user's",
         [&] { std::ofstream(folder() / "tone_modified.wav") << "mine"; },
         1.0f,
         "tone_modified (2).wav",
         {"tone_modified.wav", "tone_modified (2).wav"}},
        {"a folder",
         [&] { std::filesystem::create_directory(folder() / "tone_modified.wav"); },
         1.0f,
         "tone_modified (2).wav",
         {"tone_modified.wav", "tone_modified (2).wav"}},
        {"the same export",
         [&] { exportAt(1.0f); },
         1.0f,
         "tone_modified.wav",
         {"tone_modified.wav"}},
        // Editors that keep a file's metadata keep its mark too.
        {"the same export, its samples edited in place",
         [&] {
             exportAt(1.0f);
             std::fstream edited(folder() / "tone_modified.wav",
                                 std::ios::in | std::ios::out | std::ios::binary);
             edited.seekp(-4000, std::ios::end);
             edited.write(std::string(4, '\0').data(), 4);
         },
         1.0f,
         "tone_modified (2).wav",
         {"tone_modified.wav", "tone_modified (2).wav"}},
        {"a file of the user's that carries the mark",
         [&] {
             exportAt(1.0f);
             std::filesystem::resize_file(
                 folder() / "tone_modified.wav",
                 std::filesystem::file_size(folder() / "tone_modified.wav") / 2);
         },
         1.0f,
         "tone_modified (2).wav",
         {"tone_modified.wav", "tone_modified (2).wav"}},
        // 1.2x and 1.25x share a name.
        {"another speed",
         [&] { exportAt(1.2f); },
         1.25f,
         "tone_modified_1.2x (2).wav",
         {"tone_modified_1.2x.wav", "tone_modified_1.2x (2).wav"}},
        {"that speed again",
         [&] {
             exportAt(1.2f);
             exportAt(1.25f);
         },
         1.25f,
         "tone_modified_1.2x (2).wav",
         {"tone_modified_1.2x.wav", "tone_modified_1.2x (2).wav"}},
        {"another file of the base name",
         [&] {
             exportAt(1.0f);
             store.loadAndPlay(rig.writeTone("tone.aiff", 2.0), false);
         },
         1.0f,
         "tone_modified (2).wav",
         {"tone.aiff", "tone_modified.wav", "tone_modified (2).wav"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& entry : std::filesystem::directory_iterator(folder()))
            if (entry.path() != source)
                std::filesystem::remove_all(entry.path());
        store.loadAndPlay(source, false);
        c.before();
        const std::string mine = std::filesystem::is_regular_file(folder() / "tone_modified.wav")
                                     ? readFileText(folder() / "tone_modified.wav")
                                     : "";
        exportAt(c.rate);

        EXPECT_EQ(status().toStdString(), std::string("Exported Modified: ") + c.written +
                                              (c.rate == 1.0f ? " (0:02.0)" : " (0:01.6)"));
        EXPECT_EQ(rig.revealer().revealedFiles.back(),
                  std::vector<std::filesystem::path>{folder() / c.written});
        std::set<std::string> expected = c.listing;
        expected.insert("tone.wav");
        EXPECT_EQ(folderListing(folder()), expected);
        if (std::string(c.written) != "tone_modified.wav" && !mine.empty()) {
            EXPECT_EQ(readFileText(folder() / "tone_modified.wav"), mine);
        }
    }
}

TEST_F(ExportTest, theNameGivesThePitchThatIsHeard) {
    struct Case {
        tindrel::WarpMode mode;
        float rate, pitch;
        const char* name;
    };
    const Case cases[] = {
        {tindrel::WarpMode::tape, 2.0f, 0.0f, "tone_modified_2x_+12.0st.wav"},
        {tindrel::WarpMode::tape, 1.5f, -5.0f, "tone_modified_1.5x_+7.0st.wav"},
        {tindrel::WarpMode::tape, 1.0f, 3.0f, "tone_modified.wav"},
        {tindrel::WarpMode::tape, 0.5f, 3.0f, "tone_modified_0.5x_-12.0st.wav"},
        {tindrel::WarpMode::musical, 1.5f, -5.0f, "tone_modified_1.5x_-5.0st.wav"},
    };
    for (const Case& c : cases) {
        // Tape keeps the pitch set before it until speed or pitch is touched again.
        store.setWarpMode(tindrel::WarpMode::musical);
        store.setPlaybackRate(c.rate);
        store.setPitchSemitones(c.pitch);
        store.setWarpMode(c.mode);
        store.exportModifiedAudioToWAV();
        EXPECT_TRUE(status().startsWith(QStringLiteral("Exported Modified: ") + c.name))
            << status().toStdString();
    }
}

TEST_F(ExportTest, rendersNoFurtherThanTheAudioTheSourceHolds) {
    // A Vorbis file whose last granule position claims 6925 hours.
    const std::filesystem::path honest = folder() / "honest.ogg";
    ASSERT_TRUE(tindrel::test::encodeWithFfmpeg(source, honest, {"-c:a", "libvorbis"}));
    std::ofstream(folder() / "lying.ogg", std::ios::binary)
        << tindrel::test::withLastGranulePosition(readFileText(honest), uint64_t(1) << 40);
    std::filesystem::remove(honest);
    store.loadAndPlay(folder() / "lying.ogg", false);
    EXPECT_EQ(status(), "Loaded lying.ogg (0:02.0)");
    store.exportModifiedAudioToWAV();
    EXPECT_EQ(status(), "Exported Modified: lying_modified.wav (0:02.0)");

    // Audio that is gone by the time of the export (the file was cut after it was opened) is
    // not made up with silence.
    store.loadAndPlay(source, false);
    std::filesystem::resize_file(source, std::filesystem::file_size(source) / 2);
    store.exportModifiedAudioToWAV();
    EXPECT_TRUE(status().startsWith("Export Modified failed: ")) << status().toStdString();
    EXPECT_FALSE(std::filesystem::exists(folder() / "tone_modified.wav"));
}

TEST_F(ExportTest, afterAFailedLoadTheOldAudioIsNotExportedUnderTheNewName) {
    std::ofstream(folder() / "broken.wav") << "not audio at all";
    store.loadAndPlay(folder() / "broken.wav", false);
    ASSERT_TRUE(status().startsWith("Could not open broken.wav")) << status().toStdString();
    store.exportModifiedAudioToWAV();
    EXPECT_TRUE(status().startsWith("Export Modified failed: ")) << status().toStdString();
    EXPECT_FALSE(std::filesystem::exists(folder() / "broken_modified.wav"));
}

TEST_F(ExportTest, refusesATooShortRangeAndDoesNothingWithoutAFile) {
    store.setRangeBounds(0.0, 0.05);
    store.exportModifiedAudioToWAV();
    EXPECT_EQ(status(), "Select a valid range (> 0.05s) before exporting");

    StoreTestRig empty;
    empty.store().exportModifiedAudioToWAV();
    EXPECT_EQ(empty.store().statusBanner.get(), "Ready");
    EXPECT_TRUE(empty.revealer().revealedFiles.empty());
}

} // namespace

namespace {

float largestMagnitude(const std::vector<float>& samples) {
    float largest = 0;
    for (float s : samples)
        largest = std::isfinite(s) ? std::max(largest, std::fabs(s)) : INFINITY;
    return largest;
}

} // namespace

// Samples no recording holds are silence everywhere: in the measurement, in what is played
// (and metered) and in the export.
TEST(ExportDamagedSamples, implausibleSamplesAreSilenceInMeasurementPlaybackAndExport) {
    struct Case {
        const char* name;
        float odd, even;
    };
    const Case cases[] = {
        {"non-finite", NAN, INFINITY},
        {"float extremes", 3.4e38f, -3.4e38f},
        {"far beyond full scale", 1e6f, -40000.0f},
    };
    for (const Case& c : cases) {
        StoreTestRig rig;
        tindrel::TindrelStore& store = rig.store();
        tindrel::test::Signal signal = tindrel::test::sineSignal(440, 0.5, 2.0);
        for (size_t i = 0; i < signal.samples.size(); i += 97)
            signal.samples[i] = i % 2 ? c.odd : c.even;
        const auto path = rig.home() / "music" / "poisoned.wav";
        std::filesystem::create_directories(path.parent_path());
        tindrel::test::writeAudioFile(path, signal, tindrel::test::SampleEncoding::Float32);

        store.loadAndPlay(path);
        rig.analysis().runAll();
        ASSERT_TRUE(store.spec.get());
        EXPECT_NEAR(store.spec.get()->rmsDB, -9.03, 1.0) << c.name;
        store.setWarpMode(tindrel::WarpMode::musical);
        store.setPlaybackRate(1.5f);
        EXPECT_LT(largestMagnitude(rig.play(1.0)), 2.0f) << c.name;

        store.exportModifiedAudioToWAV();
        EXPECT_EQ(store.statusBanner.get(),
                  "Exported Modified: poisoned_modified_1.5x.wav (0:01.3)")
            << c.name;
        const auto exported =
            tindrel::test::readAudioFile(rig.home() / "music" / "poisoned_modified_1.5x.wav");
        EXPECT_EQ(exported.frames(), 58800) << c.name;
        EXPECT_LT(largestMagnitude(exported.samples), 2.0f) << c.name;
        EXPECT_NEAR(rmsDb(exported, 0.1, 1.2), -9.03, 1.5) << c.name;
    }
}
