// The set of platform services the library runs on, and the choice of which set is in use.
#pragma once

#include "platform/CaptureService.h"
#include "platform/Log.h"
#include "platform/RunLoop.h"

#include <memory>

namespace uvccam::platform {

// Every operating-system call of the library goes through one of these services. A
// backend provides all of them; the library's classes never know which one is installed.
class Platform {
public:
    Platform(std::unique_ptr<RunLoop> runLoop, std::unique_ptr<LogSink> log,
             std::unique_ptr<CaptureService> capture);
    ~Platform();

    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;

    RunLoop& runLoop() { return *runLoop_; }
    LogSink& log() { return *log_; }
    CaptureService& capture() { return *capture_; }

    // The services in use. Until a backend is installed this is the simulator with no
    // devices on the real-time Qt event loop: a machine with nothing attached.
    static Platform& current();

    // Replaces the services in use. Objects made on the previous platform must be gone.
    static void install(std::unique_ptr<Platform> platform);

private:
    std::unique_ptr<RunLoop> runLoop_;
    std::unique_ptr<LogSink> log_;
    std::unique_ptr<CaptureService> capture_;
};

}  // namespace uvccam::platform
