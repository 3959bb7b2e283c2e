// UVC class requests on a camera's default control pipe, and the value rules around them.
#include "mac/UVCCameraControl.h"

#include "platform/Log.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace uvccam::platform;

namespace {

constexpr std::uint8_t kSetRequestType = 0x21;  // host to device, class, interface
constexpr std::uint8_t kGetRequestType = 0xA1;  // device to host, class, interface
constexpr std::uint8_t kStandardDeviceGet = 0x80;
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint16_t kStringDescriptor = 0x0300;
constexpr std::uint16_t kLanguageEnglishUs = 0x0409;
constexpr std::uint16_t kStringDescriptorAreaSize = 256;
constexpr std::uint8_t kVideoClass = 14;
constexpr std::uint8_t kVideoControlSubClass = 1;
constexpr std::int32_t kMaxTransferLength = 0xFFFF;

// Brightness of processing unit 3 is the one control with sign rules.
bool isUnit3Brightness(std::int32_t unit, std::int32_t selector)
{
    return unit == 3 && selector == 2;
}

bool isTransferLength(std::int32_t length)
{
    return length >= 0 && length <= kMaxTransferLength;
}

}  // namespace

UVCCameraControl::~UVCCameraControl() = default;

UVCCameraControl* UVCCameraControl::initWithLocationID(std::uint32_t locationID)
{
    interface.reset();
    for (const auto& device : Platform::current().usb().devices()) {
        const UsbStatus status = device->access();
        if (status != kUsbSuccess) {
            logQtDebug("CameraControl Error: IOCreatePlugInInterfaceForService returned 0x%08x.", status);
            continue;
        }
        if (device->locationId() != locationID)
            continue;
        setSerialNum(getUSBSerialNumber(*device));
        logSystem("DeviceSerialNumber = %@", _serialNum ? *_serialNum : QString());
        interface = getControlInferaceWithDeviceInterface(*device);
        break;
    }
    return this;
}

UVCCameraControl* UVCCameraControl::initWithVendorID(std::int64_t vendorID, std::int64_t productID)
{
    interface.reset();
    const auto vendor = static_cast<std::uint32_t>(vendorID);
    const auto product = static_cast<std::uint32_t>(productID);
    for (const auto& device : Platform::current().usb().devices()) {
        if (device->vendorId() != vendor || device->productId() != product)
            continue;
        // Only the first match is considered, whether or not it can be used.
        if (device->access() == kUsbSuccess)
            interface = getControlInferaceWithDeviceInterface(*device);
        break;
    }
    return this;
}

std::optional<QString> UVCCameraControl::getUSBSerialNumber(UsbDevice& device)
{
    std::uint8_t index = 0;
    const UsbStatus indexStatus = device.serialNumberStringIndex(&index);
    if (indexStatus != kUsbSuccess) {
        logStandardOutput("Could not get serial number string index (error: %x)\n", indexStatus);
        return std::nullopt;
    }

    std::uint8_t descriptor[kStringDescriptorAreaSize] = {};
    UsbSetupPacket setup;
    setup.bmRequestType = kStandardDeviceGet;
    setup.bRequest = kGetDescriptor;
    setup.wValue = kStringDescriptor | index;
    setup.wIndex = kLanguageEnglishUs;
    setup.wLength = kStringDescriptorAreaSize;
    std::uint32_t received = 0;
    if (device.deviceRequest(setup, descriptor, &received) != kUsbSuccess) {
        logStandardOutput("Could not get serial number string using index\n");
        return std::nullopt;
    }

    // Byte 0 is the descriptor's length, byte 1 its type, then UTF-16LE code units. A
    // length that cannot hold whole code units, or claims more than arrived, gives none.
    const std::uint32_t length = descriptor[0];
    if (length < 2 || length % 2 != 0 || length > std::min<std::uint32_t>(received, kStringDescriptorAreaSize))
        return std::nullopt;
    QString serial = QStringLiteral("");  // empty, not missing, when the string is
    for (std::uint32_t at = 2; at + 1 < length; at += 2)
        serial.append(QChar(static_cast<char16_t>(descriptor[at] | (descriptor[at + 1] << 8))));
    logStandardError(serial);
    return serial;
}

std::shared_ptr<UsbInterface> UVCCameraControl::getControlInferaceWithDeviceInterface(UsbDevice& device)
{
    return device.firstInterface(kVideoClass, kVideoControlSubClass);
}

bool UVCCameraControl::sendControlRequest(UsbDevRequest request)
{
    if (!interface)
        return false;
    const UsbStatus opened = interface->open();
    // Another client holding the interface does not keep our request from the device.
    if (opened != kUsbSuccess && opened != kUsbExclusiveAccess)
        return false;

    UsbSetupPacket setup;
    setup.bmRequestType = request.bmRequestType;
    setup.bRequest = request.bRequest;
    setup.wValue = request.wValue;
    setup.wIndex = request.wIndex;
    setup.wLength = request.wLength;
    const bool sent = interface->controlRequest(setup, request.pData, &request.wLenDone) == kUsbSuccess;
    interface->close();
    return sent;
}

bool UVCCameraControl::sendRequest(std::uint8_t requestType, std::int32_t request, std::int32_t length,
                                   std::int32_t selector, std::int32_t unit, void* data)
{
    if (!isTransferLength(length) || (length > 0 && !data))
        return false;
    UsbDevRequest devRequest;
    devRequest.bmRequestType = requestType;
    devRequest.bRequest = static_cast<std::uint8_t>(request);
    // Only the low 8 bits of the selector and of the unit reach the wire.
    devRequest.wValue = static_cast<std::uint16_t>((selector & 0xFF) << 8);
    devRequest.wIndex = static_cast<std::uint16_t>((unit & 0xFF) << 8);
    devRequest.wLength = static_cast<std::uint16_t>(length);
    devRequest.pData = length > 0 ? data : nullptr;
    return sendControlRequest(devRequest);
}

bool UVCCameraControl::setData(std::int32_t value, std::int32_t withLength, std::int32_t forSelector, std::int32_t at)
{
    if (!isTransferLength(withLength))
        return false;
    // Exactly `withLength` bytes go out; past the value's four bytes its sign fills them.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(withLength));
    const auto wide = static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i < 8 ? (wide >> (8 * i)) & 0xFF : (value < 0 ? 0xFF : 0));
    return sendRequest(kSetRequestType, UVC_SET_CUR, withLength, forSelector, at, bytes.data());
}

bool UVCCameraControl::setStructData(const void* data, std::int32_t withLength, std::int32_t forSelector, std::int32_t at)
{
    if (!isTransferLength(withLength) || (withLength > 0 && !data))
        return false;
    // The request record takes a writable pointer; a set only reads through it.
    std::vector<std::uint8_t> bytes(static_cast<const std::uint8_t*>(data),
                                    static_cast<const std::uint8_t*>(data) + withLength);
    return sendRequest(kSetRequestType, UVC_SET_CUR, withLength, forSelector, at, bytes.data());
}

std::int32_t UVCCameraControl::getDataFor(std::int32_t request, std::int32_t withLength, std::int32_t fromSelector,
                                          std::int32_t at)
{
    if (!isTransferLength(withLength))
        return 0;
    // The area holds the whole answer (controls of up to 8 bytes exist) and at least the
    // four bytes the value is read from.
    std::vector<std::uint8_t> area(std::max<std::size_t>(4, static_cast<std::size_t>(withLength)), 0);
    if (!sendRequest(kGetRequestType, request, withLength, fromSelector, at, area.data()))
        return 0;
    std::int32_t value = static_cast<std::int32_t>(area[0] | (area[1] << 8) | (area[2] << 16)
                                                   | (static_cast<std::uint32_t>(area[3]) << 24));
    // A one-byte brightness arrives zero-extended; the device meant it signed.
    if (isUnit3Brightness(at, fromSelector) && value >= 0x81 && value <= 0xFF)
        value -= 256;
    return value;
}

bool UVCCameraControl::getStructDataFor(std::int32_t request, std::int32_t withLength, std::int32_t fromSelector,
                                        std::int32_t at, void* to)
{
    return sendRequest(kGetRequestType, request, withLength, fromSelector, at, to);
}

UVCControlRange UVCCameraControl::getRangeForControl(const UVCControlInfo* control)
{
    if (!control)
        return {0, 0};
    const std::int32_t minimum = getDataFor(UVC_GET_MIN, control->size, control->selector, control->unit);
    const std::int32_t maximum = getDataFor(UVC_GET_MAX, control->size, control->selector, control->unit);
    return {minimum, maximum};
}

std::int32_t UVCCameraControl::getValueForControl(const UVCControlInfo* control)
{
    if (!control)
        return 0;
    const std::int32_t value = getDataFor(UVC_GET_CUR, control->size, control->selector, control->unit);
    return isUnit3Brightness(control->unit, control->selector) ? mapForBrightnessValue(value, true) : value;
}

bool UVCCameraControl::setValue(std::int32_t value, const UVCControlInfo* forControl)
{
    if (!forControl)
        return false;
    if (isUnit3Brightness(forControl->unit, forControl->selector))
        value = mapForBrightnessValue(value, false);
    return setData(value, forControl->size, forControl->selector, forControl->unit);
}

float UVCCameraControl::mapValue(float value, float fromMin, float fromMax, float toMin, float toMax)
{
    return (value - fromMin) / (fromMax - fromMin) * (toMax - toMin) + toMin;
}

std::int32_t UVCCameraControl::mapForBrightnessValue(std::int32_t value, bool onStatus)
{
    if (onStatus && value >= 0xFF81 && value <= 0xFFFF)
        return value - 0x10000;
    if (!onStatus && value >= -127 && value <= -1)
        return value + 0x10000;
    return static_cast<std::uint32_t>(value) <= 127 ? value : 0;
}
