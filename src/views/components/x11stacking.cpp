#include "views/components/x11stacking.h"

#include <QGuiApplication>
#include <QList>
#include <QWindow>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <dlfcn.h>
#include <xcb/xcb.h>

namespace tovra::x11 {

namespace {

// Looked up in the libxcb the platform plugin brought in rather than linked, so no start pays
// for it and the offscreen platform never maps it.
template<class Function>
Function xcbFunction(const char *name)
{
    static void *const library = dlopen("libxcb.so.1", RTLD_LAZY | RTLD_NOLOAD);
    return library ? reinterpret_cast<Function>(dlsym(library, name)) : nullptr;
}
#define TOVRA_XCB(name) xcbFunction<decltype(&::name)>(#name)

struct Connection
{
    xcb_connection_t *connection = nullptr;
    xcb_window_t window = 0;
    xcb_window_t root = 0;
};

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    const auto intern = TOVRA_XCB(xcb_intern_atom);
    const auto reply = TOVRA_XCB(xcb_intern_atom_reply);
    if (!intern || !reply)
        return XCB_ATOM_NONE;
    xcb_intern_atom_reply_t *answer = reply(connection, intern(connection, 1, qstrlen(name), name), nullptr);
    const xcb_atom_t value = answer ? answer->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(answer);
    return value;
}

std::optional<Connection> connect(QWindow *window)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // The offscreen platform answers as an X application too, with no server behind it.
    if (!x11 || QGuiApplication::platformName() != QLatin1String("xcb") || !window || !window->handle())
        return std::nullopt;
    const auto query = TOVRA_XCB(xcb_query_tree);
    const auto reply = TOVRA_XCB(xcb_query_tree_reply);
    if (!query || !reply)
        return std::nullopt;
    Connection c{x11->connection(), xcb_window_t(window->winId()), 0};
    xcb_query_tree_reply_t *tree = reply(c.connection, query(c.connection, c.window), nullptr);
    if (!tree)
        return std::nullopt;
    c.root = tree->root;
    std::free(tree);
    return c;
}

// The windows the root window lists in property (format 32), in its order.
QList<xcb_window_t> rootWindows(const Connection &c, const char *property)
{
    const auto get = TOVRA_XCB(xcb_get_property);
    const auto reply = TOVRA_XCB(xcb_get_property_reply);
    const auto value = TOVRA_XCB(xcb_get_property_value);
    const auto length = TOVRA_XCB(xcb_get_property_value_length);
    const xcb_atom_t name = atom(c.connection, property);
    if (!get || !reply || !value || !length || name == XCB_ATOM_NONE)
        return {};
    xcb_get_property_reply_t *answer = reply(c.connection, get(c.connection, 0, c.root, name, XCB_ATOM_WINDOW, 0, 4096), nullptr);
    QList<xcb_window_t> windows;
    if (answer && answer->format == 32) {
        const auto *ids = static_cast<const xcb_window_t *>(value(answer));
        windows = QList<xcb_window_t>(ids, ids + length(answer) / int(sizeof(xcb_window_t)));
    }
    std::free(answer);
    return windows;
}

// Bottom to top.
QList<xcb_window_t> stacking(const Connection &c)
{
    return rootWindows(c, "_NET_CLIENT_LIST_STACKING");
}

}

quint32 atom(QWindow *window, const char *name)
{
    const auto c = connect(window);
    return c ? atom(c->connection, name) : 0;
}

quint32 windowAbove(QWindow *window)
{
    const auto c = connect(window);
    if (!c)
        return 0;
    const QList<xcb_window_t> windows = stacking(*c);
    const qsizetype at = windows.indexOf(c->window);
    return at >= 0 && at + 1 < windows.size() ? windows.at(at + 1) : 0;
}

quint32 activeWindow(QWindow *window)
{
    const auto c = connect(window);
    const QList<xcb_window_t> active = c ? rootWindows(*c, "_NET_ACTIVE_WINDOW") : QList<xcb_window_t>();
    return active.isEmpty() ? 0 : active.first();
}

bool isStacked(QWindow *window)
{
    const auto c = connect(window);
    return c && stacking(*c).contains(c->window);
}

void markBelowBeforeMapping(QWindow *window)
{
    const auto c = connect(window);
    const auto change = TOVRA_XCB(xcb_change_property);
    const xcb_atom_t state = c ? atom(c->connection, "_NET_WM_STATE") : xcb_atom_t(XCB_ATOM_NONE);
    const xcb_atom_t below = c ? atom(c->connection, "_NET_WM_STATE_BELOW") : xcb_atom_t(XCB_ATOM_NONE);
    if (!c || !change || state == XCB_ATOM_NONE || below == XCB_ATOM_NONE)
        return;
    change(c->connection, XCB_PROP_MODE_APPEND, c->window, state, XCB_ATOM_ATOM, 32, 1, &below);
}

namespace {

// A client message to the window manager about the window. Both kinds name their source as a pager
// (2): the stacking we put back is the user's, so the manager's rules against applications that
// push themselves around do not apply.
void tellWindowManager(QWindow *window, const char *type, std::array<quint32, 4> data)
{
    const auto c = connect(window);
    const auto send = TOVRA_XCB(xcb_send_event);
    const auto flush = TOVRA_XCB(xcb_flush);
    const xcb_atom_t kind = c ? atom(c->connection, type) : xcb_atom_t(XCB_ATOM_NONE);
    if (!c || !send || !flush || kind == XCB_ATOM_NONE)
        return;
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = c->window;
    message.type = kind;
    std::copy(data.begin(), data.end(), message.data.data32);
    send(c->connection, 0, c->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
         reinterpret_cast<const char *>(&message));
    flush(c->connection);
}

}

void leaveBelowLayer(QWindow *window)
{
    // _NET_WM_STATE: action (0, remove), first and second property, source.
    const quint32 below = atom(window, "_NET_WM_STATE_BELOW");
    if (below != XCB_ATOM_NONE)
        tellWindowManager(window, "_NET_WM_STATE", {0, below, 0, 2});
}

void restackBelow(QWindow *window, quint32 sibling)
{
    // _NET_RESTACK_WINDOW: source, sibling, detail.
    tellWindowManager(window, "_NET_RESTACK_WINDOW", {2, sibling, XCB_STACK_MODE_BELOW, 0});
}

}
