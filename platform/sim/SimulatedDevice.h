// One simulated USB device: its identity as the operating system would describe it.
#pragma once

#include <QString>

#include <cstdint>

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
    explicit SimulatedDevice(DeviceProfile profile) : profile_(std::move(profile)) {}

    const DeviceProfile& profile() const { return profile_; }
    bool isCamera() const { return profile_.kind == DeviceProfile::Kind::Camera; }
    bool hasVideo() const { return isCamera(); }
    bool hasAudio() const { return true; }

    // The capture device's unique ID. A camera's: "0x", the location ID in eight
    // lower-case hex digits, then the vendor and product IDs in four each. A
    // speakerphone's microphone: "<product name>:<location ID in hex>".
    QString captureUniqueID() const;
    // "UVC Camera VendorID_<decimal> ProductID_<decimal>".
    QString captureModelID() const;
    // The unique ID under which the library lists the device: the capture unique ID of a
    // camera, the HID unique ID ("%x" of the location ID) of a speakerphone.
    QString listedUniqueID() const;

    bool isAttached() const { return attached_; }
    void setAttached(bool attached) { attached_ = attached; }

private:
    DeviceProfile profile_;
    bool attached_ = false;
};

}  // namespace uvccam::platform
