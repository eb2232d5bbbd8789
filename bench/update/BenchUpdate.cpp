// The update path's two costs: a check against a release host on 127.0.0.1 over HTTPS (fresh
// TLS connection each time, manifest decoded), and the install of a 20 MB program folder
// archive: unpacking it into a private work folder, staging it beside the installed folder and
// the relaunch shell's swap (old -> backup, new -> old, backup removed). Each figure is the
// median of several runs.

#include "Tindrel/VelmoCore/VelmoBundleArchive.h"
#include "Tindrel/VelmoCore/VelmoBundleSwap.h"
#include "Tindrel/VelmoCore/VelmoUpdateStore.h"
#include "Tindrel/VelmoCore/VelmoVersionsManifest.h"
#include "tests/VelmoCore/BundleZip.h"
#include "tests/VelmoCore/LocalReleaseServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
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

void print(const char* name, double milliseconds) {
    std::printf("%s: %d.%d ms\n", name, static_cast<int>(milliseconds),
                static_cast<int>(milliseconds * 10) % 10);
}

double checkMilliseconds() {
    test::LocalReleaseServer server;
    VelmoVersionsManifest manifest;
    manifest.products[QStringLiteral("tindrel")] = {QStringLiteral("2.0"), QStringLiteral("n"),
                                                    QStringLiteral("https://h/t.zip"),
                                                    std::nullopt};
    server.serve(QStringLiteral("/releases/versions.json"), 200, manifest.encode());
    VelmoUpdateEnvironment environment;
    environment.releaseHost = server.origin();
    environment.extraCaCertificates = server.caCertificates();
    environment.temporaryDirectory = fs::temp_directory_path();
    VelmoUpdateStore store(QStringLiteral("tindrel"), QStringLiteral("Tindrel"),
                           QStringLiteral("1.0"), environment);
    QSignalSpy finished(&store, &VelmoUpdateStore::checkFinished);
    finished.wait(20000);
    std::vector<double> runs;
    for (int run = 0; run < checkRuns; ++run) {
        finished.clear();
        QElapsedTimer timer;
        timer.start();
        store.checkForUpdates(true);
        if (!finished.wait(20000))
            return -1;
        runs.push_back(timer.nsecsElapsed() / 1e6);
    }
    return median(runs);
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
        const auto work = VelmoBundleArchive::makeWorkFolder(base, "VelmoUpdate-tindrel");
        if (!work || !VelmoBundleArchive::unpack(archive, *work))
            return {-1, -1};
        const auto found = VelmoBundleArchive::findBundle(*work, "tindrel");
        if (!found)
            return {-1, -1};
        unpackRuns.push_back(timer.nsecsElapsed() / 1e6);

        // The swap as the relaunch shell runs it, waited for here; the process it would stop
        // has already gone.
        timer.restart();
        const fs::path bundle = base / "apps" / "Tindrel.app";
        auto swap = VelmoBundleSwap::stage(*found, bundle);
        if (!swap)
            return {-1, -1};
        QProcess gone;
        gone.start(QStringLiteral("true"));
        gone.waitForStarted();
        const qint64 gonePid = gone.processId();
        gone.waitForFinished();
        QProcess shell;
        shell.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QString::fromLatin1(VelmoBundleSwap::relaunchScript),
                     QStringLiteral("bench"), QString::number(gonePid),
                     QString::fromStdString(bundle.string()),
                     QString::fromStdString(swap->stagedBundle().string()),
                     QString::fromStdString((base / "apps" / "backup").string()),
                     QStringLiteral("tindrel")});
        shell.waitForFinished(60000);
        swapRuns.push_back(timer.nsecsElapsed() / 1e6);
    }
    return {median(unpackRuns), median(swapRuns)};
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The stand-in programs that the swap starts write their record nowhere.
    qputenv("VELMO_TEST_RECORD", "/dev/null");
    QApplication app(argc, argv);
    print("update_check_local_https", checkMilliseconds());
    const InstallFigures install = installMilliseconds();
    print("update_install_20mb_unpack", install.unpack);
    print("update_install_20mb_stage_and_swap", install.swap);
    print("update_install_20mb_total", install.unpack + install.swap);
    return 0;
}
