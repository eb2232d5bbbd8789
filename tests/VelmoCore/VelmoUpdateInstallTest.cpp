#include "Tindrel/VelmoCore/VelmoBundleArchive.h"
#include "Tindrel/VelmoCore/VelmoFolderLock.h"
#include "Tindrel/VelmoCore/VelmoUpdateBannerView.h"
#include "Tindrel/VelmoCore/VelmoUpdateRow.h"
#include "Tindrel/VelmoCore/VelmoUpdateStore.h"
#include "Tindrel/VelmoCore/VelmoVersionsManifest.h"
#include "Tindrel/VelmoCore/VelmoWorkFolderMark.h"
#include "tests/VelmoCore/BundleZip.h"
#include "tests/VelmoCore/LocalReleaseServer.h"
#include "tests/VelmoCore/UpdateTestEnvironment.h"
#include "tests/support/TemporaryFolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include <sys/stat.h>

using namespace velmo;
using velmo::test::LocalReleaseServer;
using velmo::test::RecordedEffects;
using velmo::test::ZipEntry;
namespace fs = std::filesystem;

namespace {

const QString zipPath = QStringLiteral("/downloads/tindrel-2.0.zip");

std::string readText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every file, folder and link below `folder` with its content (or target) and permissions.
std::map<std::string, std::string> snapshot(const fs::path& folder) {
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = fs::relative(entry.path(), folder).string();
        const auto perms = std::to_string(static_cast<int>(entry.symlink_status().permissions()));
        if (entry.is_symlink())
            entries[name] = "link " + fs::read_symlink(entry.path()).string();
        else if (entry.is_regular_file())
            entries[name] = perms + " " + readText(entry.path());
        else
            entries[name] = perms + " folder";
    }
    return entries;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

class UpdateInstall : public testing::Test {
protected:
    UpdateInstall() {
        fs::create_directories(apps);
        fs::create_directories(temporary);
        test::writeEntries(apps, test::fakeBundle("Tindrel.app", "old"));
        before = snapshot(bundle);
    }

    // A store that has just learnt of release 2.0 with this download address.
    std::unique_ptr<VelmoUpdateStore> outOfDateStore(const QString& downloadURL,
                                                     bool fromBundle = true) {
        VelmoVersionsManifest manifest;
        manifest.products[QStringLiteral("tindrel")] = {
            QStringLiteral("2.0"), QStringLiteral("Notes"), downloadURL, std::nullopt};
        server.serve(QStringLiteral("/releases/versions.json"), 200, manifest.encode());
        environment.releaseHost = server.origin();
        environment.extraCaCertificates = server.caCertificates();
        environment.bundleLocation = fromBundle ? std::optional(bundle) : std::optional<fs::path>();
        environment.relaunchEnvironment[QStringLiteral("VELMO_TEST_RECORD")] =
            QString::fromStdString(record.string());
        auto store =
            std::make_unique<VelmoUpdateStore>(QStringLiteral("tindrel"), QStringLiteral("Tindrel"),
                                               QStringLiteral("1.0"), environment);
        EXPECT_TRUE(test::waitFor(*store, &VelmoUpdateStore::checkFinished));
        EXPECT_TRUE(store->isOutOfDate());
        return store;
    }

    void install(VelmoUpdateStore& store) {
        QSignalSpy finished(&store, &VelmoUpdateStore::installFinished);
        QList<bool> installing;
        QObject::connect(&store, &VelmoUpdateStore::changed,
                         [&] { installing << store.installingUpdate(); });
        store.downloadAndInstallUpdate();
        ASSERT_TRUE(finished.size() == 1 || finished.wait(20000));
        EXPECT_FALSE(store.installingUpdate());
        sawInstalling = installing.contains(true);
    }

    // The relaunched program writes its record after this process has handed over.
    std::string awaitRecord() {
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 30000) {
            const std::string text = readText(record);
            if (text.find("--background") != std::string::npos)
                return text;
            // Lets QProcess reap the stopped stand-in, which the relaunch waits to see gone.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            QThread::msleep(20);
        }
        return readText(record);
    }

    // The relaunch removes the old program after the new one has said it is up.
    void awaitOnlyTheBundle() {
        EXPECT_TRUE(QTest::qWaitFor([&] { return namesIn(apps).size() == 1; }, 20000));
    }

    // Stands in for the running program: the relaunch must stop it before swapping.
    void startStandIn() {
        standIn.start(QStringLiteral("sleep"), {QStringLiteral("300")});
        ASSERT_TRUE(standIn.waitForStarted());
        environment.runningProcessId = standIn.processId();
    }

    tindrel::test::TemporaryFolder root;
    // A path a shell would misread without quoting: spaces, quotes, $ and a back-quote.
    const fs::path apps = root / "Apps \"q\" $HOME `touch pwned` 'x'";
    const fs::path bundle = apps / "Tindrel.app";
    const fs::path temporary = root / "tmp";
    const fs::path record = root / "record.txt";
    LocalReleaseServer server;
    RecordedEffects effects;
    VelmoUpdateEnvironment environment = test::testEnvironment({}, effects, temporary);
    std::map<std::string, std::string> before;
    QProcess standIn;
    bool sawInstalling = false;
};

TEST_F(UpdateInstall, SwapsInTheNewProgramWithTheInstallersModesAndRelaunchesIt) {
    // Modes any local user could write through, set-id bits, folders the archive never lists
    // (made under a umask that leaves them group-writable) and a link that stays inside.
    std::vector<ZipEntry> release = test::fakeBundle("Tindrel.app", "new");
    release[0].mode = 0777;
    release[2].mode = 06777;
    release[4].mode = 0666;
    release.push_back({"Tindrel.app/lib/deep/data.txt", ZipEntry::Kind::file, "d", 0602});
    release.push_back({"Tindrel.app/share/current", ZipEntry::Kind::symlink, "../lib/deep"});
    std::vector<ZipEntry> installed = test::fakeBundle("Tindrel.app", "new");
    // As deep as a name may be: 64 parts.
    std::string deep = "Tindrel.app";
    for (int level = 0; level < 62; ++level) {
        deep += "/d";
        installed.push_back({deep + "/", ZipEntry::Kind::folder, {}, 0755});
    }
    release.push_back({deep + "/leaf.txt", ZipEntry::Kind::file, "deep", 0644});
    installed.push_back({deep + "/leaf.txt", ZipEntry::Kind::file, "deep", 0644});
    installed.push_back({"Tindrel.app/lib/", ZipEntry::Kind::folder, {}, 0755});
    installed.push_back({"Tindrel.app/lib/deep/", ZipEntry::Kind::folder, {}, 0755});
    installed.push_back({"Tindrel.app/lib/deep/data.txt", ZipEntry::Kind::file, "d", 0644});
    installed.push_back({"Tindrel.app/share/current", ZipEntry::Kind::symlink, "../lib/deep"});
    // Data that does not compress, as a real program has: its folders' blocks fit its bound.
    QByteArray noise(32 * 1024, Qt::Uninitialized);
    QRandomGenerator(5).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    release.push_back({"Tindrel.app/share/noise", ZipEntry::Kind::file, noise, 0644});
    installed.push_back({"Tindrel.app/share/noise", ZipEntry::Kind::file, noise, 0644});
    server.serve(zipPath, 200, test::zipArchive(release));
    startStandIn();
    auto store = outOfDateStore(server.origin() + zipPath);
    // The relaunched program must not inherit the switches this one was started with.
    qputenv("VELMO_SIMULATE_OUT_OF_DATE", "1");
    qputenv("VELMO_UPDATE_FAILED", "earlier");
    const mode_t umaskBefore = umask(002);
    install(*store);
    umask(umaskBefore);
    qunsetenv("VELMO_SIMULATE_OUT_OF_DATE");
    qunsetenv("VELMO_UPDATE_FAILED");

    EXPECT_TRUE(sawInstalling);
    EXPECT_EQ(store->updateStatusText(), QStringLiteral("Installing v2.0 & relaunching..."));
    EXPECT_EQ(effects.terminations, 1);
    EXPECT_TRUE(effects.opened.isEmpty());
    EXPECT_EQ(awaitRecord(), "new\n--background\n");
    awaitOnlyTheBundle();
    EXPECT_TRUE(standIn.state() == QProcess::NotRunning || standIn.waitForFinished(10000));
    fs::create_directories(root / "expected");
    test::writeEntries(root / "expected", installed);
    EXPECT_EQ(snapshot(bundle), snapshot(root / "expected" / "Tindrel.app"));
    EXPECT_EQ(namesIn(apps), std::vector<std::string>{"Tindrel.app"});
    EXPECT_TRUE(namesIn(temporary).empty());
    EXPECT_FALSE(fs::exists(root / "pwned"));
    EXPECT_FALSE(fs::exists("pwned"));
}

TEST_F(UpdateInstall, PutsTheOldProgramBackAndShowsWhyWhenTheNewOneDoesNotStart) {
    const fs::path tools = root / "tools";
    fs::create_directories(tools);
    std::ofstream(tools / "no-exchange") << "#!/bin/sh\n[ \"$1\" = exchange ] && exit 1\n"
                                            "exec \"" VELMO_TEST_RELAUNCH_TOOL "\" \"$@\"\n";
    fs::permissions(tools / "no-exchange", fs::perms::owner_all);
    environment.limits.relaunchReportTime = std::chrono::seconds(2);
    const std::string didNotStart = "old\n--background\nfailed: the new version did not start\n";
    const struct {
        const char* what;
        std::string versionAnswer;
        std::string startAnswer;
        bool exchangeFails;
        std::string record;
    } cases[]{
        {"new program cannot be put in place", "echo 2.0", "true", true,
         "old\n--background\nfailed: the new version could not be put in place\n"},
        {"new program fails", "echo 2.0; exit 1", "true", false, didNotStart},
        {"new program prints another version", "echo 1.9", "true", false, didNotStart},
        {"new program prints nothing", "true", "true", false, didNotStart},
        {"new program crashes on a normal start", "echo 2.0", "exit 3", false, didNotStart},
        {"new program never says it is up", "echo 2.0", "sleep 30", false, didNotStart},
        {"new program names the same version otherwise", "echo v2.0.0", "true", false,
         "new\n--background\n"},
    };
    for (const auto& item : cases) {
        effects = {};
        fs::remove(record);
        environment.relaunchTool =
            item.exchangeFails ? tools / "no-exchange" : fs::path(VELMO_TEST_RELAUNCH_TOOL);
        server.serve(zipPath, 200,
                     test::zipArchive(test::fakeBundle("Tindrel.app", "new", item.versionAnswer,
                                                       item.startAnswer)));
        startStandIn();
        auto store = outOfDateStore(server.origin() + zipPath);
        install(*store);

        EXPECT_EQ(effects.terminations, 1) << item.what;
        EXPECT_EQ(awaitRecord(), item.record) << item.what;
        awaitOnlyTheBundle();
        if (item.record.starts_with("old")) {
            EXPECT_EQ(snapshot(bundle), before) << item.what;
        }
        EXPECT_EQ(namesIn(apps), std::vector<std::string>{"Tindrel.app"}) << item.what;
        standIn.waitForFinished(10000);
        fs::remove_all(bundle);
        test::writeEntries(apps, test::fakeBundle("Tindrel.app", "old"));
    }

    // The old program, started again with the reason, shows it on the banner through its
    // silent check, and then in the row, until the user acts there.
    environment.environmentVariables[QStringLiteral("VELMO_UPDATE_FAILED")] =
        QStringLiteral("the new version did not start");
    auto relaunched = outOfDateStore(server.origin() + zipPath);
    VelmoUpdateRow row(*relaunched);
    row.resize(900, 40);
    row.show();
    const QString failure = QStringLiteral("Update failed: the new version did not start");
    EXPECT_TRUE(row.banner().isVisible());
    EXPECT_EQ(row.banner().message(), failure);
    EXPECT_EQ(relaunched->updateStatusText(), failure);
    relaunched->checkForUpdates(true);
    ASSERT_TRUE(test::waitFor(*relaunched, &VelmoUpdateStore::checkFinished));
    EXPECT_EQ(row.banner().message(), failure);
    QPushButton* whatsNew = nullptr;
    for (QPushButton* button : row.banner().findChildren<QPushButton*>())
        if (button->text() == QStringLiteral("What's New"))
            whatsNew = button;
    ASSERT_NE(whatsNew, nullptr);
    QTest::mouseClick(whatsNew, Qt::LeftButton);
    EXPECT_EQ(row.banner().message(), QStringLiteral("Tindrel v2.0 update available \u00B7 Notes"));
}

TEST_F(UpdateInstall, AKillAtAnyStepOfTheSwapLeavesAProgramAndTheNextCheckClearsUp) {
    const fs::path tools = root / "tools";
    fs::create_directories(tools);
    // Counts the tool's calls and stops the relaunch shell before or after the one named.
    std::ofstream(tools / "tool") << "#!/bin/sh\n"
                                     "count=$(($(cat \"$VELMO_TEST_COUNTER\" 2>/dev/null) + 1))\n"
                                     "echo \"$count\" >\"$VELMO_TEST_COUNTER\"\n"
                                     "[ \"$VELMO_TEST_KILL_AT\" = \"$count.before\" ] && "
                                     "{ kill -9 \"$PPID\"; exit 1; }\n"
                                     "\"" VELMO_TEST_RELAUNCH_TOOL "\" \"$@\"\n"
                                     "status=$?\n"
                                     "[ \"$VELMO_TEST_KILL_AT\" = \"$count.after\" ] && "
                                     "kill -9 \"$PPID\"\n"
                                     "exit $status\n";
    std::ofstream(tools / "rm") << "#!/bin/sh\n[ \"$VELMO_TEST_KILL_AT\" = rm ] && "
                                   "{ kill -9 \"$PPID\"; exit 1; }\nexec /bin/rm \"$@\"\n";
    for (const char* name : {"tool", "rm"})
        fs::permissions(tools / name, fs::perms::owner_all);
    environment.relaunchTool = tools / "tool";
    environment.limits.relaunchReportTime = std::chrono::seconds(2);
    environment.relaunchEnvironment[QStringLiteral("PATH")] =
        QString::fromStdString(tools.string()) + QLatin1Char(':') + qEnvironmentVariable("PATH");
    const fs::path counter = root / "counter";
    environment.relaunchEnvironment[QStringLiteral("VELMO_TEST_COUNTER")] =
        QString::fromStdString(counter.string());
    // Tool calls: 1 the exchange, 2 the version check, 3 the exchange back.
    const struct {
        const char* killAt;
        std::string startAnswer;
        bool newProgramStays;
    } cases[]{
        {"1.before", "true", false}, {"1.after", "true", true},    {"2.after", "true", true},
        {"rm", "true", true},        {"3.before", "exit 3", true}, {"3.after", "exit 3", false},
    };
    for (const auto& item : cases) {
        const std::vector<ZipEntry> release =
            test::fakeBundle("Tindrel.app", "new", "echo 2.0", item.startAnswer);
        fs::remove_all(root / "expected");
        test::writeEntries(root / "expected", release);
        fs::remove(counter);
        environment.relaunchEnvironment[QStringLiteral("VELMO_TEST_KILL_AT")] = item.killAt;
        server.serve(zipPath, 200, test::zipArchive(release));
        startStandIn();
        auto store = outOfDateStore(server.origin() + zipPath);
        install(*store);
        ASSERT_EQ(effects.terminations, 1) << item.killAt;
        effects = {};

        // The shell was stopped with the staging folder still there; once nothing holds it,
        // a program stands in the program folder's place.
        std::vector<std::string> names = namesIn(apps);
        ASSERT_EQ(names.size(), 2u) << item.killAt;
        const fs::path staging = apps / (names[0] == "Tindrel.app" ? names[1] : names[0]);
        EXPECT_TRUE(
            QTest::qWaitFor([&] { return VelmoFolderLock::tryLock(staging).has_value(); }, 20000))
            << item.killAt;
        EXPECT_EQ(snapshot(bundle),
                  item.newProgramStays ? snapshot(root / "expected" / "Tindrel.app") : before)
            << item.killAt;
        outOfDateStore(server.origin() + zipPath);
        EXPECT_EQ(namesIn(apps), std::vector<std::string>{"Tindrel.app"}) << item.killAt;
        EXPECT_TRUE(namesIn(temporary).empty()) << item.killAt;
        standIn.waitForFinished(10000);
        fs::remove_all(bundle);
        test::writeEntries(apps, test::fakeBundle("Tindrel.app", "old"));
    }
}

TEST_F(UpdateInstall, RemovesOnlyTheUnheldFoldersItMadeAtTheNextCheck) {
    const fs::path elsewhere = root / "elsewhere";
    fs::create_directories(elsewhere);
    std::ofstream(elsewhere / "keep.txt") << "keep";
    enum class Made { byUser, linkByUser, byUpdate, forOtherProduct, renamedByUser, markLinked };
    // Folders the update makes are named from `name`, the rest by it.
    const struct {
        fs::path folder;
        std::string name;
        Made made;
        bool held;
        bool removed;
    } cases[]{
        {temporary, "VelmoUpdate-tindrel-1700000000-abc123", Made::byUser, false, false},
        {temporary, "VelmoUpdate-tindrel-1700000000-a1B2c3", Made::byUser, false, false},
        {temporary, "VelmoUpdate-tindrel-pro-1700000000-a1B2c3", Made::byUser, false, false},
        {temporary, "VelmoUpdate-tindrel-1700000000-a1B2c3-mine", Made::byUser, false, false},
        {temporary, "VelmoUpdate-tindrel-1700000001-link00", Made::linkByUser, false, false},
        {apps, "Tindrel.app.backup-241207", Made::byUser, false, false},
        {apps, "Tindrel.app.backup-Photos", Made::byUser, false, false},
        {apps, "Tindrel.app.staged-2024ok", Made::byUser, false, false},
        {apps, "Tindrel.app.staged-mine", Made::byUser, false, false},
        {apps, "Other.app.staged-a1B2c3", Made::byUser, false, false},
        {temporary, "VelmoUpdate-tindrel-1700000002", Made::byUpdate, false, true},
        {apps, "Tindrel.app.staged", Made::byUpdate, false, true},
        // another install, still under way
        {temporary, "VelmoUpdate-tindrel-1700000003", Made::byUpdate, true, false},
        {apps, "Tindrel.app.staged", Made::byUpdate, true, false},
        {temporary, "VelmoUpdate-tindrel-1700000004", Made::forOtherProduct, false, false},
        {temporary, "VelmoUpdate-tindrel-1700000005", Made::renamedByUser, false, false},
        {apps, "Tindrel.app.staged", Made::markLinked, false, false},
    };
    std::vector<VelmoFolderLock> held;
    std::vector<fs::path> paths;
    for (const auto& item : cases) {
        fs::path path = item.folder / item.name;
        if (item.made == Made::linkByUser) {
            fs::create_directory_symlink(elsewhere, path);
            paths.push_back(path);
            continue;
        }
        if (item.made == Made::byUser) {
            fs::create_directories(path);
        } else {
            auto made = VelmoBundleArchive::makeWorkFolder(
                item.folder, item.name, item.made == Made::forOtherProduct ? "other" : "tindrel");
            ASSERT_TRUE(made) << item.name;
            path = made->path;
            if (item.held)
                held.push_back(std::move(made->lock));
        }
        const std::vector<std::string> marks = namesIn(path);
        if (item.made == Made::renamedByUser) {
            fs::rename(path, path.string() + "-copy");
            path += "-copy";
        }
        if (item.made == Made::markLinked) {
            fs::rename(path / marks.at(0), elsewhere / marks.at(0));
            fs::create_symlink(elsewhere / marks.at(0), path / marks.at(0));
        }
        fs::create_directories(path / "unpacked" / "Tindrel.app");
        std::ofstream(path / "download.zip") << "zip";
        paths.push_back(path);
    }
    outOfDateStore(server.origin() + zipPath);
    for (size_t index = 0; index < paths.size(); ++index)
        EXPECT_EQ(fs::exists(fs::symlink_status(paths[index])), !cases[index].removed)
            << paths[index];
    EXPECT_TRUE(fs::exists(elsewhere / "keep.txt"));

    // A removal stopped by a quit leaves a folder the next check still knows as its own.
    held.clear();
    const std::atomic<bool> quit = true;
    for (size_t index = 0; index < paths.size(); ++index) {
        if (cases[index].made == Made::byUpdate && cases[index].held) {
            EXPECT_FALSE(VelmoWorkFolderMark::removeFolder(paths[index], &quit));
        }
    }
    outOfDateStore(server.origin() + zipPath);
    for (size_t index = 0; index < paths.size(); ++index)
        EXPECT_EQ(fs::exists(fs::symlink_status(paths[index])), cases[index].made != Made::byUpdate)
            << paths[index];
}

TEST_F(UpdateInstall, RefusesArchivesThatAreNotExactlyOneSafeProgramFolder) {
    auto withBundle = [](std::vector<ZipEntry> extra) {
        std::vector<ZipEntry> entries = test::fakeBundle("Tindrel.app", "new");
        entries.insert(entries.end(), extra.begin(), extra.end());
        return entries;
    };
    std::vector<ZipEntry> notExecutable = test::fakeBundle("Tindrel.app", "new");
    notExecutable[2].mode = 0644;
    std::vector<ZipEntry> inSubfolder;
    for (ZipEntry entry : test::fakeBundle("Tindrel.app", "new")) {
        entry.path = "pkg/" + entry.path;
        inSubfolder.push_back(entry);
    }
    std::vector<ZipEntry> manyEntries = test::fakeBundle("Tindrel.app", "new");
    for (int index = 0; manyEntries.size() <= 50; ++index)
        manyEntries.push_back(
            {"Tindrel.app/share/" + std::to_string(index), ZipEntry::Kind::file, {}});
    environment.limits.archiveEntries = 50;
    environment.limits.allPathBytes = 16 * 1024;
    const std::string absolute = (root / "absolute-evil.txt").string();
    // Names past the bounds, each part short enough for the file system.
    std::string tooDeep = "Tindrel.app";
    for (int level = 0; level < 64; ++level)
        tooDeep += "/d";
    std::string tooLong = "Tindrel.app";
    while (tooLong.size() <= 4096)
        tooLong += "/" + std::string(200, 'n');
    std::vector<ZipEntry> longNames;
    for (int index = 0; index < 10; ++index)
        longNames.push_back(
            {tooLong.substr(0, 2000) + std::to_string(index), ZipEntry::Kind::file, "x"});
    // The central directory lists release.txt; the local header names another file.
    QByteArray disagreeing = test::zipArchive(test::fakeBundle("Tindrel.app", "new"));
    const QByteArray listed = "Tindrel.app/share/release.txt";
    disagreeing.replace(disagreeing.indexOf(listed), listed.size(),
                        "Tindrel.app/share/evil-lib.so");
    const struct {
        const char* what;
        std::vector<ZipEntry> entries;
        QByteArray archive = {};
    } cases[]{
        {"parent folder entry", withBundle({{"../evil.txt", ZipEntry::Kind::file, "x"}})},
        {"absolute entry", withBundle({{absolute, ZipEntry::Kind::file, "x"}})},
        {"escaping link",
         withBundle({{"Tindrel.app/share/up", ZipEntry::Kind::symlink, "../../../.."}})},
        {"link out of the program folder",
         withBundle({{"Tindrel.app/other", ZipEntry::Kind::symlink, "../other"}})},
        {"link out through another link",
         withBundle({{"Tindrel.app/share/out", ZipEntry::Kind::symlink, "hop/../../.."},
                     {"Tindrel.app/share/hop", ZipEntry::Kind::symlink, "../bin"}})},
        {"deflate bomb",
         withBundle({{"Tindrel.app/share/zeros", ZipEntry::Kind::file, QByteArray(8 << 20, 0)}})},
        {"more entries than allowed", manyEntries},
        {"two program folders", withBundle(test::fakeBundle("Other.app", "other"))},
        {"program not executable", notExecutable},
        {"program folder in a subfolder", inSubfolder},
        {"upper-case extension", test::fakeBundle("Tindrel.APP", "new")},
        {"deeper than 64 parts", withBundle({{tooDeep + "/x", ZipEntry::Kind::file, "x"}})},
        {"name longer than 4096 bytes", withBundle({{tooLong, ZipEntry::Kind::file, "x"}})},
        {"names together past the bound", withBundle(longNames)},
        {"local header names another path than the directory", {}, disagreeing},
        {"not a zip", {}, "PK garbage"},
    };
    for (const auto& item : cases) {
        effects = {};
        server.serve(zipPath, 200,
                     item.entries.empty() ? item.archive : test::zipArchive(item.entries));
        auto store = outOfDateStore(server.origin() + zipPath);
        install(*store);
        EXPECT_EQ(store->updateStatusText(),
                  QStringLiteral("Opened installer download in browser."))
            << item.what;
        EXPECT_EQ(effects.opened, QList<QUrl>{QUrl(server.origin() + zipPath)}) << item.what;
        EXPECT_EQ(effects.terminations, 0) << item.what;
        EXPECT_EQ(snapshot(bundle), before) << item.what;
        EXPECT_FALSE(fs::exists(absolute)) << item.what;
        EXPECT_TRUE(namesIn(temporary).empty()) << item.what;
    }
}

TEST_F(UpdateInstall, RefusesArchivesOfCountlessFoldersBeforeWritingAny) {
    // Each entry in a chain of 62 folders of its own, at the depth bound: the archive stays
    // small, its folders do not. Data that does not compress lets the byte bound grow.
    auto chains = [](int count, qsizetype dataBytes) {
        std::vector<ZipEntry> entries = test::fakeBundle("Tindrel.app", "new");
        QByteArray noise(dataBytes, Qt::Uninitialized);
        QRandomGenerator(9).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        entries.push_back({"Tindrel.app/share/noise", ZipEntry::Kind::file, noise});
        for (int index = 0; index < count; ++index) {
            std::string path = "Tindrel.app/" + std::to_string(index);
            while (std::count(path.begin(), path.end(), '/') < 62)
                path += "/d";
            entries.push_back({path + "/x", ZipEntry::Kind::file, "x"});
        }
        return entries;
    };
    // Tindrel.app, bin and share, then 62 a chain: 3 chains make 189 folders, 4 make 251.
    VelmoUpdateLimits limits;
    limits.archiveFolders = 200;
    const struct {
        const char* what;
        std::vector<ZipEntry> entries;
        bool unpacked;
    } cases[]{
        {"folders within the bounds", chains(3, 64 * 1024), true},
        {"folders past the byte bound", chains(3, 1024), false},
        {"more folders than allowed", chains(4, 64 * 1024), false},
    };
    const std::atomic<bool> stop = false;
    for (const auto& item : cases) {
        const fs::path work = root / "work";
        fs::remove_all(work);
        fs::create_directories(work / "unpacked");
        const QByteArray archive = test::zipArchive(item.entries);
        std::ofstream(work / "download.zip", std::ios::binary)
            .write(archive.constData(), archive.size());
        EXPECT_EQ(
            VelmoBundleArchive::unpack(work / "download.zip", work / "unpacked", limits, stop),
            item.unpacked)
            << item.what;
        EXPECT_EQ(namesIn(work / "unpacked").empty(), !item.unpacked) << item.what;
    }
}

TEST_F(UpdateInstall, HandsTheDownloadToTheBrowserWhereItCannotInstall) {
    server.serve(QStringLiteral("/api/download?platform=tindrel-zip"), 404);
    server.serve(zipPath, 200, test::zipArchive(test::fakeBundle("Tindrel.app", "new")));
    const QString checkedText = QStringLiteral("Out of date: v2.0 available (you have v1.0)");
    const struct {
        const char* what;
        QString downloadURL;
        bool fromBundle;
        QString opened;
        QString status;
        bool downloads;
    } cases[]{
        {"not run from a program folder", server.origin() + zipPath, false,
         server.origin() + zipPath, checkedText, false},
        {"no archive in the address", server.origin() + QStringLiteral("/get/tindrel"), true,
         server.origin() + QStringLiteral("/get/tindrel"), checkedText, false},
        {"a scheme the browser is not given", QStringLiteral("javascript:alert(1)"), true,
         QString(), checkedText, false},
        {"archive query answered 404",
         server.origin() + QStringLiteral("/api/download?platform=tindrel-zip"), true,
         server.origin() + QStringLiteral("/tindrel"),
         QStringLiteral("Opened download page in browser."), true},
        {"download over plain http", QStringLiteral("http://127.0.0.1:1/tindrel.zip"), true,
         QStringLiteral("http://127.0.0.1:1/tindrel.zip"),
         QStringLiteral("Opened download in browser."), true},
    };
    for (const auto& item : cases) {
        effects = {};
        auto store = outOfDateStore(item.downloadURL, item.fromBundle);
        if (item.downloads)
            install(*store);
        else
            store->downloadAndInstallUpdate();
        EXPECT_EQ(effects.opened,
                  item.opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl(item.opened)})
            << item.what;
        EXPECT_EQ(store->updateStatusText(), item.status) << item.what;
        EXPECT_EQ(sawInstalling, item.downloads) << item.what;
        EXPECT_EQ(snapshot(bundle), before) << item.what;
        EXPECT_TRUE(namesIn(temporary).empty()) << item.what;
        sawInstalling = false;
    }
    EXPECT_FALSE(server.requestedPaths().contains(zipPath));
}

TEST_F(UpdateInstall, GivesUpOnDownloadsPastTheirBounds) {
    // A real release, only larger than this test's bound: its bytes do not compress.
    std::vector<ZipEntry> large = test::fakeBundle("Tindrel.app", "new");
    QByteArray noise(300 * 1024, Qt::Uninitialized);
    QRandomGenerator(21).fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
    large.push_back({"Tindrel.app/share/noise", ZipEntry::Kind::file, noise});
    // Rows that a byte bound must end get a deadline longer than the test waits for an install.
    const auto bytesOnly = std::chrono::milliseconds(60000);
    const struct {
        const char* what;
        std::function<void()> serve;
        std::chrono::milliseconds baseTime;
    } cases[]{
        {"a release past the bound",
         [&] { server.serve(zipPath, 200, test::zipArchive(large), false); }, bytesOnly},
        {"a length past the bound, announced before a stall",
         [&] { server.stream(zipPath, -1, 1 << 20, 1, 60000); }, bytesOnly},
        {"without end", [&] { server.stream(zipPath, -1, -1); }, bytesOnly},
        {"a byte at a time", [&] { server.stream(zipPath, -1, -1, 1, 100); },
         std::chrono::milliseconds(1500)},
    };
    environment.limits.downloadBytes = 256 * 1024;
    // A running program to hand over to, so that an install that went through would show.
    startStandIn();
    for (const auto& item : cases) {
        effects = {};
        environment.limits.downloadBaseTime = item.baseTime;
        item.serve();
        auto store = outOfDateStore(server.origin() + zipPath);
        install(*store);
        EXPECT_EQ(store->updateStatusText(), QStringLiteral("Opened download in browser."))
            << item.what;
        EXPECT_EQ(effects.opened, QList<QUrl>{QUrl(server.origin() + zipPath)}) << item.what;
        EXPECT_EQ(effects.terminations, 0) << item.what;
        EXPECT_EQ(snapshot(bundle), before) << item.what;
        EXPECT_TRUE(namesIn(temporary).empty()) << item.what;
    }
}

} // namespace
