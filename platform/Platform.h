// The set of platform services the library runs on, and the choice of which set is in use.
#pragma once

#include "platform/AudioHardwareService.h"
#include "platform/AudioPlaybackService.h"
#include "platform/CaptureService.h"
#include "platform/HidService.h"
#include "platform/HotKeyService.h"
#include "platform/KeyboardLayoutService.h"
#include "platform/Log.h"
#include "platform/LoginItemsService.h"
#include "platform/ProcessService.h"
#include "platform/RunLoop.h"
#include "platform/TaskInfoService.h"
#include "platform/UsbService.h"

#include <memory>

namespace uvccam::platform {

// Every operating-system call of the library goes through one of these services. A
// backend provides all of them; the library's classes never know which one is installed.
class Platform {
public:
    // One of each service; a backend fills all of them.
    struct Services {
        std::unique_ptr<RunLoop> runLoop;
        std::unique_ptr<LogSink> log;
        std::unique_ptr<CaptureService> capture;
        std::unique_ptr<UsbService> usb;
        std::unique_ptr<HidService> hid;
        std::unique_ptr<AudioHardwareService> audioHardware;
        std::unique_ptr<AudioPlaybackService> audioPlayback;
        std::unique_ptr<ProcessService> process;
        std::unique_ptr<LoginItemsService> loginItems;
        std::unique_ptr<TaskInfoService> taskInfo;
        std::unique_ptr<HotKeyService> hotKeys;
        std::unique_ptr<KeyboardLayoutService> keyboardLayout;
    };

    explicit Platform(Services services);

    // Where recordings go: the user's temporary directory unless set otherwise.
    const QString& temporaryDirectory() const { return temporaryDirectory_; }
    void setTemporaryDirectory(const QString& directory) { temporaryDirectory_ = directory; }
    ~Platform();

    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    RunLoop& runLoop() { return *services_.runLoop; }
    LogSink& log() { return *services_.log; }
    CaptureService& capture() { return *services_.capture; }
    UsbService& usb() { return *services_.usb; }
    HidService& hid() { return *services_.hid; }
    AudioHardwareService& audioHardware() { return *services_.audioHardware; }
    AudioPlaybackService& audioPlayback() { return *services_.audioPlayback; }
    ProcessService& process() { return *services_.process; }
    LoginItemsService& loginItems() { return *services_.loginItems; }
    TaskInfoService& taskInfo() { return *services_.taskInfo; }
    HotKeyService& hotKeys() { return *services_.hotKeys; }
    KeyboardLayoutService& keyboardLayout() { return *services_.keyboardLayout; }

    // The services in use. Until one is installed, the first call makes this machine's
    // (PlatformLinux) on the host's Qt event loop; the simulator is installed only on
    // request (uvccam::sim::useSimulatedDevices, or a test's own platform).
    static Platform& current();

    // Replaces the services in use. Objects made on the previous platform must be gone.
    static void install(std::unique_ptr<Platform> platform);

private:
    Services services_;
    QString temporaryDirectory_;
};

}  // namespace uvccam::platform
