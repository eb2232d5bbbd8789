#include "Tindrel/canvas/WaveformScrubberCanvas.h"

#include "Tindrel/store/TindrelStore.h"
#include "tests/canvas/ScrubberCanvasFixture.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTest>
#include <QVBoxLayout>

#include <functional>

#include <gtest/gtest.h>

namespace tindrel {
namespace {

using Kind = WaveformDragMode::Kind;

// A shown 600 x 165 canvas over a ten-second tone: 60 pixels a second at zoom 1.
class WaveformScrubberCanvasTest : public test::ScrubberCanvasFixture {
protected:
    WaveformScrubberCanvasTest() : ScrubberCanvasFixture(600, 165) {}

    void press(double x, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mousePress(canvas.get(), Qt::LeftButton, modifiers, QPoint(int(x), 100));
    }
    void moveTo(double x, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QMouseEvent move(QEvent::MouseMove, QPointF(x, 100), canvas->mapToGlobal(QPointF(x, 100)),
                         Qt::NoButton, Qt::LeftButton, modifiers);
        QApplication::sendEvent(canvas.get(), &move);
    }
    void release(double x, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseRelease(canvas.get(), Qt::LeftButton, modifiers, QPoint(int(x), 100));
    }
    void drag(double from, double to, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        press(from, modifiers);
        moveTo((from + to) / 2, modifiers);
        moveTo(to, modifiers);
        release(to, modifiers);
    }
};

TEST_F(WaveformScrubberCanvasTest, ClickAndDragScrubAndPlay) {
    loadTone();
    ASSERT_FALSE(store().isPlaying.get());
    press(300);
    EXPECT_EQ(canvas->dragMode().kind, Kind::scrubPlayhead);
    EXPECT_NEAR(store().currentTime.get(), 5.0, 1e-6);
    EXPECT_TRUE(store().isPlaying.get());
    moveTo(120);
    EXPECT_NEAR(store().currentTime.get(), 2.0, 1e-6);
    // Beyond the left edge the pointer pins to the window's start.
    moveTo(-80);
    EXPECT_NEAR(store().currentTime.get(), 0.0, 1e-6);
    release(-80);
    EXPECT_EQ(canvas->dragMode().kind, Kind::none);
    EXPECT_TRUE(store().isPlaying.get()) << "a scrub leaves playback running";
    EXPECT_FALSE(store().hasActiveRange());
}

TEST_F(WaveformScrubberCanvasTest, ModifierDragsSweepOrderedRanges) {
    loadTone();
    // The help names the drag that window managers leave to the program.
    EXPECT_TRUE(canvas->toolTip().contains(QStringLiteral("Shift-Drag to select")));
    struct Case {
        const char* name;
        Qt::KeyboardModifiers modifiers;
        double from, to;
        double in, out;
    };
    const Case cases[] = {
        {"Alt drag to the right", Qt::AltModifier, 120, 360, 2.0, 6.0},
        {"Alt drag to the left", Qt::AltModifier, 360, 120, 2.0, 6.0},
        {"Shift drag", Qt::ShiftModifier, 60, 540, 1.0, 9.0},
        {"Alt click makes the shortest range", Qt::AltModifier, 300, 300, 5.0, 5.05},
        {"Shift click makes the shortest range", Qt::ShiftModifier, 300, 300, 5.0, 5.05},
        {"Alt on the In handle sweeps anew", Qt::AltModifier, 300, 420, 5.0, 7.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const double timeBefore = store().currentTime.get();
        drag(c.from, c.to, c.modifiers);
        ASSERT_TRUE(store().loopIn.get() && store().loopOut.get());
        EXPECT_NEAR(*store().loopIn.get(), c.in, 1e-6);
        EXPECT_NEAR(*store().loopOut.get(), c.out, 1e-6);
        EXPECT_TRUE(store().isLoopEnabled.get());
        EXPECT_EQ(store().statusBanner.get(), store().warpedRangeSummaryText());
        EXPECT_EQ(store().currentTime.get(), timeBefore) << "a sweep does not seek";
    }
}

TEST_F(WaveformScrubberCanvasTest, HandleDragsMoveOnlyTheirEdgeWithoutSeeking) {
    loadTone();
    struct Case {
        const char* name;
        double pressX, toX;
        Kind mode;
        double in, out;
    };
    // Range 2 s .. 6 s: In at x = 120, Out at x = 360.
    const Case cases[] = {
        {"In handle, exactly 12 points away", 132, 60, Kind::moveInHandle, 1.0, 6.0},
        {"In handle past the Out edge", 110, 500, Kind::moveInHandle, 5.95, 6.0},
        {"Out handle", 350, 480, Kind::moveOutHandle, 2.0, 8.0},
        {"Out handle before the In edge", 370, 0, Kind::moveOutHandle, 2.0, 2.05},
        {"13 points from the In edge scrubs instead", 133, 133, Kind::scrubPlayhead, 2.0, 6.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        store().seek(0.5, false);
        store().setRangeBounds(2.0, 6.0);
        store().isLoopEnabled = false;
        store().statusBanner = QStringLiteral("before");
        press(c.pressX);
        EXPECT_EQ(canvas->dragMode().kind, c.mode);
        moveTo(c.toX);
        release(c.toX);
        EXPECT_NEAR(*store().loopIn.get(), c.in, 1e-6);
        EXPECT_NEAR(*store().loopOut.get(), c.out, 1e-6);
        if (c.mode != Kind::scrubPlayhead) {
            EXPECT_TRUE(store().isLoopEnabled.get());
            EXPECT_NEAR(store().currentTime.get(), 0.5, 1e-6) << "no seek";
            EXPECT_FALSE(store().isPlaying.get());
            EXPECT_EQ(store().statusBanner.get(), QStringLiteral("before")) << "no status line";
        }
    }
}

TEST_F(WaveformScrubberCanvasTest, MovingAnEdgeOfAHalfSetRangeFillsTheOtherEnd) {
    loadTone();
    store().loopIn = 2.0; // Out unset: the range runs to the end
    drag(120, 180);
    ASSERT_TRUE(store().loopOut.get());
    EXPECT_NEAR(*store().loopIn.get(), 3.0, 1e-6);
    EXPECT_NEAR(*store().loopOut.get(), 10.0, 1e-6);
    EXPECT_TRUE(store().isLoopEnabled.get());

    store().loopIn = std::nullopt;
    store().loopOut = 6.0;
    drag(360, 420);
    ASSERT_TRUE(store().loopIn.get());
    EXPECT_NEAR(*store().loopIn.get(), 0.0, 1e-6);
    EXPECT_NEAR(*store().loopOut.get(), 7.0, 1e-6);
}

TEST_F(WaveformScrubberCanvasTest, DragModeIsDecidedAtEachPressAndForgottenWhenHidden) {
    loadTone();
    press(300); // scrub, and the release never comes
    ASSERT_EQ(canvas->dragMode().kind, Kind::scrubPlayhead);
    store().setRangeBounds(2.0, 6.0);
    press(122);
    EXPECT_EQ(canvas->dragMode().kind, Kind::moveInHandle) << "a new press decides afresh";

    canvas->hide();
    EXPECT_EQ(canvas->dragMode().kind, Kind::none);
    canvas->show();
    // A modifier pressed after the press changes nothing for the rest of the drag.
    store().clearABLoop();
    press(300);
    moveTo(360, Qt::AltModifier);
    release(360, Qt::AltModifier);
    EXPECT_FALSE(store().hasActiveRange());
    EXPECT_NEAR(store().currentTime.get(), 6.0, 1e-6);
}

TEST_F(WaveformScrubberCanvasTest, WithoutAFileAPressOnlyReleasesKeyboardFocus) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit(&window);
    layout->addWidget(field);
    canvas->setParent(&window);
    layout->addWidget(canvas.get());
    window.resize(600, 220);
    window.show();
    QApplication::setActiveWindow(&window);
    field->setFocus();
    EXPECT_TRUE(field->hasFocus());

    QTest::mousePress(canvas.get(), Qt::LeftButton, Qt::AltModifier, QPoint(300, 100));
    QTest::mouseRelease(canvas.get(), Qt::LeftButton, Qt::AltModifier, QPoint(300, 100));
    EXPECT_FALSE(field->hasFocus());
    EXPECT_FALSE(store().hasActiveRange());
    EXPECT_FALSE(store().isPlaying.get());
    EXPECT_EQ(store().currentTime.get(), 0.0);
    canvas->setParent(nullptr);
}

TEST_F(WaveformScrubberCanvasTest, PaintsPlayheadAndRangeTint) {
    loadTone();
    store().seek(5.0, false);
    QImage image = canvas->grab().toImage();
    // The playhead is solid yellow over the bars at x = 300 and 301.
    for (int x : {300, 301})
        EXPECT_EQ(image.pixelColor(x, 100), QColor(255, 214, 10)) << x;
    for (int x : {299, 302})
        EXPECT_NE(image.pixelColor(x, 100), QColor(255, 214, 10)) << x;

    // At the very end the playhead stays inside the frame.
    store().currentTime = 10.0;
    image = canvas->grab().toImage();
    EXPECT_EQ(image.pixelColor(598, 100), QColor(255, 214, 10));

    // Range 2 s .. 6 s; a pixel inside it near the top and one outside.
    store().setRangeBounds(2.0, 6.0);
    struct Case {
        bool looping;
        double opacity;
    };
    for (const Case c : {Case{true, 0.2}, Case{false, 0.1}}) {
        SCOPED_TRACE(c.looping);
        store().isLoopEnabled = c.looping;
        image = canvas->grab().toImage();
        // Inside the range: orange at the tint's opacity over what lies outside it.
        const QColor inside = image.pixelColor(250, 4);
        const QColor outside = image.pixelColor(450, 4);
        const auto tinted = [&](int base, int orange) {
            return base * (1 - c.opacity) + orange * c.opacity;
        };
        EXPECT_NEAR(inside.red(), tinted(outside.red(), 255), 2);
        EXPECT_NEAR(inside.green(), tinted(outside.green(), 159), 2);
        EXPECT_NEAR(inside.blue(), tinted(outside.blue(), 10), 2);
        // The handles are solid orange.
        EXPECT_EQ(image.pixelColor(121, 160), QColor(255, 159, 10));
        EXPECT_EQ(image.pixelColor(358, 160), QColor(255, 159, 10));
    }
}

TEST_F(WaveformScrubberCanvasTest, EmptyPeaksDrawTheFlatFallback) {
    loadTone();
    AudioFileSpec record = *store().spec.get();
    record.peaks.clear();
    record.rmsEnvelope.clear();
    store().spec = record;
    const QImage image = canvas->grab().toImage();
    // The fallback's bars (peaks 17 px, RMS 8.5 px high) sit on the mid-line, nothing else.
    int greenOnMidLine = 0;
    for (int x = 400; x < 500; ++x) {
        greenOnMidLine += image.pixelColor(x, 82).green() > 60 ? 1 : 0;
        EXPECT_EQ(image.pixelColor(x, 50), image.pixelColor(400, 50)) << x;
    }
    EXPECT_GT(greenOnMidLine, 50) << "unplayed RMS bars are drawn";
}

// Records the bounding rectangle of each paint the watched widget receives.
class PaintRecorder : public QObject {
public:
    explicit PaintRecorder(QWidget& widget) { widget.installEventFilter(this); }
    std::vector<QRect> paints;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            paints.push_back(static_cast<QPaintEvent*>(event)->region().boundingRect());
        return false;
    }
};

TEST_F(WaveformScrubberCanvasTest, RepaintsOnlyWhatItDrawsDifferently) {
    loadTone();
    PaintRecorder recorder(*canvas);
    const auto paintsAfter = [&](const std::function<void()>& change) {
        QApplication::processEvents();
        recorder.paints.clear();
        change();
        QApplication::processEvents();
        return recorder.paints;
    };
    // Paused with the meters at rest: a second of UI ticks changes nothing drawn.
    EXPECT_TRUE(paintsAfter([&] {
                    for (int tick = 0; tick < 30; ++tick) {
                        rig.ticker().fire();
                        QApplication::processEvents();
                    }
                }).empty());
    // A playhead that moves less than a pixel.
    EXPECT_TRUE(paintsAfter([&] { store().currentTime = 0.005; }).empty());

    struct Case {
        const char* name;
        std::function<void()> change;
        int left, right; // the repainted columns must lie within these
    } cases[] = {
        {"a seek repaints the strips the playhead left and entered",
         [&] { store().seek(5.0, false); }, 0, 310},
        {"a short seek repaints a narrow strip", [&] { store().seek(5.2, false); }, 290, 325},
        {"playback repaints the strip it crossed",
         [&] {
             store().togglePlayPause();
             rig.play(0.5);
         },
         305, 350},
        {"a zoom repaints everything", [&] { store().waveformZoom = 2.0; }, 0, 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<QRect> paints = paintsAfter(c.change);
        ASSERT_FALSE(paints.empty());
        for (const QRect& painted : paints) {
            EXPECT_GE(painted.left(), c.left);
            EXPECT_LE(painted.right(), c.right);
        }
    }
}

} // namespace
} // namespace tindrel
