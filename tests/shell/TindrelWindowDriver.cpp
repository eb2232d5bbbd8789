// Drives the real `tindrel` program on an X display (run under xvfb-run): starts it with the
// given arguments, waits for its main window to be mapped, painted and settled (a loaded file
// that is not playing leaves it still), presses a real Space key through the X server's test
// extension (xdotool), waits until the window shows playback (it changes, then keeps changing
// as the playhead runs), saves a screenshot of that window, closes it the way a window
// manager does (WM_DELETE_WINDOW) and waits for the program to end.
// Usage: TindrelWindowDriver <tindrel> <screenshot.png> [program arguments...]
// Exit status 0 when all of that happened and the program exited 0.

#include "tests/shell/XcbWindows.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

using namespace tindrel::test;

namespace {

// The bound on a hung start, not a timing under test; longer than the shared polling bound.
constexpr int maxStartPolls = 600;
// Unchanged shots in a row that count as settled: longer than a text caret's blink, so a
// field that still has the keyboard shows itself.
constexpr int settledPolls = 12;

void focusWindow(xcb_connection_t* connection, xcb_window_t window) {
    xcb_set_input_focus(connection, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    xcb_flush(connection);
}

// A key press as from the keyboard (XTEST), to the window that has the input focus.
bool pressKey(const char* keyName) {
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("key"), QString::fromLatin1(keyName)}) == 0;
}

void sendDeleteWindow(xcb_connection_t* connection, xcb_window_t window) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(connection, "WM_PROTOCOLS");
    event.data.data32[0] = atom(connection, "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(connection);
}

} // namespace

// What the driver waits for next, in order.
enum class Stage { window, settled, playing, running };

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <tindrel> <screenshot.png> [arguments...]\n", argv[0]);
        return 2;
    }
    const QString screenshotPath = QString::fromLocal8Bit(argv[2]);
    QStringList programArguments;
    for (int i = 3; i < argc; ++i)
        programArguments << QString::fromLocal8Bit(argv[i]);

    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection))
        return 3;
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(QString::fromLocal8Bit(argv[1]), programArguments);
    if (!program.waitForStarted())
        return 4;

    // 5: no window, 8: never settled, 9: Space did not start playback.
    const std::map<Stage, int> failures{
        {Stage::window, 5}, {Stage::settled, 8}, {Stage::playing, 9}, {Stage::running, 9}};
    Stage stage = Stage::window;
    int result = 0;
    int polls = 0;
    int unchangedPolls = 0;
    std::optional<xcb_window_t> window;
    QImage previous;
    QTimer poll;
    const auto finish = [&](int code) {
        result = code;
        poll.stop();
        app.exit();
    };
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (++polls > maxStartPolls || program.state() == QProcess::NotRunning)
            return finish(failures.at(stage));
        if (!window)
            window = findMappedWindow(connection, root, "Tindrel", false, QSize(1180, 660));
        if (!window)
            return;
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(*window).toImage();
        if (!looksPainted(shot))
            return;
        switch (stage) {
        case Stage::window:
            stage = Stage::settled;
            break;
        case Stage::settled:
            unchangedPolls = shot == previous ? unchangedPolls + 1 : 0;
            if (unchangedPolls < settledPolls)
                break;
            focusWindow(connection, *window);
            if (!pressKey("space"))
                return finish(10);
            stage = Stage::playing;
            break;
        case Stage::playing:
            if (shot == previous)
                return;
            stage = Stage::running;
            break;
        case Stage::running:
            if (shot == previous)
                return;
            if (!shot.save(screenshotPath))
                return finish(7);
            sendDeleteWindow(connection, *window);
            return finish(6); // 6 until the program is seen to end cleanly
        }
        previous = shot;
    });
    poll.start(pollIntervalMs);
    app.exec();

    if (result == 6) {
        if (program.waitForFinished(maxStartPolls * pollIntervalMs) &&
            program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0)
            result = 0;
    }
    if (program.state() != QProcess::NotRunning) {
        program.kill();
        program.waitForFinished();
    }
    xcb_disconnect(connection);
    std::printf("driver result: %d\n", result);
    return result;
}
