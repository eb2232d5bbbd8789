// Drives the real `tindrel` under a window manager (openbox) on an X display (run under
// xvfb-run).
//   work:      for each way out (the window manager's close, asked for as a pager asks;
//              Ctrl+Q; the header's Exit button), once in the middle of a decode and once in
//              the middle of an export, it starts the program, waits until the work is under
//              way, takes the way out and waits for the program to end.
//   hand-over: beside a tray host (trayer), for each way out (those three, SIGTERM and the
//              mini player's Exit, opened from the tray icon), it starts the program on a file
//              that plays as it is, hands it a file to decode with a second launch, lets that
//              decode finish, hands over another and takes the way out in the middle of its
//              decode. The first file's decoded copy is removed afterwards, so that each run
//              decodes it again; the instance socket must be gone.
// Prints how long each way out took to end the program. The caller checks that the work left
// nothing behind. Places in the window are taken from its layout at its starting size,
// 1240 x 700.
//
// Usage: TindrelWayOutDriver <tindrel> work <file that needs decoding> <file to export>
//        TindrelWayOutDriver <tindrel> hand-over <file that plays> <file to decode to the end>
//                            <file to decode>
// Exit status 0 when every run ended with status 0; otherwise the number of the failed step.

#include "tests/shell/XcbWindows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
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
    handOverRefused = 16,
    diedAfterHandOver = 17,
    socketLeft = 18,
    noTray = 19,
};

const QPoint exportButton(690, 30);
const QPoint exitButton(1196, 30);
const QPoint speedOneAndAQuarter(967, 584);

bool xdotool(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

// A file the process has open whose path contains `part` and is not `besides`.
std::optional<std::string> openFile(qint64 pid, const std::string& part,
                                    const std::string& besides = {}) {
    std::error_code error;
    const std::filesystem::path folder = "/proc/" + std::to_string(pid) + "/fd";
    for (std::filesystem::directory_iterator entries(folder, error), end; !error && entries != end;
         entries.increment(error)) {
        std::error_code unreadable;
        const std::string target = std::filesystem::read_symlink(entries->path(), unreadable);
        if (!unreadable && target.find(part) != std::string::npos && target != besides)
            return target;
    }
    return std::nullopt;
}

bool hasFileOpen(qint64 pid, const std::string& part, const std::string& besides = {}) {
    return openFile(pid, part, besides).has_value();
}

struct WayOut {
    const char* name;
    std::function<bool(const XcbDisplay& display, xcb_window_t window, QProcess& program)> take;
};

QPoint onRoot(const XcbDisplay& display, xcb_window_t window, QPoint inClient) {
    return rootGeometry(display.connection, window, display.root).topLeft() + inClient;
}

bool clickAt(QPoint onRootWindow) {
    return xdotool({"mousemove", QString::number(onRootWindow.x()),
                    QString::number(onRootWindow.y())}) &&
           xdotool({"click", "1"});
}

bool click(const XcbDisplay& display, xcb_window_t window, QPoint inClient) {
    return clickAt(onRoot(display, window, inClient));
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

// The tray icon opens the mini player; its Exit button sits at the right of its last row,
// 40 x 36 pixels in from its lower right corner while a file is loaded.
bool clickTrayExit(const XcbDisplay& display) {
    const auto panel = findMappedWindow(display.connection, display.root, "panel", true);
    const auto icon =
        panel ? findMappedWindow(display.connection, *panel, "Tindrel", true) : std::nullopt;
    if (!icon || !clickAt(rootGeometry(display.connection, *icon, display.root).center()))
        return false;
    const QSize popoverSize(410, 255);
    std::optional<xcb_window_t> popover;
    pollUntil([&] {
        popover = findMappedWindow(display.connection, display.root, "Tindrel", false, popoverSize);
        return popover &&
               rootGeometry(display.connection, *popover, display.root).size() == popoverSize;
    });
    if (!popover)
        return false;
    const QRect placed = rootGeometry(display.connection, *popover, display.root);
    return clickAt(placed.bottomRight() - QPoint(40, 36));
}

using Take = std::function<bool(const XcbDisplay&, xcb_window_t, QProcess&)>;
const Take closeByWindowManager = [](const XcbDisplay& display, xcb_window_t window, QProcess&) {
    return askWindowManagerToClose(display, window);
};
const Take ctrlQ = [](const XcbDisplay& display, xcb_window_t window, QProcess&) {
    return pressCtrlQ(display, window);
};
const Take exitInTheHeader = [](const XcbDisplay& display, xcb_window_t window, QProcess&) {
    return clickExit(display, window);
};

const WayOut wayOuts[] = {
    {"close", closeByWindowManager},
    {"ctrl+q", ctrlQ},
    {"exit", exitInTheHeader},
};

const WayOut handOverWayOuts[] = {
    {"sigterm",
     [](const XcbDisplay&, xcb_window_t, QProcess& program) {
         return ::kill(static_cast<pid_t>(program.processId()), SIGTERM) == 0;
     }},
    {"close", closeByWindowManager},
    {"exit", exitInTheHeader},
    {"tray exit",
     [](const XcbDisplay& display, xcb_window_t, QProcess&) { return clickTrayExit(display); }},
    {"ctrl+q", ctrlQ},
};

// The main window of a program just started, once it is mapped; 0 when it never is.
xcb_window_t mainWindowOf(const XcbDisplay& display) {
    xcb_window_t window = 0;
    pollUntil([&] {
        const auto found =
            findMappedWindow(display.connection, display.root, "Tindrel", true, QSize(1180, 660));
        window = found.value_or(0);
        return found.has_value();
    });
    return window;
}

// Takes the way out and waits for the program's end; 0 when it ended with status 0.
int endThroughWayOut(const XcbDisplay& display, xcb_window_t window, QProcess& tindrel,
                     const WayOut& wayOut, const char* during) {
    QElapsedTimer sinceWayOut;
    sinceWayOut.start();
    if (!wayOut.take(display, window, tindrel)) {
        stopProgram(tindrel);
        return wayOutFailed;
    }
    const bool ended = pollUntil([&] { return tindrel.state() == QProcess::NotRunning; });
    std::printf("%s during %s: ended after %lld ms\n", wayOut.name, during,
                static_cast<long long>(sinceWayOut.elapsed()));
    std::fflush(stdout);
    if (!ended) {
        stopProgram(tindrel);
        return neverEnded;
    }
    return tindrel.exitStatus() == QProcess::NormalExit && tindrel.exitCode() == 0 ? 0 : endedBadly;
}

// A second launch with `file`, as a file manager starts one: it hands the file over and ends.
bool handOver(const QString& program, const std::string& file) {
    QProcess later;
    later.setProcessChannelMode(QProcess::ForwardedChannels);
    later.start(program, {QString::fromStdString(file)});
    const bool ended = pollUntil([&] { return later.state() == QProcess::NotRunning; });
    if (!ended)
        stopProgram(later);
    return ended && later.exitStatus() == QProcess::NormalExit && later.exitCode() == 0;
}

int runOnce(const XcbDisplay& display, const QString& program, const std::string& file,
            bool exporting, const WayOut& wayOut) {
    QProcess tindrel;
    tindrel.setProcessChannelMode(QProcess::ForwardedChannels);
    tindrel.start(program, {QString::fromStdString(file)});
    const xcb_window_t window = mainWindowOf(display);
    if (window == 0) {
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
    return endThroughWayOut(display, window, tindrel, wayOut, exporting ? "an export" : "a decode");
}

int runHandOver(const XcbDisplay& display, const QString& program, const std::string& plays,
                const std::string& decodedToTheEnd, const std::string& decoded,
                const WayOut& wayOut) {
    QProcess tindrel;
    tindrel.setProcessChannelMode(QProcess::ForwardedChannels);
    tindrel.start(program, {QString::fromStdString(plays)});
    const xcb_window_t window = mainWindowOf(display);
    if (window == 0 || !pollUntil([&] { return hasFileOpen(tindrel.processId(), plays); })) {
        stopProgram(tindrel);
        return noWindow;
    }
    const auto running = [&] { return tindrel.state() == QProcess::Running; };
    // The decoded copy of the first file is named after it once the decode is over.
    const std::string copyName = std::filesystem::path(decodedToTheEnd).stem().string() + "_";
    std::optional<std::string> copy;
    const bool finished = handOver(program, decodedToTheEnd) && pollUntil([&] {
                              copy = openFile(tindrel.processId(), copyName);
                              return copy || !running();
                          });
    // A program that died at the end of the decode leaves the next launch to take its place.
    const bool decoding =
        finished && copy && running() && handOver(program, decoded) &&
        pollUntil([&] { return hasFileOpen(tindrel.processId(), decoded) || !running(); }) &&
        running();
    int result = 0;
    if (!finished || !decoding) {
        const bool died = !running();
        stopProgram(tindrel);
        result = died ? diedAfterHandOver : handOverRefused;
    } else {
        result = endThroughWayOut(display, window, tindrel, wayOut, "a handed-over decode");
    }
    std::error_code ignored;
    if (copy)
        std::filesystem::remove(*copy, ignored);
    const std::string socket =
        qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString() + "/tindrel.socket";
    if (result == 0 && std::filesystem::exists(socket))
        result = socketLeft;
    return result;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    const bool work = arguments.size() == 5 && arguments[2] == "work";
    const bool handingOver = arguments.size() == 6 && arguments[2] == "hand-over";
    if (!work && !handingOver) {
        std::fprintf(stderr,
                     "usage: %s <tindrel> work <file to decode> <file to export>\n"
                     "       %s <tindrel> hand-over <file that plays> <file to decode to the "
                     "end> <file to decode>\n",
                     argv[0], argv[0]);
        return 2;
    }
    XcbDisplay display;
    if (xcb_connection_has_error(display.connection))
        return 3;
    QProcess windowManager;
    const bool managed = startWindowManager(display, windowManager);
    int result = managed ? 0 : noWindowManager;
    const QString program = QString::fromLocal8Bit(argv[1]);
    if (work) {
        for (const bool exporting : {false, true}) {
            for (const WayOut& wayOut : wayOuts) {
                if (result == 0)
                    result =
                        runOnce(display, program, exporting ? argv[4] : argv[3], exporting, wayOut);
            }
        }
    } else {
        QProcess trayer;
        trayer.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                "--width", "120", "--height", "28", "--SetDockType", "true",
                                "--SetPartialStrut", "true", "--transparent", "false"});
        if (result == 0 && !pollUntil([&] {
                return findMappedWindow(display.connection, display.root, "panel", true)
                    .has_value();
            }))
            result = noTray;
        for (const WayOut& wayOut : handOverWayOuts) {
            if (result == 0)
                result = runHandOver(display, program, argv[3], argv[4], argv[5], wayOut);
        }
        stopProgram(trayer);
    }
    stopProgram(windowManager);
    std::printf("driver result: %d\n", result);
    return result;
}
