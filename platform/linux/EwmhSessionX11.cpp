// EWMH hints read from the root window and the clients; iconify, map and activation requests sent to the window manager.
#include "platform/linux/EwmhSessionX11.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <utility>

namespace uvccam::platform {

namespace {

// ICCCM 4.1.4: the state a client asks for in WM_CHANGE_STATE.
constexpr std::uint32_t kIconicState = 3;
// EWMH _NET_ACTIVE_WINDOW source indication: a pager, which window managers obey even
// where they refuse applications that grab the focus.
constexpr std::uint32_t kSourcePager = 2;
constexpr std::uint32_t kCurrentTime = 0;
// Property lengths are asked in 32-bit units; far more windows than a session holds.
constexpr std::uint32_t kLongestList = 1u << 16;

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};

template <typename Reply>
using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

}  // namespace

struct EwmhSessionX11::Atoms {
    xcb_atom_t activeWindow = XCB_ATOM_NONE;
    xcb_atom_t clientList = XCB_ATOM_NONE;
    xcb_atom_t clientListStacking = XCB_ATOM_NONE;
    xcb_atom_t wmPid = XCB_ATOM_NONE;
    xcb_atom_t supportingWmCheck = XCB_ATOM_NONE;
    xcb_atom_t wmChangeState = XCB_ATOM_NONE;
};

std::unique_ptr<EwmhSessionX11> EwmhSessionX11::connect(QString& failure)
{
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) {
        failure = QStringLiteral("no X display (DISPLAY is not set)");
        return nullptr;
    }
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        failure = QStringLiteral("cannot connect to the X display %1").arg(QString::fromLocal8Bit(display));
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int skipped = 0; skipped < screenNumber && screens.rem > 0; ++skipped)
        xcb_screen_next(&screens);
    if (screens.rem == 0) {
        xcb_disconnect(connection);
        failure = QStringLiteral("the X display %1 has no screen %2").arg(QString::fromLocal8Bit(display)).arg(screenNumber);
        return nullptr;
    }
    const xcb_window_t root = screens.data->root;

    // Every name asked at once, the answers collected after: one round trip.
    const char* const names[] = { "_NET_ACTIVE_WINDOW", "_NET_CLIENT_LIST", "_NET_CLIENT_LIST_STACKING",
                                  "_NET_WM_PID",        "_NET_SUPPORTING_WM_CHECK", "WM_CHANGE_STATE" };
    xcb_intern_atom_cookie_t cookies[std::size(names)];
    for (std::size_t i = 0; i < std::size(names); ++i)
        cookies[i] = xcb_intern_atom(connection, 0, std::uint16_t(std::strlen(names[i])), names[i]);
    xcb_atom_t atoms[std::size(names)] = {};
    for (std::size_t i = 0; i < std::size(names); ++i) {
        const ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection, cookies[i], nullptr));
        atoms[i] = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        failure = QStringLiteral("the X display %1 closed the connection").arg(QString::fromLocal8Bit(display));
        return nullptr;
    }
    auto named = std::make_unique<Atoms>();
    named->activeWindow = atoms[0];
    named->clientList = atoms[1];
    named->clientListStacking = atoms[2];
    named->wmPid = atoms[3];
    named->supportingWmCheck = atoms[4];
    named->wmChangeState = atoms[5];
    return std::unique_ptr<EwmhSessionX11>(new EwmhSessionX11(connection, root, std::move(named)));
}

EwmhSessionX11::EwmhSessionX11(xcb_connection_t* connection, WindowId root, std::unique_ptr<Atoms> atoms)
    : connection_(connection), root_(root), atoms_(std::move(atoms))
{
}

EwmhSessionX11::~EwmhSessionX11() { xcb_disconnect(connection_); }

bool EwmhSessionX11::isConnected() const { return xcb_connection_has_error(connection_) == 0; }

void EwmhSessionX11::dropPendingErrors()
{
    // No events are selected on this connection: what waits here are errors.
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_))
        std::free(event);
}

std::vector<std::uint32_t> EwmhSessionX11::property32(WindowId window, std::uint32_t property, std::uint32_t type)
{
    const xcb_get_property_cookie_t cookie = xcb_get_property(connection_, 0, window, property, type, 0, kLongestList);
    xcb_generic_error_t* error = nullptr;
    const ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection_, cookie, &error));
    std::free(error);
    if (!reply || reply->type != type || reply->format != 32)
        return {};
    const auto* values = static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
    const int count = xcb_get_property_value_length(reply.get()) / 4;
    return std::vector<std::uint32_t>(values, values + count);
}

EwmhSessionX11::WindowId EwmhSessionX11::activeWindow()
{
    dropPendingErrors();
    const std::vector<std::uint32_t> active = property32(root_, atoms_->activeWindow, XCB_ATOM_WINDOW);
    return active.empty() ? 0 : active.front();
}

std::vector<EwmhSessionX11::WindowId> EwmhSessionX11::clientWindows()
{
    dropPendingErrors();
    std::vector<std::uint32_t> windows = property32(root_, atoms_->clientListStacking, XCB_ATOM_WINDOW);
    if (windows.empty())
        windows = property32(root_, atoms_->clientList, XCB_ATOM_WINDOW);
    return windows;
}

std::vector<std::uint32_t> EwmhSessionX11::processIds(const std::vector<WindowId>& windows)
{
    // All questions first, then the answers: one round trip however many windows.
    std::vector<xcb_get_property_cookie_t> cookies;
    cookies.reserve(windows.size());
    for (const WindowId window : windows)
        cookies.push_back(xcb_get_property(connection_, 0, window, atoms_->wmPid, XCB_ATOM_CARDINAL, 0, 1));
    std::vector<std::uint32_t> pids;
    pids.reserve(windows.size());
    for (const xcb_get_property_cookie_t cookie : cookies) {
        xcb_generic_error_t* error = nullptr;
        const ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection_, cookie, &error));
        std::free(error);
        std::uint32_t pid = 0;
        if (reply && reply->type == XCB_ATOM_CARDINAL && reply->format == 32
            && xcb_get_property_value_length(reply.get()) >= 4)
            pid = *static_cast<const std::uint32_t*>(xcb_get_property_value(reply.get()));
        pids.push_back(pid);
    }
    return pids;
}

bool EwmhSessionX11::hasWindowManager()
{
    const std::vector<std::uint32_t> check = property32(root_, atoms_->supportingWmCheck, XCB_ATOM_WINDOW);
    if (check.empty() || check.front() == 0)
        return false;
    const std::vector<std::uint32_t> itself = property32(check.front(), atoms_->supportingWmCheck, XCB_ATOM_WINDOW);
    return !itself.empty() && itself.front() == check.front();
}

void EwmhSessionX11::sendToRoot(WindowId window, std::uint32_t messageType, const std::uint32_t (&data)[5])
{
    xcb_client_message_event_t message {};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = window;
    message.type = messageType;
    std::memcpy(message.data.data32, data, sizeof data);
    // The window manager listens on the root for requests it redirects.
    xcb_send_event(connection_, 0, root_, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
}

void EwmhSessionX11::iconify(WindowId window)
{
    sendToRoot(window, atoms_->wmChangeState, { kIconicState, 0, 0, 0, 0 });
}

void EwmhSessionX11::map(WindowId window) { xcb_map_window(connection_, window); }

void EwmhSessionX11::activate(WindowId window)
{
    dropPendingErrors();
    if (hasWindowManager()) {
        // The requestor's own active window is 0: the request is not on behalf of one.
        sendToRoot(window, atoms_->activeWindow, { kSourcePager, kCurrentTime, 0, 0, 0 });
        return;
    }
    const std::uint32_t above = XCB_STACK_MODE_ABOVE;
    xcb_configure_window(connection_, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
    xcb_map_window(connection_, window);
}

bool EwmhSessionX11::flush() { return xcb_flush(connection_) > 0 && isConnected(); }

}  // namespace uvccam::platform
