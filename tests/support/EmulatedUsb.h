// USB devices that umockdev emulates (sysfs, udev events, device nodes), for the Linux backends.
#pragma once

#include "platform/sim/HidDeviceModel.h"
#include "platform/sim/HidFirmware.h"
#include "support/EmulatedUvcDriver.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

class QObject;
struct _UMockdevTestbed;
struct _UMockdevIoctlBase;
struct _UMockdevIoctlClient;

namespace uvccam::testing {

// One physical device, described as the tests need it. A camera has a video capture node,
// its metadata twin (which the library must pass over) and, when `hid`, a vendor HID
// interface with a hidraw node; a speakerphone has only the HID interface. A camera's video
// function is the simulator's camera model (the RX710's for product 0x2574) behind an
// emulated uvcvideo, with the USB descriptors that model declares in sysfs.
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

// The HID function of one plugged device, behind its hidraw node as the kernel presents it.
// The device is the simulator's: a HidDeviceModel answered by the maker's HidFirmware,
// which answers at once unless told otherwise.
//
// The node (a terminal that umockdev makes) behaves like hidraw towards a reader that does
// not block: each write() is one report, byte 0 its report ID, which is taken off when it
// is 0 (the device receives the rest); fewer than 2 or more than 4096 bytes are refused
// with EINVAL. Each read() gives one whole input report (cut to the reader's buffer) or
// fails with EAGAIN, and poll() says POLLIN while a report waits: the terminal carries one
// byte for as long as the queue holds anything, and the node's read handler hands out the
// report itself. The queue is the device's, not each descriptor's as in the kernel, and
// like the kernel's it drops what arrives while kQueueLimit reports wait.
//
// Everything here may be called from the test's thread while umockdev's worker thread
// answers the node; one lock keeps the two apart. On a camera it is the camera's lock,
// which the firmware holds when it applies the camera's deferred UVC properties.
class EmulatedHid {
public:
    // How an open node shows that its device has gone.
    enum class Gone {
        Hangup,     // poll() says POLLHUP and POLLERR, a read fails with EAGAIN: what a
                    // non-blocking reader gets from hidraw
        ReadError,  // the node stays readable and every read fails with EIO: what a
                    // blocking reader gets
    };
    // The kernel's 64-entry ring holds one report less than its size.
    static constexpr std::size_t kQueueLimit = 63;

    // `camera` and `lock`: the camera's video function and its lock, or none (a speakerphone).
    EmulatedHid(std::uint16_t productId, std::function<void()> unplug, platform::UvcCameraModel* camera = nullptr,
                std::shared_ptr<std::recursive_mutex> lock = nullptr);
    ~EmulatedHid();
    EmulatedHid(const EmulatedHid&) = delete;
    EmulatedHid& operator=(const EmulatedHid&) = delete;

    // Every output report the device received, oldest first, as it arrived (report ID 0
    // taken off).
    std::vector<QByteArray> received() const;
    // The device sends an input report now.
    void send(const QByteArray& report);
    void setBehaviour(platform::HidDeviceModel::Behaviour behaviour);
    // The next output report is taken but never answered: the device is unplugged instead,
    // from the test's event loop (inside the library's wait for the answer, say).
    void unplugOnNextReport();
    // Runs `edit` on the device's firmware and model while no report is being handled.
    void withFirmware(const std::function<void(platform::HidFirmware&, platform::HidDeviceModel&)>& edit);
    // How many reads the node has answered: a reader that spins on a gone device shows here.
    int reads() const;
    // Input reports waiting to be read.
    std::size_t pending() const;
    // The kernel's side of an unplug alone: open nodes learn that the device has gone,
    // udev hears nothing until EmulatedUsb::unplug().
    void hangUp(Gone how);

private:
    friend class EmulatedUsb;
    static int onRead(_UMockdevIoctlBase* handler, _UMockdevIoctlClient* client, void* self);
    static int onWrite(_UMockdevIoctlBase* handler, _UMockdevIoctlClient* client, void* self);

    void attach(_UMockdevTestbed* testbed, const QString& devnode);
    void arrived(const QByteArray& report, platform::Duration delay);
    void enqueue(const QByteArray& report);
    void signalReadable();

    std::shared_ptr<std::recursive_mutex> mutex_;
    platform::HidDeviceModel model_;
    platform::HidFirmware firmware_;
    std::deque<QByteArray> queue_;
    _UMockdevIoctlBase* handler_ = nullptr;
    int terminal_ = -1;  // the other end of the node's terminal (umockdev's)
    bool unplugged_ = false;
    Gone gone_ = Gone::Hangup;
    bool unplugOnNextReport_ = false;
    int reads_ = 0;
    std::function<void()> unplug_;
    // Lives on the test's thread: delayed answers and the unplug are run there.
    std::unique_ptr<QObject> mainThread_;
};

// While it lives, this thread cannot open the node: its mode is 0, and the thread has given
// up root's right to ignore file modes (capabilities belong to each thread in Linux, and
// the backends open nodes on the main thread). umockdev's nodes are real terminals, so the
// kernel itself refuses with EACCES, as it would a hidraw node without a udev rule.
class NodeAccessDenied {
public:
    explicit NodeAccessDenied(const QString& node);
    ~NodeAccessDenied();
    NodeAccessDenied(const NodeAccessDenied&) = delete;
    NodeAccessDenied& operator=(const NodeAccessDenied&) = delete;

private:
    QByteArray node_;
    unsigned mode_ = 0;
    std::uint32_t effective_[2] = {0, 0};
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
    // An open hidraw node learns first that its device has gone, as from the kernel, then
    // udev does.
    void unplug(const EmulatedNodes& nodes, EmulatedHid::Gone how = EmulatedHid::Gone::Hangup);

    // The HID function behind a plugged device's hidraw node.
    EmulatedHid& hid(const EmulatedNodes& nodes);
    // The video function behind a plugged camera's capture node: its camera model (the
    // requests that reached it, fault knobs) behind the emulated driver. Its requests start
    // empty, without those the driver sent when it bound.
    EmulatedUvcDriver& uvc(const EmulatedNodes& nodes);

    _UMockdevTestbed* testbed() const { return testbed_; }

private:
    _UMockdevTestbed* testbed_;
    int devicesPlugged_ = 0;
    int nextVideo_ = 0;
    int nextHidraw_ = 0;
    int nextHid_ = 1;
    // By capture and hidraw node; kept until the test bed goes, as open descriptors may still
    // ask. A camera's HID firmware uses its video function, so that goes last.
    std::map<QString, std::unique_ptr<EmulatedUvcDriver>> uvc_;
    std::map<QString, std::unique_ptr<EmulatedHid>> hid_;
    std::set<QString> unplugged_;
};

// Starts this program again with umockdev's preload library in place, unless it already
// runs under it, so that a test or benchmark program runs the same from ctest, a debugger
// or a shell. Call it first thing in main(). The sanitizer runtime would insist on coming
// first among the preloaded libraries; umockdev's only wraps system calls, so its order
// does not matter to it.
void runUnderUmockdev(char** argv);

// Runs the Qt event loop until `done` holds or `limit` has passed; whether it holds. Real
// backends deliver from the event loop, so this is how a test waits for them.
bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5));

}  // namespace uvccam::testing
