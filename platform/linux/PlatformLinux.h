// The platform a host gets on Linux: a real backend for every service.
#pragma once

#include "platform/Platform.h"

#include <memory>

namespace uvccam::platform {

// The host's Qt event loop, the system log, the system volumes and the test clip's playback
// through the sound server, the process's threads from /proc, the login items as XDG
// autostart entries, the X11 session's applications, global hot keys and keyboard layout
// (xkbcommon's, from the XKB_DEFAULT_* variables without a display), and, through one udev
// watcher, the cameras' capture nodes, their controls through uvcvideo and every hidraw
// device. No simulator is the active one, so the simulation functions refuse on this
// platform.
class PlatformLinux {
public:
    // Needs the host's QCoreApplication on the calling (main) thread.
    static std::unique_ptr<Platform> create();
};

}  // namespace uvccam::platform
