// The simulated audio hardware: the system object's default devices and each device's volume and mute.
#pragma once

#include "platform/AudioHardwareService.h"

#include <cstdint>
#include <map>
#include <set>
#include <tuple>

namespace uvccam::platform {

// A system object (ID 1) naming a default output and a default input device, and two
// devices: the built-in speaker ("Built-in Output", 73) with output volume and mute, and
// the built-in microphone ("Built-in Microphone", 74) with input volume and mute. Every
// property holds a 4-byte value and is settable until a test says otherwise. Nothing is
// clamped: a volume set through the knobs or written by a client is stored as given.
//
// With Devices::None it is a system with no sound devices at all: the system object alone,
// both defaults reading as no device. A platform whose sound backend is still to come uses
// it, so that no volume is ever invented.
class AudioHardwareSim : public AudioHardwareService {
public:
    enum class Devices { BuiltIn, None };
    static constexpr AudioObjectID kSpeaker = 73;
    static constexpr AudioObjectID kMicrophone = 74;
    static constexpr float kDefaultOutputVolume = 0.75f;
    static constexpr float kDefaultInputVolume = 0.5f;

    // Statuses the system gives for misuse, besides those of the service's header.
    static constexpr AudioStatus kBadObject = 0x216F626A;        // '!obj'
    static constexpr AudioStatus kBadPropertySize = 0x2173697A;  // '!siz'
    static constexpr AudioStatus kIllegalOperation = 0x6E6F7065; // 'nope'

    explicit AudioHardwareSim(Devices devices = Devices::BuiltIn);

    bool hasProperty(AudioObjectID object, const AudioPropertyAddress& address) override;
    AudioStatus getPropertyData(AudioObjectID object, const AudioPropertyAddress& address, std::uint32_t* ioDataSize,
                                void* outData) override;
    AudioStatus isPropertySettable(AudioObjectID object, const AudioPropertyAddress& address, bool* outSettable) override;
    AudioStatus setPropertyData(AudioObjectID object, const AudioPropertyAddress& address, std::uint32_t dataSize,
                                const void* data) override;

    // The addresses the system volume uses, all on the master element.
    static AudioPropertyAddress defaultDeviceAddress(bool output);
    static AudioPropertyAddress volumeAddress(bool output);
    static AudioPropertyAddress muteAddress(bool output = true);

    // Knobs. A device ID of 0 as a default reads as "no device".
    void setDefaultOutputDevice(AudioObjectID device);
    void setDefaultInputDevice(AudioObjectID device);
    AudioObjectID defaultOutputDevice() const;
    AudioObjectID defaultInputDevice() const;
    // An unreadable default is one the system object does not have at all.
    void setDefaultDeviceReadable(bool output, bool readable);
    // Stores any float, also outside 0..1; gives the device the property if it lacked it.
    void setVolume(AudioObjectID device, bool output, float volume);
    // 0 when the device lacks the property.
    float volume(AudioObjectID device, bool output) const;
    // The output mute value as last written (1 muted, 0 not); 0 when the device lacks it.
    std::uint32_t mute(AudioObjectID device) const;
    void setMute(AudioObjectID device, std::uint32_t mute);
    void removeProperty(AudioObjectID object, const AudioPropertyAddress& address);
    void setSettable(AudioObjectID object, const AudioPropertyAddress& address, bool settable);
    // Faults on an address, whichever object it is asked of.
    void failReads(const AudioPropertyAddress& address, bool fail = true);
    void failWrites(const AudioPropertyAddress& address, bool fail = true);
    void failSettableQuery(const AudioPropertyAddress& address, bool fail = true);

private:
    using Address = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>;
    using Key = std::tuple<AudioObjectID, std::uint32_t, std::uint32_t, std::uint32_t>;

    struct Property {
        std::uint32_t bits = 0;  // the 4 bytes, a float's or an integer's
        bool settable = true;
    };

    static Address addressKey(const AudioPropertyAddress& address);
    static Key key(AudioObjectID object, const AudioPropertyAddress& address);
    static void setFault(std::set<Address>& faults, const AudioPropertyAddress& address, bool fail);
    bool objectExists(AudioObjectID object) const;
    Property* find(AudioObjectID object, const AudioPropertyAddress& address);
    const Property* find(AudioObjectID object, const AudioPropertyAddress& address) const;
    void store(AudioObjectID object, const AudioPropertyAddress& address, std::uint32_t bits);

    std::map<Key, Property> properties_;
    std::set<AudioObjectID> objects_;
    std::set<Address> failingReads_;
    std::set<Address> failingWrites_;
    std::set<Address> failingSettableQueries_;
    bool defaultOutputReadable_ = true;
    bool defaultInputReadable_ = true;
};

}  // namespace uvccam::platform
