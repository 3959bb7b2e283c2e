// The system's sound devices on Linux: the sound server's default sink and source, their volume and mute, over libpulse.
#pragma once

#include "platform/AudioHardwareService.h"

#include <cstdint>
#include <map>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_operation;

namespace uvccam::platform {

// Speaks to the user's PulseAudio server, or to the PulseAudio server of PipeWire, which
// answers the same protocol. The server's default sink is the default output device and
// its default source the default input device; each sink or source the library meets gets
// an object ID of its own for the session (from 2 up, in the order met), so an ID read once
// keeps naming the same device after the default moved elsewhere.
//
// Every call asks the server afresh and answers before it returns, so a volume changed by
// another program is seen at the next read. The server is reached through libpulse's own
// thread (a threaded main loop), not through the host's event loop, and every wait for an
// answer is bounded (kReplyTimeoutMs). The connection is made at the first call and made
// again after the server went away; no server is ever started. Without a server the
// defaults read as no device (ID 0) and a device's properties fail with kServerUnavailable:
// never a volume that nobody reported.
//
// A volume is one scalar per device: the channels' average relative to the server's 100 %,
// read as 1 when the device is amplified beyond that. Writing it sets every channel to it.
class AudioHardwarePulse : public AudioHardwareService {
public:
    static constexpr AudioStatus kBadObject = 0x216F626A;          // '!obj': no such device
    static constexpr AudioStatus kBadPropertySize = 0x2173697A;    // '!siz'
    static constexpr AudioStatus kServerUnavailable = 0x73746F70;  // 'stop': no answer from the server
    static constexpr int kReplyTimeoutMs = 2000;

    AudioHardwarePulse();
    ~AudioHardwarePulse() override;
    AudioHardwarePulse(const AudioHardwarePulse&) = delete;
    AudioHardwarePulse& operator=(const AudioHardwarePulse&) = delete;

    bool hasProperty(AudioObjectID object, const AudioPropertyAddress& address) override;
    AudioStatus getPropertyData(AudioObjectID object, const AudioPropertyAddress& address, std::uint32_t* ioDataSize,
                                void* outData) override;
    AudioStatus isPropertySettable(AudioObjectID object, const AudioPropertyAddress& address, bool* outSettable) override;
    AudioStatus setPropertyData(AudioObjectID object, const AudioPropertyAddress& address, std::uint32_t dataSize,
                                const void* data) override;

private:
    struct Device {
        bool output = false;  // a sink; otherwise a source
        std::string name;
    };
    struct DeviceState;

    // libpulse's thread, started at the first request.
    bool startMainLoop();
    // With the main loop locked: a ready context, connecting first if needed.
    bool ensureConnected();
    void dropContext();
    // With the main loop locked: waits for `operation` to finish, at most kReplyTimeoutMs.
    bool await(pa_operation* operation, const char* what);
    bool readDefaults(std::string& sink, std::string& source);
    bool readDevice(const Device& device, DeviceState& state);
    AudioObjectID idFor(bool output, const std::string& name);
    const Device* device(AudioObjectID object) const;
    bool answersFor(const Device& device, const AudioPropertyAddress& address) const;
    void warnOnce(const char* problem, const char* detail);

    pa_threaded_mainloop* _mainLoop = nullptr;
    pa_context* _context = nullptr;
    std::map<AudioObjectID, Device> _devices;
    AudioObjectID _nextId = 2;
    bool _warned = false;
};

}  // namespace uvccam::platform
