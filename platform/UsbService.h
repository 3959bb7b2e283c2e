// USB devices as the camera control path needs them: find one, read its serial number,
// and send control transfers to its video-control interface.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace uvccam::platform {

// Status of a USB operation: 0 for success, otherwise an error code of the platform's
// numbering, which the library only logs or compares with the codes below.
using UsbStatus = std::int32_t;
constexpr UsbStatus kUsbSuccess = 0;
constexpr UsbStatus kUsbError = static_cast<UsbStatus>(0xE00002BC);
// Another client holds the interface; requests may still be sent.
constexpr UsbStatus kUsbExclusiveAccess = static_cast<UsbStatus>(0xE00002C5);
constexpr UsbStatus kUsbNoDevice = static_cast<UsbStatus>(0xE00002C0);
constexpr UsbStatus kUsbNotPermitted = static_cast<UsbStatus>(0xE00002E2);
constexpr UsbStatus kUsbPipeStalled = static_cast<UsbStatus>(0xE000404F);

// The standard 8-byte set-up packet of a control transfer; the 16-bit fields travel
// little-endian.
struct UsbSetupPacket {
    std::uint8_t bmRequestType = 0;
    std::uint8_t bRequest = 0;
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
};

// One interface of a device. Control requests go to the default pipe (pipe 0).
class UsbInterface {
public:
    virtual ~UsbInterface() = default;
    // kUsbSuccess, kUsbExclusiveAccess (another client has it open) or another error.
    virtual UsbStatus open() = 0;
    virtual UsbStatus close() = 0;
    // `data` holds wLength bytes: sent for host-to-device requests, filled (at most
    // wLength bytes) for device-to-host ones. `transferred` receives the byte count.
    virtual UsbStatus controlRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred) = 0;
};

class UsbDevice {
public:
    virtual ~UsbDevice() = default;
    // Makes the device usable by this process; fails when it cannot be reached.
    virtual UsbStatus access() = 0;
    virtual std::uint32_t locationId() const = 0;
    virtual std::uint16_t vendorId() const = 0;
    virtual std::uint16_t productId() const = 0;
    virtual UsbStatus serialNumberStringIndex(std::uint8_t* index) = 0;
    // A standard request on the device's default pipe, without opening any interface.
    virtual UsbStatus deviceRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred) = 0;
    // The first interface of this class and subclass, or nullptr.
    virtual std::shared_ptr<UsbInterface> firstInterface(std::uint8_t interfaceClass, std::uint8_t interfaceSubClass) = 0;
};

class UsbService {
public:
    virtual ~UsbService() = default;
    // Every USB device attached now, in a stable order.
    virtual std::vector<std::shared_ptr<UsbDevice>> devices() = 0;
};

}  // namespace uvccam::platform
