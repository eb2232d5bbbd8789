// The folder crate over a folder of 10,000 audio files, offscreen: listing the folder and
// showing the crate, one filter keystroke up to the repainted list, and the paint of the list
// scrolled to its middle. Each figure is the median of several runs.

#include "Tindrel/mainwindow/FolderCrateList.h"
#include "Tindrel/mainwindow/FolderCrateModel.h"
#include "Tindrel/mainwindow/FolderCrateSidebar.h"
#include "Tindrel/store/TindrelStore.h"
#include "bench/support/BenchmarkFigure.h"
#include "tests/store_support/StoreTestRig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <vector>

namespace {

using namespace tindrel;

constexpr int fileCount = 10000;

// A valid 16-bit mono WAV of a few frames: the listing reads names and sizes only.
void writeSmallWav(const std::filesystem::path& path) {
    static const std::vector<char> bytes = [] {
        std::vector<char> data(44 + 64, 0);
        const auto put32 = [&](size_t at, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                data[at + size_t(i)] = char((v >> (8 * i)) & 0xff);
        };
        const auto put16 = [&](size_t at, uint16_t v) {
            data[at] = char(v & 0xff);
            data[at + 1] = char(v >> 8);
        };
        std::copy_n("RIFF", 4, data.begin());
        put32(4, uint32_t(data.size() - 8));
        std::copy_n("WAVEfmt ", 8, data.begin() + 8);
        put32(16, 16);
        put16(20, 1);
        put16(22, 1);
        put32(24, 44100);
        put32(28, 88200);
        put16(32, 2);
        put16(34, 16);
        std::copy_n("data", 4, data.begin() + 36);
        put32(40, 64);
        return data;
    }();
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
}

double medianMilliseconds(int runs, const std::function<void()>& prepare,
                          const std::function<void()>& measured) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        prepare();
        QElapsedTimer timer;
        timer.start();
        measured();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir root;
    const std::filesystem::path big = root.filePath("big").toStdString();
    const std::filesystem::path other = root.filePath("other").toStdString();
    std::filesystem::create_directories(big);
    std::filesystem::create_directories(other);
    for (int i = 0; i < fileCount; ++i)
        writeSmallWav(big / ("take " + std::to_string(i) + (i % 3 ? ".wav" : ".WAV")));

    test::ManualStoreParts parts;
    TindrelStore store(test::manualStoreEnvironment(
        root.filePath("home").toStdString(), root.filePath("settings.ini").toStdString(), parts));
    FolderCrateSidebar crate(store, *parts.revealer, *parts.clipboard);
    crate.resize(FolderCrateSidebar::columnWidth, 560);
    crate.show();
    QApplication::processEvents();
    FolderCrateList& list = crate.list();

    // The list's layout and paint, as the next frame after a change would run them.
    const auto showCrate = [&] {
        list.doItemsLayout();
        crate.repaint();
    };

    const double listing = medianMilliseconds(
        7, [&] { store.navigateToFolder(other, true, false); },
        [&] {
            store.navigateToFolder(big, true, false);
            showCrate();
        });
    if (crate.model().rowCount() != fileCount) {
        std::fputs("bench_crate: the folder did not list\n", stderr);
        return 1;
    }
    bench::printFigure("crate_list_and_show_10000_files", listing, "ms");

    // Alternately types "5" (about a third of the names match) and takes it back again.
    int keystroke = 0;
    const double typing = medianMilliseconds(
        21, [] {},
        [&] {
            QTest::keyClick(&crate.filterField(), keystroke++ % 2 ? Qt::Key_Backspace : Qt::Key_5);
            showCrate();
        });
    if (store.siblingFilter.get() != QStringLiteral("5") || crate.model().rowCount() >= fileCount) {
        std::fputs("bench_crate: the keystrokes did not filter\n", stderr);
        return 1;
    }
    bench::printFigure("crate_filter_keystroke_to_repaint", typing, "ms");

    store.siblingFilter = QString();
    showCrate();
    list.verticalScrollBar()->setValue(list.verticalScrollBar()->maximum() / 2);
    QApplication::processEvents();
    const double paint = medianMilliseconds(
        31, [] {}, [&] { list.viewport()->repaint(); });
    bench::printFigure("crate_scrolled_list_paint", paint, "ms");

    // What every other store change (the playhead, the meters) costs the crate.
    const double unrelated = medianMilliseconds(
        31, [] {}, [&] { store.currentTime = 1.0; });
    bench::printFigure("crate_unrelated_store_change", unrelated, "ms");
    return 0;
}
