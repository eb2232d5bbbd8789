// Drives the real `tindrel` program on an X display (run under xvfb-run): starts it with one
// file, waits for its main window to be mapped, saves a screenshot of that window, closes it
// the way a window manager does (WM_DELETE_WINDOW) and waits for the program to end.
// Usage: TindrelWindowDriver <tindrel> <audio file> <screenshot.png>
// Exit status 0 when the window appeared, the screenshot was saved and the program exited 0.

#include "tests/shell/XcbWindows.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

using namespace tindrel::test;

namespace {

// Bounds on a hung program, not timings under test.
constexpr int pollIntervalMs = 50;
constexpr int maxPolls = 600;

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

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <tindrel> <audio file> <screenshot.png>\n", argv[0]);
        return 2;
    }
    const QString screenshotPath = QString::fromLocal8Bit(argv[3]);

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
    program.start(QString::fromLocal8Bit(argv[1]), {QString::fromLocal8Bit(argv[2])});
    if (!program.waitForStarted())
        return 4;

    int result = 5; // window never shown
    int polls = 0;
    std::optional<xcb_window_t> window;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (++polls > maxPolls || program.state() == QProcess::NotRunning) {
            poll.stop();
            app.exit();
            return;
        }
        if (!window)
            window = findMappedWindow(connection, root, "Tindrel", false, QSize(1180, 660));
        if (!window)
            return;
        const QImage shot = QGuiApplication::primaryScreen()->grabWindow(*window).toImage();
        if (!looksPainted(shot))
            return;
        poll.stop();
        result = shot.save(screenshotPath) ? 6 : 7; // 6: closing did not end the program
        sendDeleteWindow(connection, *window);
        app.exit();
    });
    poll.start(pollIntervalMs);
    app.exec();

    if (result == 6) {
        if (program.waitForFinished(maxPolls * pollIntervalMs) &&
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
