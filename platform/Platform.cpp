// The platform services in use, and the default choice: this machine's devices.
#include "platform/Platform.h"

#include "platform/linux/PlatformLinux.h"
#include "platform/sim/Simulator.h"

#include <QDir>

namespace uvccam::platform {

namespace {

// Not destroyed at exit: objects that live for the rest of the process still refer to it
// then. The static pointer keeps it reachable.
Platform*& installedPlatform()
{
    static Platform* platform = nullptr;
    return platform;
}

}  // namespace

Platform::Platform(Services services) : services_(std::move(services)), temporaryDirectory_(QDir::tempPath()) {}

Platform::~Platform()
{
    // Device services may still refer to the run loop and the log while they go.
    services_.keyboardLayout.reset();
    services_.hotKeys.reset();
    services_.taskInfo.reset();
    services_.loginItems.reset();
    services_.process.reset();
    services_.audioPlayback.reset();
    services_.audioHardware.reset();
    services_.hid.reset();
    services_.usb.reset();
    services_.capture.reset();
    services_.log.reset();
    services_.runLoop.reset();
}

Platform& Platform::current()
{
    if (!installedPlatform())
        install(PlatformLinux::create());
    return *installedPlatform();
}

void Platform::install(std::unique_ptr<Platform> platform)
{
    // Drop the old services before the new ones are visible, so that nothing made on
    // the old platform can reach the new one while it goes.
    delete installedPlatform();
    installedPlatform() = nullptr;
    Simulator::forgetActive();
    installedPlatform() = platform.release();
}

}  // namespace uvccam::platform
