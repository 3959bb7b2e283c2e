// HID devices through the kernel's hidraw nodes: listed and followed by udev, reports over the nodes.
#pragma once

#include "platform/HidService.h"
#include "platform/linux/UdevWatcher.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class QSocketNotifier;

namespace uvccam::platform {

// One hidraw node, the same object from the moment a manager lists it (or announces its
// arrival) until udev reports its removal.
//
// Identity. Vendor and product IDs come from the HID device's HID_ID, the location from the
// parent USB device (0 for a device not on USB). The product name is the USB product string:
// for a USB device the kernel's HID_NAME is the manufacturer string, a space and the product
// string, so "Maker VOXA760" would hide a speakerphone that the library recognises by its
// name beginning "VOXA". HID_NAME serves only when there is no product string.
//
// Output reports. hidraw's write() takes byte 0 as the report ID and, for report ID 0 (a
// device without numbered reports), strips it before the transfer. So the library's bytes
// go out behind a 0: a 512-byte report is a 513-byte write, and the device receives the 512
// bytes exactly. Written without it, the library's first byte would be taken for a report
// ID: the property reports (0x08 ...) would still reach a device through its interrupt OUT
// endpoint unchanged, but one that takes output reports as SET_REPORT requests would be
// asked for report 8, and a caller-built report that begins with 0 would lose that byte and
// arrive one byte short. A write is at most 4096 bytes, the ID included.
//
// Input reports. The node is opened read-write and non-blocking on the first setReport or
// input registration, and stays open until the device goes, because the kernel keeps input
// reports per open descriptor: what arrives while no descriptor is open is lost. A socket
// notifier on the main loop reads one report per activation while the device is scheduled;
// while it is not, the notifier is off and reports wait in the kernel's queue for this
// descriptor (63 of them; the kernel drops newer ones when it is full), in order, for the
// next time the device is scheduled. A scheduled device without a callback reads and drops.
//
// Unplug. Delivery ends, for good, at the first sign that the device has gone: read()
// failing with EIO or ENODEV, write() failing with ENODEV or EIO, or udev's removal. A
// non-blocking read of a removed device whose queue is empty fails with EAGAIN, not EIO,
// while poll() reports POLLHUP for ever after: a reader that only looked at read()'s error
// would be woken again and again. So an EAGAIN is followed by a poll() for POLLHUP and
// POLLERR. The descriptor is then closed; setReport answers kHidNoDevice.
//
// Permission. The nodes belong to root (mode 0600) unless a udev rule lets the logged-in
// user in. A device that cannot be opened is still listed; the first refusal is logged on
// the "uvccam.linux.hid" category with the node and the rule that grants access, and
// setReport answers kHidError while access is refused; once a rule grants it, the next
// setReport or registration opens the node.
class HidDeviceHidraw : public HidDevice, public std::enable_shared_from_this<HidDeviceHidraw> {
public:
    // The kernel's largest report buffer (HID_MAX_BUFFER_SIZE), report ID byte included.
    static constexpr std::size_t kMaxReportSize = 4096;

    explicit HidDeviceHidraw(const UdevRecord& record);
    ~HidDeviceHidraw() override;

    HidDeviceHidraw(const HidDeviceHidraw&) = delete;
    HidDeviceHidraw& operator=(const HidDeviceHidraw&) = delete;

    std::uint32_t vendorId() const override { return vendorId_; }
    std::uint32_t productId() const override { return productId_; }
    QString productName() const override { return productName_; }
    std::uint32_t locationId() const override { return locationId_; }

    HidStatus setReport(const std::uint8_t* report, std::size_t length) override;
    void registerInputReportCallback(std::uint8_t* reportSpace, std::size_t spaceLength, InputReportCallback callback,
                                     void* context) override;
    void scheduleWithRunLoop() override;
    void unscheduleFromRunLoop() override;

    const QString& devnode() const { return devnode_; }
    const QString& syspath() const { return syspath_; }
    // Whether the node is open now.
    bool isOpen() const { return fd_ >= 0; }

    // udev reported the device's removal: the node is closed for good.
    void detach();

private:
    bool ensureOpen(HidStatus* failure);
    void close();
    void lost(const char* sign);
    void updateNotifier();
    void readable();
    void readOneReport();

    QString devnode_;
    QString syspath_;
    std::uint32_t vendorId_ = 0;
    std::uint32_t productId_ = 0;
    QString productName_;
    std::uint32_t locationId_ = 0;

    int fd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    // A notifier closed from inside its own activation, deleted once that activation ends.
    std::unique_ptr<QSocketNotifier> retiredNotifier_;
    bool gone_ = false;
    bool scheduled_ = false;
    bool delivering_ = false;
    bool inActivation_ = false;
    bool refusalLogged_ = false;
    std::uint8_t* reportSpace_ = nullptr;
    std::size_t spaceLength_ = 0;
    InputReportCallback callback_ = nullptr;
    void* context_ = nullptr;
    std::vector<std::uint8_t> buffer_;
};

class HidManagerHidraw;

// The hidraw devices udev knows. One object per node (by sysfs path) for as long as the node
// exists, shared by every manager, so that a removal hands out the object the library was
// given at enumeration or arrival. Without a watcher (no udev) nothing is listed.
class HidServiceHidraw : public HidService {
public:
    explicit HidServiceHidraw(std::shared_ptr<UdevWatcher> watcher);
    ~HidServiceHidraw() override;

    HidServiceHidraw(const HidServiceHidraw&) = delete;
    HidServiceHidraw& operator=(const HidServiceHidraw&) = delete;

    std::shared_ptr<HidManager> createManager() override;

    // Shared with the managers, which may outlive the service.
    struct Devices {
        std::shared_ptr<UdevWatcher> watcher;
        std::map<QString, std::shared_ptr<HidDeviceHidraw>> bySyspath;
        std::vector<std::weak_ptr<HidManagerHidraw>> managers;

        std::shared_ptr<HidDeviceHidraw> deviceFor(const UdevRecord& record);
        void changed(UdevWatcher::Action action, const UdevRecord& record);
    };

private:
    std::shared_ptr<Devices> devices_ = std::make_shared<Devices>();
    UdevWatcher::ListenerId listenerId_ = 0;
};

// Covers every hidraw device of every vendor; the library does its own filtering. Once open
// and scheduled it reports udev's arrivals and removals from the main loop, to the callbacks
// set at that moment. A device it has already listed through copyDevices() (udev's "add" can
// still be on its way when an enumeration finds the device) is not announced again.
class HidManagerHidraw : public HidManager {
public:
    explicit HidManagerHidraw(std::weak_ptr<HidServiceHidraw::Devices> devices) : devices_(std::move(devices)) {}

    // kHidError when there is no udev to ask.
    HidStatus open() override;
    // None when there is no udev to ask.
    std::optional<std::vector<HidDevicePtr>> copyDevices() override;
    void scheduleWithRunLoop() override { scheduled_ = true; }
    void setDeviceMatchingCallback(DeviceCallback callback) override { matching_ = std::move(callback); }
    void setDeviceRemovalCallback(DeviceCallback callback) override { removal_ = std::move(callback); }

private:
    friend struct HidServiceHidraw::Devices;

    std::weak_ptr<HidServiceHidraw::Devices> devices_;
    bool opened_ = false;
    bool scheduled_ = false;
    DeviceCallback matching_;
    DeviceCallback removal_;
    // The sysfs paths of the devices this manager has handed out and not yet seen leave.
    std::set<QString> known_;
};

}  // namespace uvccam::platform
