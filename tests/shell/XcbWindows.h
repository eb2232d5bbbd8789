#pragma once

// Small X11 look-ups for the programs that drive the real `tindrel` under xvfb-run: the display
// and its root, windows by name, whether they are mapped, where they are on the root window,
// and whether a grabbed image looks drawn; and the way those programs end what they started.
// Single-threaded.

#include <QImage>
#include <QRect>

class QProcess;

#include <xcb/xcb.h>

#include <functional>
#include <optional>
#include <string>

namespace tindrel::test {

// The connection to $DISPLAY and its screen's root window, for the object's lifetime.
struct XcbDisplay {
    XcbDisplay();
    ~XcbDisplay();
    XcbDisplay(const XcbDisplay&) = delete;
    XcbDisplay& operator=(const XcbDisplay&) = delete;

    xcb_connection_t* connection;
    xcb_window_t root;
};

xcb_atom_t atom(xcb_connection_t* connection, const char* name);
// _NET_WM_NAME, or WM_NAME without it.
std::string windowName(xcb_connection_t* connection, xcb_window_t window);
bool isViewable(xcb_connection_t* connection, xcb_window_t window);
// The window's rectangle in root coordinates; empty when it is gone.
QRect rootGeometry(xcb_connection_t* connection, xcb_window_t window, xcb_window_t root);
// A mapped child of `parent` (only direct children unless `deep`) with this name and, when
// `minimumSize` is given, at least that size.
std::optional<xcb_window_t> findMappedWindow(xcb_connection_t* connection, xcb_window_t parent,
                                             const std::string& name, bool deep = false,
                                             QSize minimumSize = QSize());
// A drawn window shows many colours; a freshly mapped, unpainted one shows one or two.
bool looksPainted(const QImage& image);
// Asks a started program to end (SIGTERM), and kills it when it has not within 5 s.
void stopProgram(QProcess& process);

// The drivers' polling step, and their bound on a hung program (not a timing under test).
constexpr int pollIntervalMs = 50;
constexpr int maxPolls = 400;
// Runs the event loop and asks `done` every poll until it answers true or the bound runs out.
bool pollUntil(const std::function<bool()>& done);
// Starts openbox in `windowManager` and waits until it manages the display; false when it does
// not within the bound.
bool startWindowManager(const XcbDisplay& display, QProcess& windowManager);

} // namespace tindrel::test
