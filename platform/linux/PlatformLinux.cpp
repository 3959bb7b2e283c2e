// The Linux platform's services: the system's own backend for each.
#include "platform/linux/PlatformLinux.h"

#include "platform/linux/AudioHardwarePulse.h"
#include "platform/linux/AudioPlaybackGst.h"
#include "platform/linux/CaptureServiceV4l2.h"
#include "platform/linux/HidServiceHidraw.h"
#include "platform/linux/HotKeyServiceX11.h"
#include "platform/linux/KeyboardLayoutServiceXkb.h"
#include "platform/linux/LogSinkSystem.h"
#include "platform/linux/LoginItemsServiceXdg.h"
#include "platform/linux/ProcessServiceX11.h"
#include "platform/linux/RunLoopQt.h"
#include "platform/linux/TaskInfoServiceProc.h"
#include "platform/linux/UdevWatcher.h"
#include "platform/linux/UsbServiceUvcvideo.h"

namespace uvccam::platform {

std::unique_ptr<Platform> PlatformLinux::create()
{
    auto runLoop = std::make_unique<RunLoopQt>();
    // One watcher, one udev monitor, for every Linux service: the cameras' video nodes,
    // their and the speakerphones' HID nodes. Their microphones come from the sound server,
    // which follows the sound cards itself.
    const std::shared_ptr<UdevWatcher> watcher = UdevWatcher::create({"video4linux", "hidraw"});

    Platform::Services services;
    RunLoop* loop = runLoop.get();
    services.capture = std::make_unique<CaptureServiceV4l2>(
        watcher, *runLoop, CaptureSessionGst::captureNodeSource(),
        [loop] { return std::make_unique<AudioSourcesPulse>(*loop); });
    services.usb = std::make_unique<UsbServiceUvcvideo>(watcher);
    services.hid = std::make_unique<HidServiceHidraw>(watcher);
    services.audioHardware = std::make_unique<AudioHardwarePulse>();
    // The test clip sounds on the sound server's default output, the device whose volume
    // the library reports.
    services.audioPlayback = std::make_unique<AudioPlaybackGst>();
    // The X11 session's applications; the display is opened at the first request, not here.
    services.process = std::make_unique<ProcessServiceX11>();
    services.loginItems = std::make_unique<LoginItemsServiceXdg>();
    services.taskInfo = std::make_unique<TaskInfoServiceProc>();
    // X11 key grabs; the display is opened at the first registration, not here.
    services.hotKeys = std::make_unique<HotKeyServiceX11>(*runLoop);
    // The X server's layout, or the XKB_DEFAULT_* one without a display; asked at each key name.
    services.keyboardLayout = std::make_unique<KeyboardLayoutServiceXkb>();
    services.runLoop = std::move(runLoop);
    services.log = std::make_unique<LogSinkSystem>();
    return std::make_unique<Platform>(std::move(services));
}

}  // namespace uvccam::platform
