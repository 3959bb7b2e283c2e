// One HID interface of the maker's devices: a camera's vendor channel or a speakerphone.
#pragma once

#include "UVCCamExport.h"

#include <QString>

#include <cstdint>

class UVCCAM_EXPORT MacHidDevice {
public:
    MacHidDevice() = default;
    virtual ~MacHidDevice();

    MacHidDevice(const MacHidDevice&) = delete;
    MacHidDevice& operator=(const MacHidDevice&) = delete;

    std::uint32_t vendorId() const { return _vendorId; }
    void setVendorId(std::uint32_t vendorId) { _vendorId = vendorId; }
    std::uint32_t productId() const { return _productId; }
    void setProductId(std::uint32_t productId) { _productId = productId; }
    // The product name; speakerphones are recognised by it.
    const QString& deviceName() const { return _deviceName; }
    void setDeviceName(const QString& name) { _deviceName = name; }
    // For a camera's HID interface this begins or ends with the camera's location key.
    const QString& deviceUniqueID() const { return _deviceUniqueID; }
    void setDeviceUniqueID(const QString& uniqueID) { _deviceUniqueID = uniqueID; }

private:
    std::uint32_t _vendorId = 0;
    std::uint32_t _productId = 0;
    QString _deviceName;
    QString _deviceUniqueID;
};
