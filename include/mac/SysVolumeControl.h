// The system's default output and input devices and their volumes, read and set afresh on each call.
#pragma once

#include "platform/AudioHardwareService.h"

// Holds no state: every operation asks the platform's audio hardware which devices are
// the defaults now, so a change of default between calls is always followed. Failures
// reach the caller only as 0.0 or the ID 0; the system log says what went wrong.
class SysVolumeControl {
public:
    using AudioObjectID = uvccam::platform::AudioObjectID;

    SysVolumeControl() = delete;

    // The default output device's volume, 0.0 to 1.0; 0.0 on any failure or when the
    // device reports a value outside that range.
    static float volume();
    // The same for the default input device.
    static float micVolume();
    // Values below 0.001 mute the output and leave its volume; others from there to 1.0
    // set the volume and clear the mute; values outside 0.0 to 1.0 change nothing.
    static void setVolume(float volume);
    // 0 when the system object cannot tell.
    static AudioObjectID defaultOutputDeviceID();
    static AudioObjectID defaultInputDeviceID();
};
