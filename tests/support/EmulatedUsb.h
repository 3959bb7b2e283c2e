// USB devices that umockdev emulates (sysfs, udev events, device nodes), for the Linux backends.
#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <functional>

struct _UMockdevTestbed;

namespace uvccam::testing {

// One physical device, described as the tests need it. A camera has a video capture node,
// its metadata twin (which the library must pass over) and, when `hid`, a vendor HID
// interface with a hidraw node; a speakerphone has only the HID interface.
struct EmulatedDevice {
    QString product;                 // the USB product string
    std::uint16_t vendorId = 0x2a3b;
    std::uint16_t productId = 0;
    QString serial;
    unsigned busnum = 1;
    QString devpath = QStringLiteral("1");  // the port path from the root hub
    bool video = false;
    bool hid = false;
    QString hidName;                 // HID_NAME; the product string when empty

    static EmulatedDevice camera(const QString& product, std::uint16_t productId, const QString& devpath);
    static EmulatedDevice speakerphone(const QString& product, std::uint16_t productId, const QString& devpath);
};

// The nodes of one plugged device; empty where it has none.
struct EmulatedNodes {
    QString usbSyspath;
    QString video;     // "/dev/video0"
    QString metadata;  // "/dev/video1"
    QString hidraw;    // "/dev/hidraw0"
    QString videoSyspath;
    QString metadataSyspath;
    QString hidrawSyspath;
};

// A umockdev test bed. The process must run with umockdev's preload library, which
// UmockdevTestMain arranges. Plugging announces every node with an "add" event, as udev
// does; unplugging sends "remove" for each node while it still exists, then removes it.
class EmulatedUsb {
public:
    EmulatedUsb();
    ~EmulatedUsb();
    EmulatedUsb(const EmulatedUsb&) = delete;
    EmulatedUsb& operator=(const EmulatedUsb&) = delete;

    EmulatedNodes plug(const EmulatedDevice& device);
    void unplug(const EmulatedNodes& nodes);

    _UMockdevTestbed* testbed() const { return testbed_; }

private:
    _UMockdevTestbed* testbed_;
    int devicesPlugged_ = 0;
    int nextVideo_ = 0;
    int nextHidraw_ = 0;
    int nextHid_ = 1;
};

// Runs the Qt event loop until `done` holds or `limit` has passed; whether it holds. Real
// backends deliver from the event loop, so this is how a test waits for them.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5));

}  // namespace uvccam::testing
