// Drives the real `tindrel` with "--background" on an X display (run under xvfb-run), with or
// without a tray host (trayer).
//   with a tray:    the icon is embedded in the tray and no window shows; a click on the icon
//                   (xdotool) opens the mini player, which is screenshot; a second click
//                   closes it; when the tray host quits, the main window shows.
//   without a tray: the main window shows; a tray host started afterwards gets the icon.
// Usage: TindrelTrayDriver <tindrel> tray|no-tray <screenshot.png>
// Exit status 0 when all of that happened; otherwise the number of the step that failed.

#include "tests/shell/XcbWindows.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QThread>

#include <cstdio>
#include <functional>
#include <optional>

using namespace tindrel::test;

namespace {

enum Failure {
    noTrayPanel = 10,
    noIcon = 11,
    windowShownInBackground = 12,
    noPopover = 13,
    screenshotNotSaved = 14,
    popoverStillOpen = 15,
    noWindowAfterTrayQuit = 16,
    noWindowWithoutTray = 20,
    iconNotPickedUpLater = 21,
};

// Polls `found` until it answers or the bound runs out.
template <typename T> std::optional<T> waitFor(const std::function<std::optional<T>()>& found) {
    std::optional<T> value;
    pollUntil([&] { return (value = found()).has_value(); });
    return value;
}

class XServer : public XcbDisplay {
public:
    std::optional<xcb_window_t> mapped(const char* name, QSize minimum = {}, bool deep = false,
                                       std::optional<xcb_window_t> under = std::nullopt) const {
        return findMappedWindow(connection, under.value_or(root), name, deep, minimum);
    }
    std::optional<xcb_window_t> trayIcon(xcb_window_t panel) const {
        return mapped("Tindrel", {}, true, panel);
    }
    std::optional<xcb_window_t> mainWindow() const { return mapped("Tindrel", {1180, 660}); }
    // The popup, drawn.
    std::optional<xcb_window_t> popover() const {
        const std::optional<xcb_window_t> window = mapped("Tindrel", {410, 255});
        if (!window || rootGeometry(connection, *window, root).size() != QSize(410, 255))
            return std::nullopt;
        return looksPainted(grab(*window)) ? window : std::nullopt;
    }
    QImage grab(xcb_window_t window) const {
        return QGuiApplication::primaryScreen()->grabWindow(window).toImage();
    }
    void click(xcb_window_t window) const {
        const QPoint centre = rootGeometry(connection, window, root).center();
        QProcess::execute("xdotool", {"mousemove", QString::number(centre.x()),
                                      QString::number(centre.y()), "click", "1"});
    }
};

void startTray(QProcess& trayer) {
    trayer.start("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                            "120", "--height", "28", "--SetDockType", "true", "--SetPartialStrut",
                            "true", "--transparent", "false"});
}

int runWithTray(XServer& display, QProcess& trayer, QProcess& program,
                const QString& screenshotPath) {
    startTray(trayer);
    const auto panel = waitFor<xcb_window_t>([&] { return display.mapped("panel"); });
    if (!panel)
        return noTrayPanel;
    program.start();
    const auto icon = waitFor<xcb_window_t>([&] { return display.trayIcon(*panel); });
    if (!icon)
        return noIcon;
    if (display.mainWindow())
        return windowShownInBackground;

    display.click(*icon);
    const auto popover = waitFor<xcb_window_t>([&] { return display.popover(); });
    if (!popover)
        return noPopover;
    if (!display.grab(*popover).save(screenshotPath))
        return screenshotNotSaved;

    // The press outside closes the popup, and the same click reaching the icon must not
    // reopen it.
    display.click(*icon);
    const auto closed = waitFor<bool>([&]() -> std::optional<bool> {
        if (isViewable(display.connection, *popover))
            return std::nullopt;
        return true;
    });
    // Long enough for a wrongly reopened popup to be mapped again.
    QThread::msleep(300);
    if (!closed || isViewable(display.connection, *popover))
        return popoverStillOpen;

    stopProgram(trayer);
    if (!waitFor<xcb_window_t>([&] { return display.mainWindow(); }))
        return noWindowAfterTrayQuit;
    return 0;
}

int runWithoutTray(XServer& display, QProcess& trayer, QProcess& program) {
    program.start();
    if (!waitFor<xcb_window_t>([&] { return display.mainWindow(); }))
        return noWindowWithoutTray;
    startTray(trayer);
    const auto panel = waitFor<xcb_window_t>([&] { return display.mapped("panel"); });
    if (!panel)
        return noTrayPanel;
    if (!waitFor<xcb_window_t>([&] { return display.trayIcon(*panel); }))
        return iconNotPickedUpLater;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <tindrel> tray|no-tray <screenshot.png>\n", argv[0]);
        return 2;
    }
    XServer display;
    if (xcb_connection_has_error(display.connection))
        return 3;
    QProcess trayer;
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.setProgram(QString::fromLocal8Bit(argv[1]));
    program.setArguments({"--background"});

    const bool withTray = QByteArray(argv[2]) == "tray";
    const int result = withTray
                           ? runWithTray(display, trayer, program, QString::fromLocal8Bit(argv[3]))
                           : runWithoutTray(display, trayer, program);
    stopProgram(program);
    stopProgram(trayer);
    std::printf("driver result: %d\n", result);
    return result;
}
