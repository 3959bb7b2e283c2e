// The system's sound devices on Linux over libpulse: default sink and source, volume and mute, each read answered before returning.
#include "platform/linux/AudioHardwarePulse.h"

#include "platform/linux/PulseWait.h"

#include <QLoggingCategory>

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/introspect.h>
#include <pulse/thread-mainloop.h>
#include <pulse/volume.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace uvccam::platform {

namespace {

Q_LOGGING_CATEGORY(lcAudio, "uvccam.linux.audio")

constexpr std::uint32_t kValueSize = 4;

bool isMaster(const AudioPropertyAddress& address)
{
    return address.element == kAudioObjectPropertyElementMaster;
}

bool isDefaultDevice(const AudioPropertyAddress& address, bool& output)
{
    if (address.scope != kAudioObjectPropertyScopeGlobal || !isMaster(address))
        return false;
    output = address.selector == kAudioHardwarePropertyDefaultOutputDevice;
    return output || address.selector == kAudioHardwarePropertyDefaultInputDevice;
}

// Over-amplified devices (above the server's 100 %) read as full volume: the library knows
// only 0 to 1 and would otherwise take them for a failure.
float scalarVolume(const pa_cvolume& volume)
{
    const float scalar = static_cast<float>(pa_cvolume_avg(&volume)) / static_cast<float>(PA_VOLUME_NORM);
    return std::min(scalar, 1.0f);
}

AudioStatus noDevice(std::uint32_t* ioDataSize, void* outData)
{
    const AudioObjectID none = kAudioObjectUnknown;
    std::memcpy(outData, &none, sizeof none);
    *ioDataSize = kValueSize;
    return kAudioSuccess;
}

void signalLoop(void* mainLoop)
{
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainLoop), 0);
}

}  // namespace

struct AudioHardwarePulse::DeviceState {
    bool found = false;
    pa_cvolume volume{};
    bool muted = false;
};

AudioHardwarePulse::AudioHardwarePulse() = default;

AudioHardwarePulse::~AudioHardwarePulse()
{
    if (!_mainLoop)
        return;
    pa_threaded_mainloop_lock(_mainLoop);
    dropContext();
    pa_threaded_mainloop_unlock(_mainLoop);
    pa_threaded_mainloop_stop(_mainLoop);
    pa_threaded_mainloop_free(_mainLoop);
}

void AudioHardwarePulse::warnOnce(const char* problem, const char* detail)
{
    if (_warned)
        return;
    _warned = true;
    qCWarning(lcAudio, "%s: %s", problem, detail);
}

void AudioHardwarePulse::dropContext()
{
    if (!_context)
        return;
    pa_context_set_state_callback(_context, nullptr, nullptr);
    pa_context_disconnect(_context);
    pa_context_unref(_context);
    _context = nullptr;
}

bool AudioHardwarePulse::startMainLoop()
{
    if (_mainLoop)
        return true;
    _mainLoop = pa_threaded_mainloop_new();
    if (_mainLoop && pa_threaded_mainloop_start(_mainLoop) == 0)
        return true;
    if (_mainLoop)
        pa_threaded_mainloop_free(_mainLoop);
    _mainLoop = nullptr;
    warnOnce("Cannot reach the sound server", "libpulse's thread did not start");
    return false;
}

bool AudioHardwarePulse::ensureConnected()
{
    if (_context && pa_context_get_state(_context) == PA_CONTEXT_READY)
        return true;
    // A context that failed (the server went away) cannot be reused; a new one reconnects.
    dropContext();
    _context = pa_context_new(pa_threaded_mainloop_get_api(_mainLoop), "uvccam");
    if (!_context) {
        warnOnce("Cannot reach the sound server", "no client context");
        return false;
    }
    pa_context_set_state_callback(
        _context, [](pa_context*, void* loop) { signalLoop(loop); }, _mainLoop);
    // A library must not start a sound server of its own: without one there is no volume.
    if (pa_context_connect(_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        warnOnce("Cannot reach the sound server", pa_strerror(pa_context_errno(_context)));
        dropContext();
        return false;
    }
    pa_context* context = _context;
    auto settled = [context] {
        const pa_context_state_t state = pa_context_get_state(context);
        return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
    };
    waitLocked(_mainLoop, _context, kReplyTimeoutMs, settled);
    if (pa_context_get_state(_context) != PA_CONTEXT_READY) {
        const int error = pa_context_errno(_context);
        warnOnce("Cannot reach the sound server", error ? pa_strerror(error) : "no answer in time");
        dropContext();
        return false;
    }
    // A later loss is worth a line again.
    _warned = false;
    return true;
}

bool AudioHardwarePulse::await(pa_operation* operation, const char* what)
{
    if (!operation) {
        warnOnce(what, pa_strerror(pa_context_errno(_context)));
        dropContext();
        return false;
    }
    const PulseRequestEnd end = awaitLocked(_mainLoop, _context, operation, kReplyTimeoutMs);
    if (end == PulseRequestEnd::Answered)
        return true;
    warnOnce(what, end == PulseRequestEnd::ConnectionLost ? "the connection to the sound server was lost"
                                                          : "no answer in time");
    // A server that did not answer in time is not trusted with the next request either.
    dropContext();
    return false;
}

bool AudioHardwarePulse::readDefaults(std::string& sink, std::string& source)
{
    struct Reply {
        pa_threaded_mainloop* loop;
        std::string sink, source;
    } reply{_mainLoop, {}, {}};
    pa_operation* operation = pa_context_get_server_info(
        _context,
        [](pa_context*, const pa_server_info* info, void* userdata) {
            auto* r = static_cast<Reply*>(userdata);
            // A server without sinks or sources names no default.
            if (info && info->default_sink_name)
                r->sink = info->default_sink_name;
            if (info && info->default_source_name)
                r->source = info->default_source_name;
            pa_threaded_mainloop_signal(r->loop, 0);
        },
        &reply);
    if (!await(operation, "Cannot read the sound server's default devices"))
        return false;
    sink = reply.sink;
    source = reply.source;
    return true;
}

bool AudioHardwarePulse::readDevice(const Device& device, DeviceState& state)
{
    struct Reply {
        pa_threaded_mainloop* loop;
        DeviceState* state;
    } reply{_mainLoop, &state};
    state = DeviceState();
    // The lookup answers with the device and then an end mark, or with an error mark alone
    // when the server has no device of that name.
    pa_operation* operation = nullptr;
    if (device.output) {
        operation = pa_context_get_sink_info_by_name(
            _context, device.name.c_str(),
            [](pa_context*, const pa_sink_info* info, int, void* userdata) {
                auto* r = static_cast<Reply*>(userdata);
                if (info)
                    *r->state = {true, info->volume, info->mute != 0};
                pa_threaded_mainloop_signal(r->loop, 0);
            },
            &reply);
    } else {
        operation = pa_context_get_source_info_by_name(
            _context, device.name.c_str(),
            [](pa_context*, const pa_source_info* info, int, void* userdata) {
                auto* r = static_cast<Reply*>(userdata);
                if (info)
                    *r->state = {true, info->volume, info->mute != 0};
                pa_threaded_mainloop_signal(r->loop, 0);
            },
            &reply);
    }
    return await(operation, "Cannot read a sound device");
}

AudioObjectID AudioHardwarePulse::idFor(bool output, const std::string& name)
{
    if (name.empty())
        return kAudioObjectUnknown;
    for (const auto& [id, known] : _devices) {
        if (known.output == output && known.name == name)
            return id;
    }
    const AudioObjectID id = _nextId++;
    _devices[id] = {output, name};
    return id;
}

const AudioHardwarePulse::Device* AudioHardwarePulse::device(AudioObjectID object) const
{
    auto it = _devices.find(object);
    return it == _devices.end() ? nullptr : &it->second;
}

// A sink has output volume and mute, a source input volume and mute, each on the master element.
bool AudioHardwarePulse::answersFor(const Device& known, const AudioPropertyAddress& address) const
{
    const std::uint32_t scope = known.output ? kAudioDevicePropertyScopeOutput : kAudioDevicePropertyScopeInput;
    return isMaster(address) && address.scope == scope
        && (address.selector == kAudioDevicePropertyVirtualMasterVolume || address.selector == kAudioDevicePropertyMute);
}

bool AudioHardwarePulse::hasProperty(AudioObjectID object, const AudioPropertyAddress& address)
{
    bool output = false;
    if (object == kAudioObjectSystemObject)
        return isDefaultDevice(address, output);
    const Device* known = device(object);
    return known && answersFor(*known, address);
}

AudioStatus AudioHardwarePulse::getPropertyData(AudioObjectID object, const AudioPropertyAddress& address,
                                                std::uint32_t* ioDataSize, void* outData)
{
    if (!hasProperty(object, address))
        return object == kAudioObjectSystemObject || device(object) ? kAudioUnknownProperty : kBadObject;
    if (!ioDataSize || !outData || *ioDataSize < kValueSize)
        return kBadPropertySize;

    if (!startMainLoop())
        return object == kAudioObjectSystemObject ? noDevice(ioDataSize, outData) : kServerUnavailable;
    pa_threaded_mainloop_lock(_mainLoop);
    AudioStatus status = kServerUnavailable;
    std::uint32_t bits = 0;
    bool output = false;
    if (isDefaultDevice(address, output) && object == kAudioObjectSystemObject) {
        // No server, or one that does not answer, has no default devices.
        std::string sink, source;
        if (ensureConnected() && readDefaults(sink, source))
            bits = idFor(output, output ? sink : source);
        status = kAudioSuccess;
    } else if (ensureConnected()) {
        const Device known = *device(object);
        DeviceState state;
        if (readDevice(known, state)) {
            status = state.found ? kAudioSuccess : kBadObject;
            if (address.selector == kAudioDevicePropertyMute) {
                bits = state.muted ? 1 : 0;
            } else {
                const float volume = scalarVolume(state.volume);
                std::memcpy(&bits, &volume, sizeof bits);
            }
        }
    }
    pa_threaded_mainloop_unlock(_mainLoop);
    if (status == kAudioSuccess) {
        std::memcpy(outData, &bits, sizeof bits);
        *ioDataSize = kValueSize;
    }
    return status;
}

AudioStatus AudioHardwarePulse::isPropertySettable(AudioObjectID object, const AudioPropertyAddress& address,
                                                   bool* outSettable)
{
    if (!hasProperty(object, address))
        return object == kAudioObjectSystemObject || device(object) ? kAudioUnknownProperty : kBadObject;
    if (!outSettable)
        return kBadPropertySize;
    // The server mixes in software where the hardware has no control, so every sink and
    // source takes a volume and a mute; the defaults are the user's choice, not ours.
    *outSettable = object != kAudioObjectSystemObject;
    return kAudioSuccess;
}

AudioStatus AudioHardwarePulse::setPropertyData(AudioObjectID object, const AudioPropertyAddress& address,
                                                std::uint32_t dataSize, const void* data)
{
    if (!hasProperty(object, address))
        return object == kAudioObjectSystemObject || device(object) ? kAudioUnknownProperty : kBadObject;
    if (object == kAudioObjectSystemObject)
        return kAudioUnsupportedOperation;
    if (!data || dataSize != kValueSize)
        return kBadPropertySize;
    std::uint32_t bits = 0;
    std::memcpy(&bits, data, sizeof bits);
    float volume = 0.0f;
    std::memcpy(&volume, &bits, sizeof volume);
    const bool isVolume = address.selector == kAudioDevicePropertyVirtualMasterVolume;
    if (isVolume && std::isnan(volume))
        return kAudioUnsupportedOperation;
    if (!startMainLoop())
        return kServerUnavailable;
    pa_threaded_mainloop_lock(_mainLoop);
    AudioStatus status = kServerUnavailable;
    const Device known = *device(object);
    struct Reply {
        pa_threaded_mainloop* loop;
        bool success = false;
    } reply{_mainLoop};
    auto answered = [](pa_context*, int success, void* userdata) {
        auto* r = static_cast<Reply*>(userdata);
        r->success = success != 0;
        pa_threaded_mainloop_signal(r->loop, 0);
    };
    DeviceState state;
    if (!ensureConnected()) {
        // status stays kServerUnavailable
    } else if (!isVolume) {
        const int mute = bits != 0 ? 1 : 0;
        pa_operation* operation = known.output
            ? pa_context_set_sink_mute_by_name(_context, known.name.c_str(), mute, answered, &reply)
            : pa_context_set_source_mute_by_name(_context, known.name.c_str(), mute, answered, &reply);
        if (await(operation, "Cannot mute a sound device"))
            status = reply.success ? kAudioSuccess : kBadObject;
    } else if (readDevice(known, state)) {
        // The server wants as many channels as the device has; a volume for fewer is refused.
        if (!state.found) {
            status = kBadObject;
        } else {
            const float clamped = std::clamp(volume, 0.0f, 1.0f);
            pa_cvolume channels;
            pa_cvolume_set(&channels, state.volume.channels,
                           static_cast<pa_volume_t>(std::lround(clamped * static_cast<float>(PA_VOLUME_NORM))));
            pa_operation* operation = known.output
                ? pa_context_set_sink_volume_by_name(_context, known.name.c_str(), &channels, answered, &reply)
                : pa_context_set_source_volume_by_name(_context, known.name.c_str(), &channels, answered, &reply);
            if (await(operation, "Cannot set a sound device's volume"))
                status = reply.success ? kAudioSuccess : kBadObject;
        }
    }
    pa_threaded_mainloop_unlock(_mainLoop);
    return status;
}

}  // namespace uvccam::platform
