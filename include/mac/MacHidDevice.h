// One HID interface of the maker's devices: a camera's vendor channel or a speakerphone,
// and the raw report exchange with it.
#pragma once

#include "UVCCamExport.h"
#include "platform/HidService.h"

#include <QString>

#include <cstdint>

// The one input report a read waits for (512 bytes), and the space each incoming report
// is assembled in (4096 bytes). Made by the first read and kept for the process; every
// read clears both. One pair serves every device, so only one read runs at a time.
extern UVCCAM_EXPORT unsigned char* input_buffer;
extern UVCCAM_EXPORT unsigned char* report_buffer;

// The input-report callback of a read: copies the report (at most 512 bytes) into the
// context and ends the read's wait.
void input_oneshot(void* context, uvccam::platform::HidStatus result, uvccam::platform::HidDevice* sender,
                   std::uint32_t reportId, std::uint8_t* report, long reportLength);

class MacHidDevice {
public:
    static constexpr long kInputBufferSize = 512;
    static constexpr long kReportBufferSize = 4096;

    MacHidDevice() = default;
    virtual ~MacHidDevice();

    MacHidDevice(const MacHidDevice&) = delete;
    MacHidDevice& operator=(const MacHidDevice&) = delete;

    // Sends the bytes as one output report, exactly as given. True when the platform
    // took it. Logged unless byte 2 is 3.
    bool setReport(const std::uint8_t* report, long withLength);
    // readReport, then the read log unless byte 2 of the answer is 3.
    bool getReport(std::uint8_t* report, long withLength);
    // Waits up to 80 ms for one input report and copies `withLength` bytes of it (at most
    // 512). True when a report with a non-zero first byte arrived. A read started while
    // another one waits is refused, since both would share the one buffer.
    bool readReport(std::uint8_t* report, long withLength);

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
    const uvccam::platform::HidDevicePtr& hidDevice() const { return _hidDevice; }
    void setHidDevice(uvccam::platform::HidDevicePtr device) { _hidDevice = std::move(device); }

private:
    std::uint32_t _vendorId = 0;
    std::uint32_t _productId = 0;
    QString _deviceName;
    QString _deviceUniqueID;
    uvccam::platform::HidDevicePtr _hidDevice;
};
