// Drives the real `tindrel` under a window manager (openbox) on an X display (run under
// xvfb-run) with real input through the X server's test extension (xdotool), as a user's hands
// would, playing the file it was started with:
//   - a click on the waveform while paused resumes playback and the status line says so, as the
//     play command's does;
//   - Return in the SPEED field commits the typed speed and does not also jump to the start;
//   - a Shift-drag on the waveform sweeps a range and leaves the window where it is;
//   - a file dragged from another program (XDND) onto the crate's filter field is played, not
//     typed into the field.
// Places in the window are taken from its layout at its starting size, 1240 x 700.
// Usage: TindrelHandsDriver <tindrel> <audio file> <second audio file>
// Exit status 0 when all of that happened; otherwise the number of the step that failed.

#include "tests/shell/XcbWindows.h"

#include <QDrag>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QPixmap>
#include <QProcess>
#include <QRasterWindow>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>

using namespace tindrel::test;

namespace {

enum Failure {
    noWindowManager = 10,
    noWindow = 11,
    neverSettled = 12,
    clickDidNotResume = 13,
    statusStale = 14,
    typedReturnJumped = 15,
    shiftDragMovedWindow = 16,
    shiftDragSetNoRange = 17,
    dropNotPlayed = 18,
};

// Unchanged shots in a row that count as still: longer than a text caret's blink.
constexpr int settledPolls = 14;

// Places in the window's client area at 1240 x 700.
const QPoint waveformLeft(450, 330);
const QPoint waveformRight(800, 330);
const QPoint speedField(1166, 584);
const QPoint crateFilter(164, 104);
const QRect statusLine(26, 668, 480, 22);

bool xdotool(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

QString number(int value) {
    return QString::number(value);
}

// Runs the event loop for a while: a drop's target asks its source for the data after the
// drop, and both ends of a drag answer each other meanwhile.
void keepAnswering(int ms) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (elapsed.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

class XDisplay : public XcbDisplay {
public:
    QRect client() const { return rootGeometry(connection, window, root); }
    QImage shot() const { return QGuiApplication::primaryScreen()->grabWindow(window).toImage(); }
    QPoint at(QPoint inClient) const { return client().topLeft() + inClient; }
    bool moveTo(QPoint inClient) const {
        const QPoint p = at(inClient);
        return xdotool({"mousemove", number(p.x()), number(p.y())});
    }
    bool clickAt(QPoint inClient) const { return moveTo(inClient) && xdotool({"click", "1"}); }

    // Waits until the window stops changing (paused, nothing in motion); returns its last shot.
    std::optional<QImage> settled() const {
        QImage previous;
        int unchanged = 0;
        std::optional<QImage> still;
        pollUntil([&] {
            const QImage now = shot();
            unchanged = now == previous ? unchanged + 1 : 0;
            previous = now;
            if (unchanged >= settledPolls)
                still = now;
            return still.has_value();
        });
        return still;
    }
    // Whether the window keeps changing, as it does while the playhead runs.
    bool keepsChanging() const {
        QImage previous = shot();
        int changes = 0;
        for (int i = 0; i < 20 && changes < 5; ++i) {
            keepAnswering(pollIntervalMs * 2);
            const QImage now = shot();
            changes += now != previous;
            previous = now;
        }
        return changes >= 5;
    }
    QImage status() const { return shot().copy(statusLine); }

    xcb_window_t window = 0;
};

// Another program's window that a drag of a file starts from.
class DragSource : public QRasterWindow {
public:
    DragSource(QUrl file, QPoint target) : file_(std::move(file)), target_(target) {
        setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
        setGeometry(1300, 800, 80, 80);
    }
    bool dropped = false;

protected:
    void paintEvent(QPaintEvent*) override {}
    void mousePressEvent(QMouseEvent*) override {
        auto* data = new QMimeData;
        data->setUrls({file_});
        data->setText(file_.toString()); // file managers offer the link as text too
        // Qt owns the drag: the target asks for its data after the drop.
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        // The pointer travels in steps, as a hand's does, rests on the target and lets go.
        QTimer::singleShot(300, this, [this] {
            const QPoint start = geometry().center();
            for (int step = 1; step <= 8; ++step) {
                const QPoint p = start + (target_ - start) * step / 8;
                xdotool({"mousemove", number(p.x()), number(p.y())});
                keepAnswering(150);
            }
            xdotool({"mousemove", number(target_.x() + 2), number(target_.y() + 1)});
            keepAnswering(800);
            xdotool({"mouseup", "1"});
        });
        dropped = drag->exec(Qt::CopyAction) != Qt::IgnoreAction;
    }

private:
    QUrl file_;
    QPoint target_;
};

int run(XDisplay& display, QProcess& program, const QUrl& secondFile) {
    program.start();
    const bool shown = pollUntil([&] {
        const auto window =
            findMappedWindow(display.connection, display.root, "Tindrel", true, QSize(1180, 660));
        display.window = window.value_or(0);
        return window && looksPainted(display.shot());
    });
    if (!shown)
        return noWindow;
    if (!display.keepsChanging())
        return clickDidNotResume;

    // Paused, then a click on the waveform: playing again, and saying so.
    xdotool({"key", "space"});
    if (!display.settled())
        return neverSettled;
    if (!display.clickAt(waveformLeft) || !display.keepsChanging())
        return clickDidNotResume;
    const QImage afterClick = display.status();
    // The play command's own words, for comparison: pause, then play.
    xdotool({"key", "space"});
    if (!display.settled())
        return neverSettled;
    xdotool({"key", "space"});
    if (!display.keepsChanging() || display.status() != afterClick)
        return statusStale;

    // Paused away from the start, a speed typed and committed with Return. A Return after it
    // must still move the playhead: the field's Return did not jump already.
    xdotool({"key", "space"});
    if (!display.settled())
        return neverSettled;
    display.clickAt(speedField);
    xdotool({"key", "ctrl+a"});
    xdotool({"type", "1.5x"});
    xdotool({"key", "Return"});
    const std::optional<QImage> committed = display.settled();
    if (!committed)
        return neverSettled;
    xdotool({"key", "Return"});
    const std::optional<QImage> atStart = display.settled();
    if (!atStart || *atStart == *committed)
        return typedReturnJumped;

    // A Shift-drag sweeps a range; the window manager leaves the window alone.
    const QRect before = display.client();
    const QImage statusBefore = display.status();
    display.moveTo(waveformLeft);
    xdotool({"keydown", "shift"});
    xdotool({"mousedown", "1"});
    display.moveTo((waveformLeft + waveformRight) / 2);
    display.moveTo(waveformRight);
    xdotool({"mouseup", "1"});
    xdotool({"keyup", "shift"});
    if (!display.settled())
        return neverSettled;
    if (display.client() != before)
        return shiftDragMovedWindow;
    if (display.status() == statusBefore)
        return shiftDragSetNoRange;

    // Paused still: a file dragged onto the filter field is opened and played.
    DragSource source(secondFile, display.at(crateFilter));
    source.show();
    if (!pollUntil([&] { return source.isExposed(); }))
        return dropNotPlayed;
    const QPoint grip = source.geometry().center();
    xdotool({"mousemove", number(grip.x()), number(grip.y())});
    xdotool({"mousedown", "1"});
    if (!pollUntil([&] { return source.dropped; }) || !display.keepsChanging())
        return dropNotPlayed;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <tindrel> <audio file> <second audio file>\n", argv[0]);
        return 2;
    }
    XDisplay display;
    if (xcb_connection_has_error(display.connection))
        return 3;
    QProcess windowManager;
    if (!startWindowManager(display, windowManager))
        return noWindowManager;

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.setProgram(QString::fromLocal8Bit(argv[1]));
    program.setArguments({QString::fromLocal8Bit(argv[2])});
    const int result = run(display, program, QUrl::fromLocalFile(QString::fromLocal8Bit(argv[3])));
    stopProgram(program);
    stopProgram(windowManager);
    std::printf("driver result: %d\n", result);
    return result;
}
