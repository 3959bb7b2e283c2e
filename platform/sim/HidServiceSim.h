// The HID service over the simulated devices: every device's HID function, hot-plug, reports.
#pragma once

#include "platform/HidService.h"
#include "platform/sim/Simulator.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace uvccam::platform {

// Delivers input reports as the operating system does: a report that comes due while the
// device is scheduled on the run loop goes to the registered callback, cut to the report
// space; one that comes due while the device is not scheduled waits in the device's
// buffer (the newest kBufferedReports) and is delivered, each in its own run-loop step and
// in order, once the device is scheduled again. A scheduled device with no callback
// drops what arrives. A detached device delivers nothing more.
class HidDeviceSim : public HidDevice, public std::enable_shared_from_this<HidDeviceSim> {
public:
    static constexpr std::size_t kBufferedReports = 64;

    HidDeviceSim(std::shared_ptr<SimulatedDevice> device, std::weak_ptr<Simulator> simulator);
    ~HidDeviceSim() override;

    HidDeviceSim(const HidDeviceSim&) = delete;
    HidDeviceSim& operator=(const HidDeviceSim&) = delete;

    std::uint32_t vendorId() const override { return device_->profile().vendorId; }
    std::uint32_t productId() const override { return device_->profile().productId; }
    QString productName() const override { return device_->profile().productName; }
    std::uint32_t locationId() const override { return device_->profile().locationId; }

    HidStatus setReport(const std::uint8_t* report, std::size_t length) override;
    void registerInputReportCallback(std::uint8_t* reportSpace, std::size_t spaceLength, InputReportCallback callback,
                                     void* context) override;
    void scheduleWithRunLoop() override;
    void unscheduleFromRunLoop() override;

    const std::shared_ptr<SimulatedDevice>& simulatedDevice() const { return device_; }

private:
    void deviceSent(const QByteArray& report, Duration delay);
    void arrive(const QByteArray& report);
    void deliverOldest();

    std::shared_ptr<SimulatedDevice> device_;
    std::weak_ptr<Simulator> simulator_;
    HidDeviceModel::ListenerId listenerId_ = 0;
    std::uint8_t* reportSpace_ = nullptr;
    std::size_t spaceLength_ = 0;
    InputReportCallback callback_ = nullptr;
    void* context_ = nullptr;
    bool scheduled_ = false;
    std::deque<QByteArray> buffered_;
};

class HidManagerSim;

class HidServiceSim : public HidService {
public:
    // The service's devices, shared with its managers, which may outlive it.
    struct Devices {
        std::weak_ptr<Simulator> simulator;
        // One object per attached device, so its registration and scheduling last.
        std::map<const SimulatedDevice*, std::shared_ptr<HidDeviceSim>> byDevice;
        bool copyGivesNone = false;

        std::shared_ptr<HidDeviceSim> deviceFor(const std::shared_ptr<SimulatedDevice>& device);
    };

    explicit HidServiceSim(std::shared_ptr<Simulator> simulator);
    ~HidServiceSim() override;

    std::shared_ptr<HidManager> createManager() override;

    // Fault: copyDevices() gives no set at all.
    void setCopyDevicesGivesNone(bool none) { devices_->copyGivesNone = none; }

private:
    void announce(Simulator::Change change, const std::shared_ptr<SimulatedDevice>& device);

    std::shared_ptr<Simulator> simulator_;
    Simulator::ListenerId listenerId_ = 0;
    std::shared_ptr<Devices> devices_ = std::make_shared<Devices>();
    std::vector<std::weak_ptr<HidManagerSim>> managers_;
};

// Covers every HID device of every vendor; the library does its own filtering. Once open
// and scheduled, it reports later arrivals and removals on the run loop to the callbacks
// set when the change happened; what was there before it learns from copyDevices().
class HidManagerSim : public HidManager {
public:
    explicit HidManagerSim(std::weak_ptr<HidServiceSim::Devices> devices) : devices_(std::move(devices)) {}

    HidStatus open() override;
    std::optional<std::vector<HidDevicePtr>> copyDevices() override;
    void scheduleWithRunLoop() override { scheduled_ = true; }
    void setDeviceMatchingCallback(DeviceCallback callback) override { matching_ = std::move(callback); }
    void setDeviceRemovalCallback(DeviceCallback callback) override { removal_ = std::move(callback); }

    bool hearsChanges() const { return opened_ && scheduled_; }
    const DeviceCallback& matchingCallback() const { return matching_; }
    const DeviceCallback& removalCallback() const { return removal_; }

private:
    std::weak_ptr<HidServiceSim::Devices> devices_;
    bool opened_ = false;
    bool scheduled_ = false;
    DeviceCallback matching_;
    DeviceCallback removal_;
};

}  // namespace uvccam::platform
