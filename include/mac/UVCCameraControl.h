// The USB control path to one UVC camera: finding its video-control interface and sending
// class requests to the units and terminals behind it.
#pragma once

#include "platform/UsbService.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

// One UVC control: the unit or terminal that owns it (1 camera terminal, 2 or 3 the
// processing unit, 4 to 9 extension units), its selector, its value's length in bytes.
struct UVCControlInfo {
    std::int32_t unit;
    std::int32_t selector;
    std::int32_t size;
};

// A control transfer as the library builds it: the set-up fields, the data stage and the
// count of bytes the device actually moved (never read).
struct UsbDevRequest {
    std::uint8_t bmRequestType = 0;
    std::uint8_t bRequest = 0;
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
    void* pData = nullptr;
    std::uint32_t wLenDone = 0;
};

struct UVCControlRange {
    std::int64_t min;
    std::int64_t max;
};

class UVCCameraControl {
public:
    // UVC request codes the library sends.
    static constexpr std::int32_t UVC_SET_CUR = 0x01;
    static constexpr std::int32_t UVC_GET_CUR = 0x81;
    static constexpr std::int32_t UVC_GET_MIN = 0x82;
    static constexpr std::int32_t UVC_GET_MAX = 0x83;
    static constexpr std::int32_t UVC_GET_DEF = 0x87;

    UVCCameraControl() = default;
    virtual ~UVCCameraControl();

    UVCCameraControl(const UVCCameraControl&) = delete;
    UVCCameraControl& operator=(const UVCCameraControl&) = delete;

    // Finds the USB device at this location, reads its serial number and takes its
    // video-control interface. Without a match the object has no interface, and every
    // request fails. Returns this object.
    UVCCameraControl* initWithLocationID(std::uint32_t locationID);
    // The same by vendor and product ID (low 32 bits of each), first match only; the
    // serial number is not read on this path. Returns this object.
    UVCCameraControl* initWithVendorID(std::int64_t vendorID, std::int64_t productID);

    // The device's serial-number string, or none.
    std::optional<QString> getUSBSerialNumber(uvccam::platform::UsbDevice& device);
    // The device's first video-control interface (class 14, subclass 1), not opened.
    std::shared_ptr<uvccam::platform::UsbInterface> getControlInferaceWithDeviceInterface(uvccam::platform::UsbDevice& device);

    // Opens the interface, sends the request on the default pipe, closes it again.
    bool sendControlRequest(UsbDevRequest request);

    // SET_CUR with the low `withLength` bytes of the value, little-endian (sign-extended
    // beyond four bytes).
    bool setData(std::int32_t value, std::int32_t withLength, std::int32_t forSelector, std::int32_t at);
    // SET_CUR with the caller's bytes.
    bool setStructData(const void* data, std::int32_t withLength, std::int32_t forSelector, std::int32_t at);
    // A get request; the first four bytes of the answer as a little-endian signed value,
    // 0 when the request fails. Brightness on unit 3 read as one byte is sign-corrected.
    std::int32_t getDataFor(std::int32_t request, std::int32_t withLength, std::int32_t fromSelector, std::int32_t at);
    // A get request into the caller's `withLength` bytes.
    bool getStructDataFor(std::int32_t request, std::int32_t withLength, std::int32_t fromSelector, std::int32_t at, void* to);

    UVCControlRange getRangeForControl(const UVCControlInfo* control);
    std::int32_t getValueForControl(const UVCControlInfo* control);
    bool setValue(std::int32_t value, const UVCControlInfo* forControl);

    // Linear mapping from [fromMin, fromMax] to [toMin, toMax], in single precision.
    static float mapValue(float value, float fromMin, float fromMax, float toMin, float toMax);
    // Brightness on unit 3 is a 16-bit two's-complement value limited to -127..127:
    // `onStatus` true maps a value read from the device, false one about to be written.
    static std::int32_t mapForBrightnessValue(std::int32_t value, bool onStatus);

    const std::optional<QString>& serialNum() const { return _serialNum; }
    void setSerialNum(std::optional<QString> serialNum) { _serialNum = std::move(serialNum); }

    bool hasInterface() const { return interface != nullptr; }

private:
    bool sendRequest(std::uint8_t requestType, std::int32_t request, std::int32_t length, std::int32_t selector,
                     std::int32_t unit, void* data);

    std::shared_ptr<uvccam::platform::UsbInterface> interface;
    std::optional<QString> _serialNum;
};
