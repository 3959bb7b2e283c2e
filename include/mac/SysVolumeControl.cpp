// The system volume: default-device lookups, volume reads, and setting the volume or muting.
#include "mac/SysVolumeControl.h"

#include "platform/Log.h"
#include "platform/Platform.h"

#include <cstdint>

namespace {

using namespace uvccam::platform;

constexpr std::uint32_t kValueSize = 4;

AudioHardwareService& audio()
{
    return Platform::current().audioHardware();
}

AudioPropertyAddress masterAddress(std::uint32_t selector, std::uint32_t scope)
{
    return {selector, scope, kAudioObjectPropertyElementMaster};
}

// False when the system object lacks the property or will not give it; a device read as
// 0 is a success.
bool readDefaultDevice(std::uint32_t selector, AudioObjectID& device)
{
    const AudioPropertyAddress address = masterAddress(selector, kAudioObjectPropertyScopeGlobal);
    device = kAudioObjectUnknown;
    std::uint32_t size = kValueSize;
    return audio().hasProperty(kAudioObjectSystemObject, address)
        && audio().getPropertyData(kAudioObjectSystemObject, address, &size, &device) == kAudioSuccess;
}

float deviceVolume(AudioObjectID device, std::uint32_t scope)
{
    if (device == kAudioObjectUnknown) {
        logSystem("Unknown device");
        return 0.0f;
    }
    const AudioPropertyAddress address = masterAddress(kAudioDevicePropertyVirtualMasterVolume, scope);
    float volume = 0.0f;
    std::uint32_t size = kValueSize;
    if (audio().hasProperty(device, address) && audio().getPropertyData(device, address, &size, &volume) == kAudioSuccess)
        return volume >= 0.0f && volume <= 1.0f ? volume : 0.0f;
    logSystem("No volume returned for device 0x%0x", device);
    return 0.0f;
}

// Present, its settable query answered, and settable.
bool settable(AudioObjectID device, const AudioPropertyAddress& address)
{
    bool canSet = false;
    return audio().hasProperty(device, address) && audio().isPropertySettable(device, address, &canSet) == kAudioSuccess
        && canSet;
}

void write(AudioObjectID device, const AudioPropertyAddress& address, const void* value)
{
    if (audio().setPropertyData(device, address, kValueSize, value) != kAudioSuccess)
        logSystem("Unable to set volume for device 0x%0x", device);
}

}  // namespace

float SysVolumeControl::volume()
{
    return deviceVolume(defaultOutputDeviceID(), kAudioDevicePropertyScopeOutput);
}

float SysVolumeControl::micVolume()
{
    return deviceVolume(defaultInputDeviceID(), kAudioDevicePropertyScopeInput);
}

void SysVolumeControl::setVolume(float volume)
{
    if (volume < 0.0f || volume > 1.0f) {
        logSystem("Requested volume out of range (%.2f)", static_cast<double>(volume));
        return;
    }
    // Compared in double precision, so 0.001f (a little above 0.001 once widened) is a
    // volume, not a mute.
    const bool muteRequest = static_cast<double>(volume) < 0.001;
    if (muteRequest)
        logSystem("Requested mute");
    else
        logSystem("Requested volume %.2f", static_cast<double>(volume));

    const AudioObjectID device = defaultOutputDeviceID();
    if (device == kAudioObjectUnknown) {
        logSystem("Unknown device");
        return;
    }
    const AudioPropertyAddress mute = masterAddress(kAudioDevicePropertyMute, kAudioDevicePropertyScopeOutput);
    const AudioPropertyAddress level =
        masterAddress(kAudioDevicePropertyVirtualMasterVolume, kAudioDevicePropertyScopeOutput);
    if (!settable(device, muteRequest ? mute : level)) {
        logSystem("Device 0x%0x does not support volume control", device);
        return;
    }
    if (muteRequest) {
        const std::uint32_t muted = 1;
        write(device, mute, &muted);
        return;
    }
    // A failed volume write still goes on to clear the mute.
    write(device, level, &volume);
    if (!settable(device, mute)) {
        logSystem("Device 0x%0x does not support muting", device);
        return;
    }
    const std::uint32_t unmuted = 0;
    write(device, mute, &unmuted);
}

AudioObjectID SysVolumeControl::defaultOutputDeviceID()
{
    AudioObjectID device = kAudioObjectUnknown;
    if (readDefaultDevice(kAudioHardwarePropertyDefaultOutputDevice, device))
        return device;
    logSystem("Cannot find default output device!");
    return kAudioObjectUnknown;
}

// Unlike the output lookup, a failure here is told by the result alone.
AudioObjectID SysVolumeControl::defaultInputDeviceID()
{
    AudioObjectID device = kAudioObjectUnknown;
    return readDefaultDevice(kAudioHardwarePropertyDefaultInputDevice, device) ? device : kAudioObjectUnknown;
}
