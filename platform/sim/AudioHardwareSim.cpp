// The simulated audio hardware: property storage, default devices and fault knobs.
#include "platform/sim/AudioHardwareSim.h"

#include <cstring>

namespace uvccam::platform {

namespace {

std::uint32_t floatBits(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float bitsFloat(std::uint32_t bits)
{
    float value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

AudioHardwareSim::AudioHardwareSim(Devices devices)
{
    if (devices == Devices::None) {
        objects_ = {kAudioObjectSystemObject};
        store(kAudioObjectSystemObject, defaultDeviceAddress(true), kAudioObjectUnknown);
        store(kAudioObjectSystemObject, defaultDeviceAddress(false), kAudioObjectUnknown);
        return;
    }
    objects_ = {kAudioObjectSystemObject, kSpeaker, kMicrophone};
    store(kAudioObjectSystemObject, defaultDeviceAddress(true), kSpeaker);
    store(kAudioObjectSystemObject, defaultDeviceAddress(false), kMicrophone);
    store(kSpeaker, volumeAddress(true), floatBits(kDefaultOutputVolume));
    store(kSpeaker, muteAddress(true), 0);
    store(kMicrophone, volumeAddress(false), floatBits(kDefaultInputVolume));
    store(kMicrophone, muteAddress(false), 0);
}

AudioPropertyAddress AudioHardwareSim::defaultDeviceAddress(bool output)
{
    return {output ? kAudioHardwarePropertyDefaultOutputDevice : kAudioHardwarePropertyDefaultInputDevice,
            kAudioObjectPropertyScopeGlobal, kAudioObjectPropertyElementMaster};
}

AudioPropertyAddress AudioHardwareSim::volumeAddress(bool output)
{
    return {kAudioDevicePropertyVirtualMasterVolume, output ? kAudioDevicePropertyScopeOutput : kAudioDevicePropertyScopeInput,
            kAudioObjectPropertyElementMaster};
}

AudioPropertyAddress AudioHardwareSim::muteAddress(bool output)
{
    return {kAudioDevicePropertyMute, output ? kAudioDevicePropertyScopeOutput : kAudioDevicePropertyScopeInput,
            kAudioObjectPropertyElementMaster};
}

AudioHardwareSim::Address AudioHardwareSim::addressKey(const AudioPropertyAddress& address)
{
    return {address.selector, address.scope, address.element};
}

AudioHardwareSim::Key AudioHardwareSim::key(AudioObjectID object, const AudioPropertyAddress& address)
{
    return {object, address.selector, address.scope, address.element};
}

bool AudioHardwareSim::objectExists(AudioObjectID object) const
{
    return objects_.count(object) != 0;
}

AudioHardwareSim::Property* AudioHardwareSim::find(AudioObjectID object, const AudioPropertyAddress& address)
{
    return const_cast<Property*>(static_cast<const AudioHardwareSim*>(this)->find(object, address));
}

const AudioHardwareSim::Property* AudioHardwareSim::find(AudioObjectID object, const AudioPropertyAddress& address) const
{
    // An unreadable default is absent, not merely failing: the system object lacks it.
    if (object == kAudioObjectSystemObject && address.element == kAudioObjectPropertyElementMaster
        && address.scope == kAudioObjectPropertyScopeGlobal) {
        if (address.selector == kAudioHardwarePropertyDefaultOutputDevice && !defaultOutputReadable_)
            return nullptr;
        if (address.selector == kAudioHardwarePropertyDefaultInputDevice && !defaultInputReadable_)
            return nullptr;
    }
    auto it = properties_.find(key(object, address));
    return it == properties_.end() ? nullptr : &it->second;
}

void AudioHardwareSim::store(AudioObjectID object, const AudioPropertyAddress& address, std::uint32_t bits)
{
    objects_.insert(object);
    properties_[key(object, address)].bits = bits;
}

bool AudioHardwareSim::hasProperty(AudioObjectID object, const AudioPropertyAddress& address)
{
    return find(object, address) != nullptr;
}

AudioStatus AudioHardwareSim::getPropertyData(AudioObjectID object, const AudioPropertyAddress& address,
                                              std::uint32_t* ioDataSize, void* outData)
{
    if (!objectExists(object))
        return kBadObject;
    const Property* property = find(object, address);
    if (!property)
        return kAudioUnknownProperty;
    if (!ioDataSize || !outData || *ioDataSize < sizeof property->bits)
        return kBadPropertySize;
    if (failingReads_.count(addressKey(address)))
        return kAudioUnsupportedOperation;
    std::memcpy(outData, &property->bits, sizeof property->bits);
    *ioDataSize = sizeof property->bits;
    return kAudioSuccess;
}

AudioStatus AudioHardwareSim::isPropertySettable(AudioObjectID object, const AudioPropertyAddress& address,
                                                 bool* outSettable)
{
    if (!objectExists(object))
        return kBadObject;
    const Property* property = find(object, address);
    if (!property)
        return kAudioUnknownProperty;
    if (!outSettable)
        return kIllegalOperation;
    if (failingSettableQueries_.count(addressKey(address)))
        return kAudioUnsupportedOperation;
    *outSettable = property->settable;
    return kAudioSuccess;
}

AudioStatus AudioHardwareSim::setPropertyData(AudioObjectID object, const AudioPropertyAddress& address,
                                              std::uint32_t dataSize, const void* data)
{
    if (!objectExists(object))
        return kBadObject;
    Property* property = find(object, address);
    if (!property)
        return kAudioUnknownProperty;
    if (!data || dataSize != sizeof property->bits)
        return kBadPropertySize;
    if (!property->settable)
        return kIllegalOperation;
    if (failingWrites_.count(addressKey(address)))
        return kAudioUnsupportedOperation;
    std::memcpy(&property->bits, data, sizeof property->bits);
    return kAudioSuccess;
}

void AudioHardwareSim::setDefaultOutputDevice(AudioObjectID device)
{
    store(kAudioObjectSystemObject, defaultDeviceAddress(true), device);
}

void AudioHardwareSim::setDefaultInputDevice(AudioObjectID device)
{
    store(kAudioObjectSystemObject, defaultDeviceAddress(false), device);
}

AudioObjectID AudioHardwareSim::defaultOutputDevice() const
{
    const Property* property = find(kAudioObjectSystemObject, defaultDeviceAddress(true));
    return property ? property->bits : kAudioObjectUnknown;
}

AudioObjectID AudioHardwareSim::defaultInputDevice() const
{
    const Property* property = find(kAudioObjectSystemObject, defaultDeviceAddress(false));
    return property ? property->bits : kAudioObjectUnknown;
}

void AudioHardwareSim::setDefaultDeviceReadable(bool output, bool readable)
{
    (output ? defaultOutputReadable_ : defaultInputReadable_) = readable;
}

void AudioHardwareSim::setVolume(AudioObjectID device, bool output, float volume)
{
    // ID 0 is the system's "no device": nothing may ever answer for it.
    if (device == kAudioObjectUnknown)
        return;
    store(device, volumeAddress(output), floatBits(volume));
}

float AudioHardwareSim::volume(AudioObjectID device, bool output) const
{
    const Property* property = find(device, volumeAddress(output));
    return property ? bitsFloat(property->bits) : 0.0f;
}

std::uint32_t AudioHardwareSim::mute(AudioObjectID device) const
{
    const Property* property = find(device, muteAddress(true));
    return property ? property->bits : 0;
}

void AudioHardwareSim::setMute(AudioObjectID device, std::uint32_t mute)
{
    if (device != kAudioObjectUnknown)
        store(device, muteAddress(true), mute);
}

void AudioHardwareSim::removeProperty(AudioObjectID object, const AudioPropertyAddress& address)
{
    properties_.erase(key(object, address));
}

void AudioHardwareSim::setSettable(AudioObjectID object, const AudioPropertyAddress& address, bool settable)
{
    if (Property* property = find(object, address))
        property->settable = settable;
}

void AudioHardwareSim::setFault(std::set<Address>& faults, const AudioPropertyAddress& address, bool fail)
{
    if (fail)
        faults.insert(addressKey(address));
    else
        faults.erase(addressKey(address));
}

void AudioHardwareSim::failReads(const AudioPropertyAddress& address, bool fail)
{
    setFault(failingReads_, address, fail);
}

void AudioHardwareSim::failWrites(const AudioPropertyAddress& address, bool fail)
{
    setFault(failingWrites_, address, fail);
}

void AudioHardwareSim::failSettableQuery(const AudioPropertyAddress& address, bool fail)
{
    setFault(failingSettableQueries_, address, fail);
}

}  // namespace uvccam::platform
