// The update path's two costs: a check against a release host on 127.0.0.1 over HTTPS (fresh
// TLS connection each time, manifest decoded), and the install of a 20 MB program folder
// archive: unpacking it into a private work folder, staging it beside the installed folder and
// the relaunch shell's swap (one exchange, the new program asked for its version, started and
// waited for until it is up, old one removed). The deep-name figures: the peak memory an unpack
// adds for one entry at the depth and length bounds, the name tree at the most names the
// bounds allow, and archives past the bounds (refused; negative or zero). The folder figures:
// the time to refuse an archive of countless folders, and the longest time from a quit to the
// end of an unpack at the bounds and its clean-up. Each time is the median
// of several runs. Memory figures are the peak resident size the process reached during the work
// above what it held before: for the checks, and for one whole install by the update store
// (streamed download, unpack, staging).

#include "Tindrel/VelmoCore/VelmoArchivePaths.h"
#include "Tindrel/VelmoCore/VelmoBundleArchive.h"
#include "Tindrel/VelmoCore/VelmoBundleSwap.h"
#include "Tindrel/VelmoCore/VelmoUpdateStore.h"
#include "Tindrel/VelmoCore/VelmoVersionsManifest.h"
#include "Tindrel/VelmoCore/VelmoWorkFolderMark.h"
#include "tests/VelmoCore/BundleZip.h"
#include "tests/VelmoCore/LocalReleaseServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

namespace {

using namespace velmo;
namespace fs = std::filesystem;

constexpr int checkRuns = 15;
constexpr int installRuns = 5;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void print(const char* name, double value, const char* unit = "ms") {
    std::printf("%s: %d.%d %s\n", name, static_cast<int>(value), static_cast<int>(value * 10) % 10,
                unit);
}

// A field of /proc/self/status in MiB ("VmRSS", "VmHWM").
double statusMebibytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(line.indexOf(':') + 1).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

// Measures the peak resident size from here on, above the present one.
class PeakMemory {
public:
    PeakMemory() {
        // "5" resets the peak (VmHWM) to the present resident size.
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        clear.open(QIODevice::WriteOnly);
        clear.write("5");
        clear.close();
        before_ = statusMebibytes("VmRSS");
    }
    double growthMebibytes() const { return statusMebibytes("VmHWM") - before_; }

private:
    double before_;
};

struct Figures {
    double milliseconds;
    double peakMebibytes;
};

VelmoVersionsManifest releaseManifest(const QString& downloadURL) {
    VelmoVersionsManifest manifest;
    manifest.products[QStringLiteral("tindrel")] = {QStringLiteral("2.0"), QStringLiteral("n"),
                                                    downloadURL, std::nullopt};
    return manifest;
}

Figures checkFigures() {
    test::LocalReleaseServer server;
    server.serve(QStringLiteral("/releases/versions.json"), 200,
                 releaseManifest(QStringLiteral("https://h/t.zip")).encode());
    VelmoUpdateEnvironment environment;
    environment.releaseHost = server.origin();
    environment.extraCaCertificates = server.caCertificates();
    environment.temporaryDirectory = fs::temp_directory_path();
    VelmoUpdateStore store(QStringLiteral("tindrel"), QStringLiteral("Tindrel"),
                           QStringLiteral("1.0"), environment);
    QSignalSpy finished(&store, &VelmoUpdateStore::checkFinished);
    finished.wait(20000);
    std::vector<double> runs;
    const PeakMemory peak;
    for (int run = 0; run < checkRuns; ++run) {
        finished.clear();
        QElapsedTimer timer;
        timer.start();
        store.checkForUpdates(true);
        if (!finished.wait(20000))
            return {-1, -1};
        runs.push_back(timer.nsecsElapsed() / 1e6);
    }
    return {median(runs), peak.growthMebibytes()};
}

// A program folder of about 20 MB that does not compress: random resource files.
QByteArray twentyMegabyteArchive() {
    std::vector<test::ZipEntry> entries = test::fakeBundle("Tindrel.app", "new");
    for (int index = 0; index < 20; ++index) {
        QByteArray bytes(1024 * 1024, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(bytes.data()),
                                              bytes.size() / 4);
        entries.push_back({"Tindrel.app/share/resource-" + std::to_string(index) + ".bin",
                           test::ZipEntry::Kind::file, bytes, 0644});
    }
    return test::zipArchive(entries);
}

// The id of a process that has already ended, for a relaunch that has nothing to stop.
qint64 endedProcessId() {
    QProcess gone;
    gone.start(QStringLiteral("true"));
    gone.waitForStarted();
    const qint64 id = gone.processId();
    gone.waitForFinished();
    return id;
}

// One install by the update store, from the release host on 127.0.0.1 to the relaunch.
double installPeakMebibytes(const QByteArray& archiveBytes) {
    QTemporaryDir root;
    const fs::path base(root.path().toStdString());
    fs::create_directories(base / "apps");
    fs::create_directories(base / "tmp");
    test::writeEntries(base / "apps", test::fakeBundle("Tindrel.app", "old"));
    test::LocalReleaseServer server;
    const QString zipPath = QStringLiteral("/tindrel-2.0.zip");
    server.serve(zipPath, 200, archiveBytes);
    server.serve(QStringLiteral("/releases/versions.json"), 200,
                 releaseManifest(server.origin() + zipPath).encode());
    const fs::path record = base / "record.txt";
    VelmoUpdateEnvironment environment;
    environment.releaseHost = server.origin();
    environment.extraCaCertificates = server.caCertificates();
    environment.temporaryDirectory = base / "tmp";
    environment.bundleLocation = base / "apps" / "Tindrel.app";
    environment.runningProcessId = endedProcessId();
    environment.relaunchEnvironment[QStringLiteral("VELMO_TEST_RECORD")] =
        QString::fromStdString(record.string());
    VelmoUpdateStore store(QStringLiteral("tindrel"), QStringLiteral("Tindrel"),
                           QStringLiteral("1.0"), environment);
    QSignalSpy checked(&store, &VelmoUpdateStore::checkFinished);
    QSignalSpy installed(&store, &VelmoUpdateStore::installFinished);
    if (!checked.wait(20000) || !store.isOutOfDate())
        return -1;
    const PeakMemory peak;
    store.downloadAndInstallUpdate();
    if (!installed.wait(60000))
        return -1;
    const double growth = peak.growthMebibytes();
    // The relaunch shell swaps and starts the new program; its folder goes only after that.
    for (int wait = 0; wait < 600 && !QFile(QString::fromStdString(record.string())).size(); ++wait)
        QThread::msleep(50);
    return growth;
}

struct InstallFigures {
    double unpack;
    double swap;
};

InstallFigures installMilliseconds() {
    const QByteArray archiveBytes = twentyMegabyteArchive();
    std::vector<double> unpackRuns;
    std::vector<double> swapRuns;
    for (int run = 0; run < installRuns; ++run) {
        QTemporaryDir root;
        const fs::path base(root.path().toStdString());
        const fs::path archive = base / "update.zip";
        QFile file(QString::fromStdString(archive.string()));
        file.open(QIODevice::WriteOnly);
        file.write(archiveBytes);
        file.close();
        fs::create_directories(base / "apps");
        test::writeEntries(base / "apps", test::fakeBundle("Tindrel.app", "old"));

        QElapsedTimer timer;
        timer.start();
        const auto work =
            VelmoBundleArchive::makeWorkFolder(base, "VelmoUpdate-tindrel", "tindrel");
        const std::atomic<bool> stop = false;
        if (!work || !VelmoBundleArchive::unpack(archive, work->path, VelmoUpdateLimits(), stop))
            return {-1, -1};
        const auto found = VelmoBundleArchive::findBundle(work->path, "tindrel");
        if (!found)
            return {-1, -1};
        unpackRuns.push_back(timer.nsecsElapsed() / 1e6);

        // The swap as the relaunch shell runs it, waited for here; the process it would stop
        // has already gone.
        timer.restart();
        const fs::path bundle = base / "apps" / "Tindrel.app";
        auto swap = VelmoBundleSwap::stage(*found, bundle, VELMO_TEST_RELAUNCH_TOOL, "tindrel");
        if (!swap)
            return {-1, -1};
        const qint64 gonePid = endedProcessId();
        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QString::fromLatin1(VelmoBundleSwap::relaunchScript),
                     QStringLiteral("bench"), QString::number(gonePid),
                     QString::fromStdString(bundle.string()),
                     QString::fromStdString(swap->stagingFolder().string()),
                     QString::fromStdString(swap->stagedBundle().string()),
                     QStringLiteral("tindrel"), QStringLiteral("2.0"), QStringLiteral("20")});
        shell.waitForFinished(60000);
        swapRuns.push_back(timer.nsecsElapsed() / 1e6);
    }
    return {median(unpackRuns), median(swapRuns)};
}

// The peak memory one unpack adds for an archive of deep names; negative when it was refused.
double deepUnpackPeakMebibytes(const std::vector<test::ZipEntry>& entries) {
    QTemporaryDir root;
    const fs::path base(root.path().toStdString());
    const fs::path archive = base / "deep.zip";
    QFile file(QString::fromStdString(archive.string()));
    file.open(QIODevice::WriteOnly);
    file.write(test::zipArchive(entries));
    file.close();
    fs::create_directories(base / "work");
    const std::atomic<bool> stop = false;
    const PeakMemory peak;
    const bool unpacked =
        VelmoBundleArchive::unpack(archive, base / "work", VelmoUpdateLimits(), stop);
    const double growth = peak.growthMebibytes();
    return unpacked ? growth : -growth;
}

// One file `depth` folders deep, each folder name `nameBytes` long.
std::vector<test::ZipEntry> oneDeepEntry(int depth, int nameBytes) {
    std::string path = "Tindrel.app";
    for (int level = 1; level < depth; ++level)
        path += "/" + std::string(nameBytes, 'd');
    return {{path, test::ZipEntry::Kind::file, "x", 0644}};
}

// The most names the bounds let through, every entry 64 parts deep in folders of its own, held
// as the unpack holds them (writing 1.3 million folders to disk would take minutes).
double manyDeepNamesPeakMebibytes() {
    const PeakMemory peak;
    VelmoArchivePaths paths;
    for (int index = 0; index < VelmoUpdateLimits().archiveEntries; ++index) {
        const std::string first = std::to_string(index);
        VelmoArchivePaths::Path path{"Tindrel.app", first};
        while (path.size() < 63)
            path.push_back("d");
        path.push_back("x");
        if (!paths.add(path, nullptr))
            return -1;
    }
    return peak.growthMebibytes();
}

// An archive of `entries` entries, each one file in a chain of folders of its own, 64 names
// deep: small on disk, countless folders when unpacked.
QByteArray chainsOfFolders(int entries) {
    std::vector<test::ZipEntry> chains;
    for (int index = 0; index < entries; ++index) {
        std::string path = "Tindrel.app/" + std::to_string(index);
        for (int level = 2; level < 63; ++level)
            path += "/d";
        chains.push_back({path + "/x", test::ZipEntry::Kind::file, "x", 0644});
    }
    return test::zipArchive(chains);
}

// An archive at the entry and folder bounds: 4000 folders of three 1 KiB files each.
QByteArray manyFoldersAndFiles() {
    std::vector<test::ZipEntry> entries = test::fakeBundle("Tindrel.app", "new");
    QByteArray bytes(1024, Qt::Uninitialized);
    QRandomGenerator(3).fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    for (int folder = 0; folder < 4000; ++folder) {
        const std::string name = "Tindrel.app/share/" + std::to_string(folder);
        entries.push_back({name + "/", test::ZipEntry::Kind::folder, {}, 0755});
        for (int file = 0; file < 3; ++file)
            entries.push_back(
                {name + "/" + std::to_string(file), test::ZipEntry::Kind::file, bytes, 0644});
    }
    return test::zipArchive(entries);
}

fs::path writeArchive(const fs::path& folder, const QByteArray& bytes) {
    const fs::path archive = folder / "update.zip";
    QFile file(QString::fromStdString(archive.string()));
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return archive;
}

// The time an unpack takes to refuse the archive; negative when it was taken or wrote anything.
double refusalMilliseconds(const QByteArray& bytes) {
    QTemporaryDir root;
    const fs::path base(root.path().toStdString());
    const fs::path archive = writeArchive(base, bytes);
    fs::create_directories(base / "work");
    const std::atomic<bool> stop = false;
    QElapsedTimer timer;
    timer.start();
    const bool unpacked =
        VelmoBundleArchive::unpack(archive, base / "work", VelmoUpdateLimits(), stop);
    const double elapsed = timer.nsecsElapsed() / 1e6;
    return unpacked || !fs::is_empty(base / "work") ? -elapsed : elapsed;
}

// The longest time from a quit to the end of an unpack and its clean-up, as the update store's
// unpack thread runs them, over quits at several moments of the work.
double longestQuitMilliseconds(const QByteArray& bytes) {
    double longest = 0;
    for (const int quitAfter : {50, 200, 500, 1000, 1500, 2000, 3000}) {
        QTemporaryDir root;
        const fs::path base(root.path().toStdString());
        const fs::path archive = writeArchive(base, bytes);
        auto work = VelmoBundleArchive::makeWorkFolder(base, "VelmoUpdate-tindrel", "tindrel");
        if (!work)
            return -1;
        std::atomic<bool> stop = false;
        std::atomic<bool> done = false;
        QThread* thread = QThread::create([&] {
            fs::create_directory(work->path / "unpacked");
            VelmoBundleArchive::unpack(archive, work->path / "unpacked", VelmoUpdateLimits(), stop);
            VelmoWorkFolderMark::removeFolder(work->path, &stop);
            done = true;
        });
        thread->start();
        thread->wait(quitAfter);
        QElapsedTimer timer;
        timer.start();
        stop = true;
        thread->wait();
        if (!done)
            return -1;
        longest = std::max(longest, timer.nsecsElapsed() / 1e6);
        delete thread;
    }
    return longest;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The stand-in programs that the swap starts write their record nowhere.
    qputenv("VELMO_TEST_RECORD", "/dev/null");
    QApplication app(argc, argv);
    const Figures check = checkFigures();
    print("update_check_local_https", check.milliseconds);
    print("update_check_peak_memory_growth", check.peakMebibytes, "MiB");
    print("update_install_20mb_peak_memory_growth", installPeakMebibytes(twentyMegabyteArchive()),
          "MiB");
    const InstallFigures install = installMilliseconds();
    print("update_install_20mb_unpack", install.unpack);
    print("update_install_20mb_stage_and_swap", install.swap);
    print("update_install_20mb_total", install.unpack + install.swap);
    // Negative figures: the archive was refused (as it must be past the bounds).
    print("update_unpack_one_entry_64_deep_4096_bytes_peak_memory_growth",
          deepUnpackPeakMebibytes(oneDeepEntry(64, 63)), "MiB");
    print("update_names_20000_entries_64_deep_peak_memory_growth", manyDeepNamesPeakMebibytes(),
          "MiB");
    print("update_unpack_8000_deep_refused_peak_memory_growth",
          deepUnpackPeakMebibytes(oneDeepEntry(8000, 1)), "MiB");
    print("update_unpack_32000_deep_refused_peak_memory_growth",
          deepUnpackPeakMebibytes(oneDeepEntry(32000, 1)), "MiB");
    print("update_unpack_20000_entries_in_chains_of_64_folders_refused",
          refusalMilliseconds(chainsOfFolders(20000)));
    print("update_unpack_and_clean_up_12000_files_4000_folders_longest_quit_to_stopped",
          longestQuitMilliseconds(manyFoldersAndFiles()));
    return 0;
}
