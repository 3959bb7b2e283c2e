// HID devices: the current set with hot-plug, output reports, and input reports delivered
// on the main run loop.
#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace uvccam::platform {

// Status of a HID operation: 0 for success, otherwise an error code in the platform's
// numbering, which the library only logs.
using HidStatus = std::int32_t;
constexpr HidStatus kHidSuccess = 0;
constexpr HidStatus kHidError = static_cast<HidStatus>(0xE00002BC);
constexpr HidStatus kHidNoDevice = static_cast<HidStatus>(0xE00002C0);

class HidDevice {
public:
    // Called with each input report the device sends, while the device is scheduled on
    // the main run loop and the loop runs. `report` points into the report space given
    // at registration and holds `reportLength` bytes (cut to that space).
    using InputReportCallback = void (*)(void* context, HidStatus result, HidDevice* sender, std::uint32_t reportId,
                                         std::uint8_t* report, long reportLength);

    virtual ~HidDevice() = default;

    virtual std::uint32_t vendorId() const = 0;
    virtual std::uint32_t productId() const = 0;
    virtual QString productName() const = 0;
    // The USB location of the physical device: a camera's HID interface shares its camera's.
    virtual std::uint32_t locationId() const = 0;

    // Sends the bytes as one output report with report ID 0, exactly as given, byte 0
    // included.
    virtual HidStatus setReport(const std::uint8_t* report, std::size_t length) = 0;

    // Replaces any earlier registration.
    virtual void registerInputReportCallback(std::uint8_t* reportSpace, std::size_t spaceLength,
                                             InputReportCallback callback, void* context) = 0;
    virtual void scheduleWithRunLoop() = 0;
    virtual void unscheduleFromRunLoop() = 0;
};

using HidDevicePtr = std::shared_ptr<HidDevice>;

// A session with the HID system covering every HID device.
class HidManager {
public:
    using DeviceCallback = std::function<void(const HidDevicePtr&)>;

    virtual ~HidManager() = default;
    virtual HidStatus open() = 0;
    // The devices present now; none when the system gives no set.
    virtual std::optional<std::vector<HidDevicePtr>> copyDevices() = 0;
    // Arrivals and removals after the manager opened are reported on the main run loop
    // once the manager is scheduled.
    virtual void scheduleWithRunLoop() = 0;
    virtual void setDeviceMatchingCallback(DeviceCallback callback) = 0;
    virtual void setDeviceRemovalCallback(DeviceCallback callback) = 0;
};

class HidService {
public:
    virtual ~HidService() = default;
    virtual std::shared_ptr<HidManager> createManager() = 0;
};

}  // namespace uvccam::platform
