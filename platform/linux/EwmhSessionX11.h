// The X11 session as a window manager describes it in EWMH hints, and the requests a pager sends it, on a connection of our own.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

struct xcb_connection_t;

namespace uvccam::platform {

// Reads the root window's hints (_NET_ACTIVE_WINDOW, _NET_CLIENT_LIST[_STACKING],
// _NET_SUPPORTING_WM_CHECK) and the clients' _NET_WM_PID, and asks the window manager to
// iconify, map and activate windows as the ICCCM and EWMH let any client ask.
//
// The connection is XCB, not Xlib: Xlib reports a protocol error (a window that closed
// between the listing and the request) through a process-wide handler whose default ends
// the process, and a lost server through another that always does; a library must neither
// take those handlers from its host nor die with the server. XCB hands errors back with
// each request, and a lost connection only makes every answer empty. The errors of
// requests without an answer (a window gone before it was mapped) are dropped. Call it
// from one thread.
class EwmhSessionX11 {
public:
    using WindowId = std::uint32_t;

    // None without a display or when it cannot be reached; the reason then in `failure`.
    static std::unique_ptr<EwmhSessionX11> connect(QString& failure);
    ~EwmhSessionX11();
    EwmhSessionX11(const EwmhSessionX11&) = delete;
    EwmhSessionX11& operator=(const EwmhSessionX11&) = delete;

    bool isConnected() const;

    // The window the user works in, or 0 when none is active or no window manager says.
    WindowId activeWindow();
    // The window manager's top-level windows, bottom to top (in the order they were mapped
    // when it keeps no stacking order), iconified ones included.
    std::vector<WindowId> clientWindows();
    // Each window's _NET_WM_PID, 0 where it has none or is gone.
    std::vector<std::uint32_t> processIds(const std::vector<WindowId>& windows);

    // Asks the window manager to iconify the window (WM_CHANGE_STATE with IconicState, as
    // XIconifyWindow sends it).
    void iconify(WindowId window);
    // Maps the window; an iconic one returns to the normal state (the window manager
    // receives the map request).
    void map(WindowId window);
    // Brings the window to the front: through the window manager when one follows EWMH (a
    // _NET_ACTIVE_WINDOW request from a pager, which focus-stealing prevention lets
    // through), otherwise by mapping and raising it.
    void activate(WindowId window);
    // Sends the requests made; false when the connection is lost.
    bool flush();

private:
    struct Atoms;

    EwmhSessionX11(xcb_connection_t* connection, WindowId root, std::unique_ptr<Atoms> atoms);
    // Whether root's _NET_SUPPORTING_WM_CHECK names a window that names itself: an EWMH
    // window manager runs (a stale hint names a window that is gone).
    bool hasWindowManager();
    std::vector<std::uint32_t> property32(WindowId window, std::uint32_t property, std::uint32_t type);
    void sendToRoot(WindowId window, std::uint32_t messageType, const std::uint32_t (&data)[5]);
    // Drops the errors of earlier requests without an answer.
    void dropPendingErrors();

    xcb_connection_t* connection_;
    WindowId root_;
    std::unique_ptr<Atoms> atoms_;
};

}  // namespace uvccam::platform
