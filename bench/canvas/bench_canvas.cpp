// Paint time of the waveform canvas per frame while a file plays, offscreen, at the main
// window's sizes and the mini player's. Each frame advances playback by one UI tick (33 ms of
// audio pulled through a manual output), then repaints the canvas synchronously.

#include "Tindrel/canvas/WaveformBarLayer.h"
#include "Tindrel/canvas/WaveformScrubberCanvas.h"
#include "Tindrel/store/TindrelStore.h"
#include "bench/support/BenchmarkFigure.h"
#include "tests/store_support/StoreTestRig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using namespace tindrel;

// Three minutes of a stereo tone with a pulsing level, so the bars vary.
void writeTone(const std::string& path) {
    const int rate = 44100;
    const int frames = rate * 180;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> block(2 * 4096);
    for (int start = 0; start < frames; start += 4096) {
        const int count = std::min(4096, frames - start);
        for (int i = 0; i < count; ++i) {
            const double t = double(start + i) / rate;
            const double level = 0.2 + 0.7 * std::abs(std::sin(t * 1.3));
            const float v = float(level * std::sin(2 * M_PI * 220 * t));
            block[size_t(2 * i)] = v;
            block[size_t(2 * i + 1)] = v;
        }
        sf_writef_float(file, block.data(), count);
    }
    sf_close(file);
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;

    test::ManualStoreParts parts;
    TindrelStore store(test::manualStoreEnvironment(
        folder.path().toStdString(), folder.filePath("settings.ini").toStdString(), parts));

    const std::string path = folder.filePath("tone.wav").toStdString();
    writeTone(path);
    store.loadAndPlay(path, true);
    if (parts.analysis)
        parts.analysis->runAll(); // the measured 2048-bin record, as after a real load
    store.setRangeBounds(40, 100);
    if (!parts.output || !store.isPlaying.get() || !store.spec.get() ||
        store.spec.get()->peaks.size() < 2048) {
        std::fputs("bench_canvas: the generated file did not load and play\n", stderr);
        return 1;
    }

    struct Size {
        int width, height;
        const char* name;
    };
    const Size sizes[] = {{821, 165, "821x165"}, {821, 300, "821x300"}, {410, 82, "410x82"}};
    const int frames = 300;
    for (const Size& size : sizes) {
        WaveformScrubberCanvas canvas(store);
        canvas.resize(size.width, size.height);
        canvas.show();
        QApplication::processEvents(); // exposes the window, so repaint() paints
        canvas.repaint();              // builds the bar cache once
        std::vector<double> times;
        for (int i = 0; i < frames; ++i) {
            parts.output.load()->pump(1455);
            parts.ticker->fire();
            QElapsedTimer timer;
            timer.start();
            canvas.repaint();
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        double sum = 0;
        for (double t : times)
            sum += t;
        const std::string prefix = std::string("canvas_paint_") + size.name;
        bench::printFigure((prefix + "_mean_ms").c_str(), sum / frames, "ms");
        bench::printFigure((prefix + "_p95_ms").c_str(), times[size_t(frames * 95 / 100)], "ms");

        // For comparison: every bar drawn anew, as without the cache.
        const auto& spec = *store.spec.get();
        const WaveformEnvelope envelope{spec.peaks, spec.rmsEnvelope};
        const WaveformBarLayout layout =
            WaveformBarLayout::make(int(spec.peaks.size()), 0, 1, size.width, size.height);
        QImage image(size.width, size.height, QImage::Format_ARGB32_Premultiplied);
        QElapsedTimer direct;
        direct.start();
        for (int i = 0; i < 30; ++i) {
            image.fill(Qt::black);
            QPainter painter(&image);
            WaveformBarLayer::paintBarsDirectly(painter, envelope, layout, 0, layout.bars,
                                                layout.bars / 2);
        }
        bench::printFigure((std::string("canvas_bars_uncached_") + size.name + "_ms").c_str(),
                           double(direct.nsecsElapsed()) / 1e6 / 30, "ms");
    }
    store.stopAndCleanup();
    return 0;
}
