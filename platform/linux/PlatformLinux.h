// The platform a host gets on Linux: the real services where they exist, empty stand-ins for the rest.
#pragma once

#include "platform/Platform.h"

#include <memory>

namespace uvccam::platform {

// Real: the host's Qt event loop, the system log, the system volumes and the test clip's
// playback through the sound server, the process's threads from /proc, the login items as
// XDG autostart entries, and, through one udev watcher, the cameras' capture nodes, their
// controls through uvcvideo and every hidraw device. The services whose Linux backends are
// still to come are the simulator's, empty: no application in front, no keyboard layout,
// and hot keys that never fire. None of them invents a device or a value, and no simulator
// is the active one, so the simulation functions refuse on this platform.
class PlatformLinux {
public:
    // Needs the host's QCoreApplication on the calling (main) thread.
    static std::unique_ptr<Platform> create();
};

}  // namespace uvccam::platform
