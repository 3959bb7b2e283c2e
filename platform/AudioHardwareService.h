// The system's audio hardware objects and their properties: default devices, volume, mute.
#pragma once

#include <cstdint>

namespace uvccam::platform {

using AudioObjectID = std::uint32_t;
using AudioStatus = std::int32_t;
constexpr AudioStatus kAudioSuccess = 0;
constexpr AudioStatus kAudioUnknownProperty = 0x77686F3F;  // 'who?'
constexpr AudioStatus kAudioUnsupportedOperation = 0x756E6F70;  // 'unop'

// The object every lookup of the defaults starts from.
constexpr AudioObjectID kAudioObjectSystemObject = 1;
constexpr AudioObjectID kAudioObjectUnknown = 0;

constexpr std::uint32_t fourCharCode(const char (&code)[5])
{
    return (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16)
        | (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

struct AudioPropertyAddress {
    std::uint32_t selector;
    std::uint32_t scope;
    std::uint32_t element;
};

constexpr std::uint32_t kAudioHardwarePropertyDefaultOutputDevice = fourCharCode("dOut");
constexpr std::uint32_t kAudioHardwarePropertyDefaultInputDevice = fourCharCode("dIn ");
constexpr std::uint32_t kAudioDevicePropertyVirtualMasterVolume = fourCharCode("vmvc");
constexpr std::uint32_t kAudioDevicePropertyMute = fourCharCode("mute");
constexpr std::uint32_t kAudioObjectPropertyScopeGlobal = fourCharCode("glob");
constexpr std::uint32_t kAudioDevicePropertyScopeOutput = fourCharCode("outp");
constexpr std::uint32_t kAudioDevicePropertyScopeInput = fourCharCode("inpt");
constexpr std::uint32_t kAudioObjectPropertyElementMaster = 0;

// Every property value the library reads or writes is 4 bytes long: an object ID, a
// 32-bit float volume, or a 32-bit mute flag.
class AudioHardwareService {
public:
    virtual ~AudioHardwareService() = default;
    virtual bool hasProperty(AudioObjectID object, const AudioPropertyAddress& address) = 0;
    // ioDataSize: in, the room at outData; out, the bytes written.
    virtual AudioStatus getPropertyData(AudioObjectID object, const AudioPropertyAddress& address,
                                        std::uint32_t* ioDataSize, void* outData) = 0;
    virtual AudioStatus isPropertySettable(AudioObjectID object, const AudioPropertyAddress& address, bool* outSettable) = 0;
    virtual AudioStatus setPropertyData(AudioObjectID object, const AudioPropertyAddress& address, std::uint32_t dataSize,
                                        const void* data) = 0;
};

}  // namespace uvccam::platform
