// Simulated devices: build and try an application against the library without hardware.
#pragma once

#include "UVCCamExport.h"

#include <QString>
#include <QStringList>

// The simulator behaves like attached hardware: devices are listed, arrive and leave
// through the same notifications, on the host's Qt event loop, as real ones. Use it from
// the main thread, like the rest of the library.
namespace uvccam::sim {

// Switches the process to the simulated devices on the real-time Qt event loop. Call it
// before the first acquireUVCCam() or createUvcCamControl(); when the simulator is
// already in use it changes nothing. Events run on the host's QCoreApplication.
UVCCAM_EXPORT void useSimulatedDevices();

// The clock the simulated devices run on.
enum class Clock {
    // The host's Qt event loop: frames, level ticks and delays take as long as on hardware.
    RealTime,
    // Simulated time passes only inside wait() (and inside the library's own bounded waits),
    // and there at once: a 10-second recording takes no real time. For scripts and tests;
    // nothing of the library runs from the host's Qt event loop on this clock.
    Virtual,
};

// As useSimulatedDevices(), on the given clock.
UVCCAM_EXPORT void useSimulatedDevices(Clock clock);

// Lets `seconds` of the library's time pass on the main thread: runs the event loop of the
// platform in use for that long, so that frames, arrivals, level ticks and delayed tasks
// happen meanwhile. At once on the virtual clock, in real time otherwise. A negative time
// counts as 0, which still delivers whatever is due now.
UVCCAM_EXPORT void wait(double seconds);

// The library's clock in seconds since the platform was made: simulated time on the
// virtual clock, real time otherwise. Measure what happens during wait() with it.
UVCCAM_EXPORT double clockSeconds();

// True while the simulator is the platform in use. The library's default platform is the
// machine's own devices; only useSimulatedDevices() makes this true.
UVCCAM_EXPORT bool isSimulating();

// The camera models the simulator can attach, in the library's model-table order.
UVCCAM_EXPORT QStringList cameraModels();

// Attaches a camera of the maker of one of cameraModels() and returns its unique ID, or
// an empty string for an unknown model. Each camera gets its own USB location and serial
// number. The arrival is announced through the event loop like a real camera's.
UVCCAM_EXPORT QString attachCamera(const QString& model);

// Attaches a camera of the maker whose product name is exactly `productName`, for
// example one the model table does not know. Returns its unique ID.
UVCCAM_EXPORT QString attachCameraNamed(const QString& productName);

// Attaches another maker's camera (a built-in webcam, say). Returns its unique ID.
UVCCAM_EXPORT QString attachOtherVendorCamera(const QString& productName = QStringLiteral("Built-in Camera"));

// Attaches a speakerphone ("VOXA760" or "VOXA30") and returns the unique ID under which
// the device list reports it, or an empty string for another name.
UVCCAM_EXPORT QString attachSpeakerphone(const QString& productName);

// Attaches the demonstration set: an RX710, an ST470, a LUM610 and a VOXA760. Returns
// their unique IDs in that order.
UVCCAM_EXPORT QStringList attachDemoSet();

// Unplugs the device with this unique ID (as returned by an attach function); the
// removal is announced through the event loop. Unknown IDs are ignored.
UVCCAM_EXPORT void detach(const QString& uniqueId);

// Sets the loudness, in decibels relative to full scale (minus infinity: silence), that a
// microphone hears from now on; recordings and level readings follow it. The ID is any
// unique ID of an attached device (as returned by an attach function, or its microphone's
// "<product name>:<location in eight hex digits>:<serial number>"), or
// "BuiltInMicrophoneDevice" for the computer's own microphone. Every microphone starts at
// -20 dB. Unknown IDs are ignored.
UVCCAM_EXPORT void setMicrophoneLevel(const QString& uniqueIdOfDevice, double dBFS);

// Unique IDs of everything attached now, in order of attachment.
UVCCAM_EXPORT QStringList attachedDevices();

// Sets the volumes of the system's current default output and input devices, as the
// system's sound settings would (0.0 silent to 1.0 full; other values are stored as they
// are, as a misbehaving driver might report them). Changes nothing when the simulator is
// not the platform in use.
UVCCAM_EXPORT void setSystemVolumes(float output, float input);

// The user presses a global hot-key combination and releases it `holdSeconds` later (on the
// clock in use: real time on the Qt event loop, at once inside a wait on the virtual clock).
// `keyCode` is a virtual key code (the position of a key: 123 left arrow, 37 L, 20 the 3
// of the main keyboard ...) and `modifierFlags` the modifier keys held, in the key event's
// values (Command 0x100000, Option 0x80000, Control 0x40000, Shift 0x20000). Both events
// arrive through the event loop, as the window system's do, so the hot keys registered by
// setKeyboardConnected(true) report through keyPressed() while the loop runs; a shortcut
// that repeats while held repeats until the release. Returns false, and presses nothing,
// when no registered hot key has this combination, when `holdSeconds` is negative or not
// a number, or when the simulator is not the platform in use.
UVCCAM_EXPORT bool pressHotKey(int keyCode, quint64 modifierFlags, double holdSeconds);

}  // namespace uvccam::sim
