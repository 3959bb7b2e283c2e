// One simulated USB device: its identity as the operating system would describe it.
#pragma once

#include "platform/RunLoop.h"
#include "platform/sim/HidDeviceModel.h"
#include "platform/sim/HidFirmware.h"
#include "platform/sim/UvcCameraModel.h"

#include <QString>

#include <cstdint>
#include <memory>

namespace uvccam::platform {

// What a device is, independent of which service looks at it. A camera is one physical
// USB device with a video function (and a HID interface); a speakerphone has audio and
// HID functions only.
struct DeviceProfile {
    enum class Kind { Camera, Speakerphone };

    Kind kind = Kind::Camera;
    QString productName;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint32_t locationId = 0;
    QString serialNumber;
};

class SimulatedDevice {
public:
    static constexpr std::uint16_t kRx710ProductId = 0x2574;

    explicit SimulatedDevice(DeviceProfile profile);

    const DeviceProfile& profile() const { return profile_; }
    bool isCamera() const { return profile_.kind == DeviceProfile::Kind::Camera; }
    bool hasVideo() const { return isCamera(); }
    bool hasAudio() const { return true; }

    // The capture device's unique ID. A camera's: "0x", the location ID in eight
    // lower-case hex digits, then the vendor and product IDs in four each. A
    // speakerphone's: its microphone's, its only capture function.
    QString captureUniqueID() const;
    // The microphone's capture unique ID: "<product name>:<location ID in eight lower-case
    // hex digits>:<serial number>". Like a real USB microphone's it carries the device's
    // location and serial number, so a camera's microphone is found by either of its
    // camera's; as no location holds another's (see Simulator), its departure matches no
    // other camera.
    QString audioCaptureUniqueID() const;
    // "UVC Camera VendorID_<decimal> ProductID_<decimal>".
    QString captureModelID() const;
    // The unique ID under which the library lists the device: the capture unique ID of a
    // camera, the HID unique ID ("%x" of the location ID) of a speakerphone.
    QString listedUniqueID() const;

    bool isAttached() const { return attached_; }
    void setAttached(bool attached) { attached_ = attached; }

    // Time between two frames while the camera streams.
    Duration frameInterval() const { return frameInterval_; }
    void setFrameInterval(Duration interval) { frameInterval_ = interval; }

    // The camera's video-control function; nullptr for a speakerphone.
    UvcCameraModel* uvc() { return uvc_.get(); }
    // The HID function, which every device has.
    HidDeviceModel* hid() { return hid_.get(); }
    // The maker's firmware behind the HID function, its responder from the start.
    HidFirmware* firmware() { return firmware_.get(); }

    // Loudness of what the microphone hears, in decibels relative to full scale; minus
    // infinity for silence.
    double inputLevel() const { return inputLevel_; }
    void setInputLevel(double dBFS) { inputLevel_ = dBFS; }

    // When set, the process cannot reach the USB device (no permission, say).
    void setUsbAccessFails(bool fails) { usbAccessFails_ = fails; }
    bool usbAccessFails() const { return usbAccessFails_; }
    // When set, capture sessions refuse the microphone as an input (another application
    // holds it exclusively, say), although an input for it can still be made.
    void setMicrophoneHeldElsewhere(bool held) { microphoneHeldElsewhere_ = held; }
    bool microphoneHeldElsewhere() const { return microphoneHeldElsewhere_; }

private:
    DeviceProfile profile_;
    bool attached_ = false;
    bool usbAccessFails_ = false;
    bool microphoneHeldElsewhere_ = false;
    double inputLevel_ = -20.0;
    Duration frameInterval_ = std::chrono::nanoseconds(1'000'000'000 / 30);
    std::unique_ptr<UvcCameraModel> uvc_;
    std::unique_ptr<HidDeviceModel> hid_ = std::make_unique<HidDeviceModel>();
    // Declared last: it refers to the two functions above.
    std::unique_ptr<HidFirmware> firmware_;
};

}  // namespace uvccam::platform
