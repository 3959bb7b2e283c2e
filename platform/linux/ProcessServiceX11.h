// Applications of an X11 session: the front one, hiding and showing them, through the window manager's EWMH hints.
#pragma once

#include "platform/ProcessService.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace uvccam::platform {

class EwmhSessionX11;

// An application is a process ID (the serial number's low half, the high half 0) and its
// windows are the window manager's top-level windows whose _NET_WM_PID is that ID.
// - In front is the owner of the active window (_NET_ACTIVE_WINDOW).
// - Hiding asks the window manager to iconify each of its windows, which hands the focus on
//   as the window manager does; showing maps them again (out of the iconic state).
// - Bringing one to the front activates its topmost window (see EwmhSessionX11::activate).
// An application without windows, no process, and every request without an X display are
// refused with kProcessNotFound. Nothing else can be done on a Wayland session, which gives
// no client the other clients' windows: only X11 clients (Xwayland's included) are seen.
//
// The X connection is opened at the first request, not with the platform: a host that
// never hides nor shows never speaks to the X server, and a host on Wayland without
// Xwayland gets its refusal and a single warning on "uvccam.linux.desktop" only when it
// asks. A lost connection is opened anew at the next request. Call it from one thread.
class ProcessServiceX11 : public ProcessService {
public:
    ProcessServiceX11();
    ~ProcessServiceX11() override;

    ProcessStatus frontProcess(ProcessSerialNumber& process) override;
    ProcessStatus showHideProcess(const ProcessSerialNumber& process, bool visible) override;
    ProcessStatus setFrontProcess(const ProcessSerialNumber& process) override;

private:
    // The session, connected now if it was not; null without a display.
    EwmhSessionX11* session();
    // The application's windows, bottom to top; none for no process or a foreign one.
    std::vector<std::uint32_t> windowsOf(const ProcessSerialNumber& process);

    std::unique_ptr<EwmhSessionX11> session_;
    bool noDisplayLogged_ = false;
};

}  // namespace uvccam::platform
