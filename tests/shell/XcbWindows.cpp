#include "tests/shell/XcbWindows.h"

#include <QCoreApplication>
#include <QProcess>
#include <QSet>
#include <QThread>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace tindrel::test {

namespace {

template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

} // namespace

XcbDisplay::XcbDisplay() {
    int screenNumber = 0;
    connection = xcb_connect(nullptr, &screenNumber);
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&screens);
    root = screens.data->root;
}

XcbDisplay::~XcbDisplay() {
    xcb_disconnect(connection);
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name) {
    XcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, uint16_t(strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

namespace {

std::string textProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property) {
    XcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(
            connection,
            xcb_get_property(connection, 0, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
            nullptr),
        &std::free);
    if (!reply)
        return {};
    return std::string(static_cast<const char*>(xcb_get_property_value(reply.get())),
                       size_t(xcb_get_property_value_length(reply.get())));
}

} // namespace

std::string windowName(xcb_connection_t* connection, xcb_window_t window) {
    // Qt leaves WM_NAME empty on some windows (a tray icon docked late) and names them in
    // _NET_WM_NAME only.
    const std::string name = textProperty(connection, window, atom(connection, "_NET_WM_NAME"));
    return name.empty() ? textProperty(connection, window, XCB_ATOM_WM_NAME) : name;
}

bool isViewable(xcb_connection_t* connection, xcb_window_t window) {
    XcbReply<xcb_get_window_attributes_reply_t> reply(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, window),
                                        nullptr),
        &std::free);
    return reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
}

QRect rootGeometry(xcb_connection_t* connection, xcb_window_t window, xcb_window_t root) {
    XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr),
        &std::free);
    XcbReply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(
            connection, xcb_translate_coordinates(connection, window, root, 0, 0), nullptr),
        &std::free);
    if (!geometry || !origin)
        return {};
    return QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
}

std::optional<xcb_window_t> findMappedWindow(xcb_connection_t* connection, xcb_window_t parent,
                                             const std::string& name, bool deep,
                                             QSize minimumSize) {
    XcbReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, parent), nullptr), &std::free);
    if (!tree)
        return std::nullopt;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t child = children[i];
        if (windowName(connection, child) == name && isViewable(connection, child)) {
            XcbReply<xcb_get_geometry_reply_t> geometry(
                xcb_get_geometry_reply(connection, xcb_get_geometry(connection, child), nullptr),
                &std::free);
            if (geometry && geometry->width >= minimumSize.width() &&
                geometry->height >= minimumSize.height())
                return child;
        }
        if (deep) {
            if (auto found = findMappedWindow(connection, child, name, true, minimumSize))
                return found;
        }
    }
    return std::nullopt;
}

bool looksPainted(const QImage& image) {
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 7)
        for (int x = 0; x < image.width(); x += 7) {
            colours.insert(image.pixel(x, y));
            if (colours.size() > 16)
                return true;
        }
    return false;
}

void stopProgram(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
    }
}

bool pollUntil(const std::function<bool()>& done) {
    for (int i = 0; i < maxPolls; ++i) {
        if (done())
            return true;
        QCoreApplication::processEvents();
        QThread::msleep(pollIntervalMs);
    }
    return false;
}

bool startWindowManager(const XcbDisplay& display, QProcess& windowManager) {
    windowManager.start(QStringLiteral("openbox"), {});
    const xcb_atom_t check = atom(display.connection, "_NET_SUPPORTING_WM_CHECK");
    return pollUntil([&] {
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            display.connection,
            xcb_get_property(display.connection, 0, display.root, check, XCB_ATOM_WINDOW, 0, 1),
            nullptr);
        const bool exists = reply && xcb_get_property_value_length(reply) > 0;
        std::free(reply);
        return exists;
    });
}

} // namespace tindrel::test
