// Drives the real `tindrel` under a window manager (openbox) on an X display (run under
// xvfb-run): for each way out (the window manager's close, asked for as a pager asks; Ctrl+Q;
// the header's Exit button), once in the middle of a decode and once in the middle of an
// export, it starts the program, waits until the work is under way, takes the way out and
// waits for the program to end. Prints how long each took from the way out to the end. The
// caller checks that the work left nothing behind. Places in the window are taken from its
// layout at its starting size, 1240 x 700.
//
// Usage: TindrelWayOutDriver <tindrel> <file that needs decoding> <file to export>
// Exit status 0 when every run ended with status 0; otherwise the number of the failed step.

#include "tests/shell/XcbWindows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>

#include <cstdio>
#include <filesystem>
#include <string>

using namespace tindrel::test;

namespace {

enum Failure {
    noWindowManager = 10,
    noWindow = 11,
    workNeverStarted = 12,
    wayOutFailed = 13,
    neverEnded = 14,
    endedBadly = 15,
};

const QPoint exportButton(690, 30);
const QPoint exitButton(1196, 30);
const QPoint speedOneAndAQuarter(967, 584);

bool xdotool(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// Whether the process has a file open whose path contains `part` and is not `besides`.
bool hasFileOpen(qint64 pid, const std::string& part, const std::string& besides = {}) {
    std::error_code error;
    const std::filesystem::path folder = "/proc/" + std::to_string(pid) + "/fd";
    for (std::filesystem::directory_iterator entries(folder, error), end; !error && entries != end;
         entries.increment(error)) {
        std::error_code unreadable;
        const std::string target = std::filesystem::read_symlink(entries->path(), unreadable);
        if (!unreadable && target.find(part) != std::string::npos && target != besides)
            return true;
    }
    return false;
}

struct WayOut {
    const char* name;
    bool (*take)(const XcbDisplay& display, xcb_window_t window);
};

QPoint onRoot(const XcbDisplay& display, xcb_window_t window, QPoint inClient) {
    return rootGeometry(display.connection, window, display.root).topLeft() + inClient;
}

bool click(const XcbDisplay& display, xcb_window_t window, QPoint inClient) {
    const QPoint p = onRoot(display, window, inClient);
    return xdotool({"mousemove", QString::number(p.x()), QString::number(p.y())}) &&
           xdotool({"click", "1"});
}

// As a pager or the title bar's close button does: the window manager then asks the program
// to close its window (WM_DELETE_WINDOW).
bool askWindowManagerToClose(const XcbDisplay& display, xcb_window_t window) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = atom(display.connection, "_NET_CLOSE_WINDOW");
    event.data.data32[0] = XCB_CURRENT_TIME;
    event.data.data32[1] = 2; // a user's request, through a pager
    xcb_send_event(display.connection, 0, display.root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char*>(&event));
    xcb_flush(display.connection);
    return true;
}

bool pressCtrlQ(const XcbDisplay&, xcb_window_t) {
    return xdotool({"key", "ctrl+q"});
}

bool clickExit(const XcbDisplay& display, xcb_window_t window) {
    return click(display, window, exitButton);
}

const WayOut wayOuts[] = {
    {"close", &askWindowManagerToClose},
    {"ctrl+q", &pressCtrlQ},
    {"exit", &clickExit},
};

int runOnce(const XcbDisplay& display, const QString& program, const std::string& file,
            bool exporting, const WayOut& wayOut) {
    QProcess tindrel;
    tindrel.setProcessChannelMode(QProcess::ForwardedChannels);
    tindrel.start(program, {QString::fromStdString(file)});
    xcb_window_t window = 0;
    const bool shown = pollUntil([&] {
        const auto found =
            findMappedWindow(display.connection, display.root, "Tindrel", true, QSize(1180, 660));
        window = found.value_or(0);
        return found.has_value();
    });
    if (!shown) {
        stopProgram(tindrel);
        return noWindow;
    }
    if (exporting) {
        // Loaded and playing first: the export renders the file at 1.25x beside it.
        pollUntil([&] { return hasFileOpen(tindrel.processId(), file); });
        click(display, window, speedOneAndAQuarter);
        click(display, window, exportButton);
    }
    const std::string folder = std::filesystem::path(file).parent_path().string();
    const bool working = pollUntil([&] {
        return exporting ? hasFileOpen(tindrel.processId(), folder, file)
                         : hasFileOpen(tindrel.processId(), "tindrel-pcm");
    });
    if (!working) {
        stopProgram(tindrel);
        return workNeverStarted;
    }
    QElapsedTimer sinceWayOut;
    sinceWayOut.start();
    if (!wayOut.take(display, window)) {
        stopProgram(tindrel);
        return wayOutFailed;
    }
    const bool ended = pollUntil([&] { return tindrel.state() == QProcess::NotRunning; });
    std::printf("%s during %s: ended after %lld ms\n", wayOut.name,
                exporting ? "an export" : "a decode",
                static_cast<long long>(sinceWayOut.elapsed()));
    std::fflush(stdout);
    if (!ended) {
        stopProgram(tindrel);
        return neverEnded;
    }
    return tindrel.exitStatus() == QProcess::NormalExit && tindrel.exitCode() == 0 ? 0 : endedBadly;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <tindrel> <file to decode> <file to export>\n", argv[0]);
        return 2;
    }
    XcbDisplay display;
    if (xcb_connection_has_error(display.connection))
        return 3;
    QProcess windowManager;
    const bool managed = startWindowManager(display, windowManager);
    int result = managed ? 0 : noWindowManager;
    for (const bool exporting : {false, true}) {
        for (const WayOut& wayOut : wayOuts) {
            if (result == 0)
                result = runOnce(display, QString::fromLocal8Bit(argv[1]),
                                 exporting ? argv[3] : argv[2], exporting, wayOut);
        }
    }
    stopProgram(windowManager);
    std::printf("driver result: %d\n", result);
    return result;
}
