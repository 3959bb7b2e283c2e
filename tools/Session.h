// One run of the tool: the camera object, the device it works on, and waiting for time to pass.
#pragma once

#include "CameraEvents.h"
#include "CommandLine.h"
#include "Console.h"

#include "DeviceInfo.h"
#include "UVCCam.h"

#include <memory>

namespace uvccamctl {

// The tool's exit status.
enum ExitStatus {
    kSuccess = 0,
    kRefused = 1,    // the device or the library refused, or the work failed
    kBadUsage = 2,   // bad input, found before anything reached a device
    kNoDevice = 3,   // no such device, none attached, the device left, or not the kind the command needs
};

// A speakerphone is listed under a model name of its family; everything else is a camera.
bool isSpeakerphone(const DeviceInfo& device);
// "RX710 (0x101000002a3b2574)".
QString describe(const DeviceInfo& device);

// Holds the camera object that every command works through (the newest one made in the
// process, so its signals reach CameraEvents) and checks, before a command touches a
// device, that the device it needs is there.
class Session {
public:
    Session(const GlobalOptions& options, Console& console);

    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    const GlobalOptions& options() const { return options_; }
    Console& console() { return console_; }
    UVCCam& camera() { return *camera_; }
    CameraEvents& events() { return *events_; }

    // Selects the device that --device names; the exit status to end with, or kSuccess.
    int selectRequestedDevice();

    // Each prints one line naming what is missing and returns false when the selected
    // device is not there or not of the kind the command needs; the command then ends
    // with kNoDevice.
    bool requireDevice(const QString& command);
    bool requireCamera(const QString& command);
    bool requireSpeakerphone(const QString& command);

    // Lets the library's time pass, in short steps so that Ctrl-C ends the wait soon;
    // false when it was interrupted.
    bool wait(double seconds);
    // The library's clock, in seconds.
    double now() const;

    int badUsage(const QString& message);
    int refused(const QString& message);
    int noDevice(const QString& message);

private:
    const GlobalOptions& options_;
    Console& console_;
    std::unique_ptr<UVCCam> camera_;
    std::unique_ptr<CameraEvents> events_;
};

}  // namespace uvccamctl
