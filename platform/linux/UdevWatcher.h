// One udev view of the machine's device nodes: enumeration, and hot-plug on the main loop.
#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

struct udev;
struct udev_device;
struct udev_monitor;
class QSocketNotifier;

namespace uvccam::platform {

// The USB device a node belongs to: every function of one physical device (its video
// node, the video node's metadata twin, its vendor HID interface, its sound card) names
// the same one, so they pair by its location.
struct UsbParent {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    QString product;       // the USB product string, "" when the device has none
    QString serial;        // "" when the device has none
    unsigned busnum = 0;
    QString devpath;       // port path from the root hub, "1.4"
    std::uint32_t locationId = 0;
    QString syspath;
};

// A device node as udev described it when it was seen. Removal events carry the record
// taken at arrival: by then sysfs has nothing left to read.
struct UdevRecord {
    QString syspath;
    QString subsystem;  // "hidraw", "video4linux", "sound"
    QString devnode;    // "/dev/hidraw0"; empty for nodeless devices
    QMap<QByteArray, QByteArray> properties;     // the device's own udev properties
    QMap<QByteArray, QByteArray> hidProperties;  // its "hid" parent's (HID_ID, HID_NAME), if any
    std::optional<UsbParent> usb;                 // none for a device that is not on USB

    QByteArray property(const char* key) const { return properties.value(key); }
};

// Owns the process's udev context and its one monitor. The monitor's socket is watched by
// a QSocketNotifier, so listeners are called from the event loop of the thread that made
// the watcher (the main thread), never from inside a request. Hot-plug covers the
// subsystems listed at creation.
class UdevWatcher {
public:
    enum class Action { Added, Removed };
    using Listener = std::function<void(Action, const UdevRecord&)>;
    using ListenerId = std::uint64_t;

    // None when udev is not available (no /sys, say); the services then list nothing.
    static std::shared_ptr<UdevWatcher> create(const std::vector<QByteArray>& subsystems);
    ~UdevWatcher();

    UdevWatcher(const UdevWatcher&) = delete;
    UdevWatcher& operator=(const UdevWatcher&) = delete;

    // The devices of the subsystem present now, sorted by sysfs path.
    std::vector<UdevRecord> enumerate(const QByteArray& subsystem);

    // Arrivals and removals in `subsystem` from now on.
    ListenerId addListener(const QByteArray& subsystem, Listener listener);
    void removeListener(ListenerId id);

private:
    UdevWatcher() = default;
    bool start(const std::vector<QByteArray>& subsystems);
    void receive();
    UdevRecord recordOf(udev_device* device);

    udev* udev_ = nullptr;
    udev_monitor* monitor_ = nullptr;
    std::unique_ptr<QSocketNotifier> notifier_;
    struct Subscription {
        ListenerId id;
        QByteArray subsystem;
        Listener listener;
    };
    std::vector<Subscription> listeners_;
    ListenerId nextListenerId_ = 1;
    // Every device seen and not yet gone, by sysfs path.
    QMap<QString, UdevRecord> known_;
};

}  // namespace uvccam::platform
