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

// True while the simulator is the platform in use (also the default until real device
// support is chosen).
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
// "AudioIn:<serial number>"), or "BuiltInMicrophoneDevice" for the computer's own
// microphone. Every microphone starts at -20 dB. Unknown IDs are ignored.
UVCCAM_EXPORT void setMicrophoneLevel(const QString& uniqueIdOfDevice, double dBFS);

// Unique IDs of everything attached now, in order of attachment.
UVCCAM_EXPORT QStringList attachedDevices();

// Sets the volumes of the system's current default output and input devices, as the
// system's sound settings would (0.0 silent to 1.0 full; other values are stored as they
// are, as a misbehaving driver might report them). Changes nothing when the simulator is
// not the platform in use.
UVCCAM_EXPORT void setSystemVolumes(float output, float input);

}  // namespace uvccam::sim
