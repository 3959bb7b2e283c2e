// libudev enumeration and the one netlink monitor, read from the Qt event loop.
#include "platform/linux/UdevWatcher.h"

#include "platform/linux/UsbLocation.h"

#include <QLoggingCategory>
#include <QSocketNotifier>

#include <algorithm>

#include <libudev.h>

Q_LOGGING_CATEGORY(lcUdev, "uvccam.linux.udev")

namespace uvccam::platform {

namespace {

QString text(const char* value)
{
    return value ? QString::fromUtf8(value) : QString(QLatin1String(""));
}

QMap<QByteArray, QByteArray> propertiesOf(udev_device* device)
{
    QMap<QByteArray, QByteArray> properties;
    for (udev_list_entry* entry = device ? udev_device_get_properties_list_entry(device) : nullptr; entry;
         entry = udev_list_entry_get_next(entry)) {
        properties.insert(udev_list_entry_get_name(entry), udev_list_entry_get_value(entry));
    }
    return properties;
}

std::uint16_t hexAttribute(udev_device* device, const char* name)
{
    return static_cast<std::uint16_t>(text(udev_device_get_sysattr_value(device, name)).toUInt(nullptr, 16));
}

std::optional<UsbParent> usbParentOf(udev_device* device)
{
    // Not owned: a parent lives as long as its child.
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
    if (!usb)
        return std::nullopt;
    UsbParent parent;
    parent.vendorId = hexAttribute(usb, "idVendor");
    parent.productId = hexAttribute(usb, "idProduct");
    parent.product = text(udev_device_get_sysattr_value(usb, "product")).trimmed();
    parent.serial = text(udev_device_get_sysattr_value(usb, "serial")).trimmed();
    parent.busnum = text(udev_device_get_sysattr_value(usb, "busnum")).toUInt();
    parent.devpath = text(udev_device_get_sysattr_value(usb, "devpath")).trimmed();
    parent.locationId = usbLocationId(parent.busnum, parent.devpath);
    parent.syspath = text(udev_device_get_syspath(usb));
    return parent;
}

}  // namespace

std::shared_ptr<UdevWatcher> UdevWatcher::create(const std::vector<QByteArray>& subsystems)
{
    std::shared_ptr<UdevWatcher> watcher(new UdevWatcher());
    if (!watcher->start(subsystems))
        return nullptr;
    return watcher;
}

bool UdevWatcher::start(const std::vector<QByteArray>& subsystems)
{
    udev_ = udev_new();
    if (!udev_) {
        qCWarning(lcUdev, "udev is not available: no devices will be listed");
        return false;
    }
    monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_) {
        for (const QByteArray& subsystem : subsystems)
            udev_monitor_filter_add_match_subsystem_devtype(monitor_, subsystem.constData(), nullptr);
        if (udev_monitor_enable_receiving(monitor_) < 0) {
            udev_monitor_unref(monitor_);
            monitor_ = nullptr;
        }
    }
    if (!monitor_) {
        // Listing still works; only arrivals and removals go unnoticed.
        qCWarning(lcUdev, "cannot monitor udev events: devices plugged in later will not be seen");
        return true;
    }
    notifier_ = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(monitor_), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { receive(); });
    return true;
}

UdevWatcher::~UdevWatcher()
{
    notifier_.reset();
    if (monitor_)
        udev_monitor_unref(monitor_);
    if (udev_)
        udev_unref(udev_);
}

UdevRecord UdevWatcher::recordOf(udev_device* device)
{
    UdevRecord record;
    record.syspath = text(udev_device_get_syspath(device));
    record.subsystem = text(udev_device_get_subsystem(device));
    record.devnode = text(udev_device_get_devnode(device));
    record.properties = propertiesOf(device);
    record.hidProperties = propertiesOf(udev_device_get_parent_with_subsystem_devtype(device, "hid", nullptr));
    record.usb = usbParentOf(device);
    return record;
}

std::vector<UdevRecord> UdevWatcher::enumerate(const QByteArray& subsystem)
{
    std::vector<UdevRecord> records;
    udev_enumerate* enumeration = udev_enumerate_new(udev_);
    if (!enumeration)
        return records;
    udev_enumerate_add_match_subsystem(enumeration, subsystem.constData());
    udev_enumerate_scan_devices(enumeration);
    for (udev_list_entry* entry = udev_enumerate_get_list_entry(enumeration); entry;
         entry = udev_list_entry_get_next(entry)) {
        udev_device* device = udev_device_new_from_syspath(udev_, udev_list_entry_get_name(entry));
        if (!device)
            continue;  // gone between the scan and now
        records.push_back(recordOf(device));
        udev_device_unref(device);
        known_.insert(records.back().syspath, records.back());
    }
    udev_enumerate_unref(enumeration);
    std::sort(records.begin(), records.end(),
              [](const UdevRecord& a, const UdevRecord& b) { return a.syspath < b.syspath; });
    return records;
}

UdevWatcher::ListenerId UdevWatcher::addListener(const QByteArray& subsystem, Listener listener)
{
    const ListenerId id = nextListenerId_++;
    listeners_.push_back({id, subsystem, std::move(listener)});
    return id;
}

void UdevWatcher::removeListener(ListenerId id)
{
    listeners_.erase(std::remove_if(listeners_.begin(), listeners_.end(),
                                    [id](const Subscription& each) { return each.id == id; }),
                     listeners_.end());
}

void UdevWatcher::receive()
{
    // One event per activation: the notifier fires again while more are queued.
    udev_device* device = udev_monitor_receive_device(monitor_);
    if (!device)
        return;
    const QByteArray action = udev_device_get_action(device);
    Action change;
    UdevRecord record;
    if (action == "add") {
        change = Action::Added;
        record = recordOf(device);
        known_.insert(record.syspath, record);
    } else if (action == "remove") {
        change = Action::Removed;
        const QString syspath = text(udev_device_get_syspath(device));
        record = known_.value(syspath, recordOf(device));
        known_.remove(syspath);
    } else {
        udev_device_unref(device);
        return;
    }
    udev_device_unref(device);

    // A listener may add or remove listeners: those present now are called, unless an
    // earlier one removed them meanwhile.
    std::vector<ListenerId> interested;
    for (const Subscription& each : listeners_) {
        if (each.subsystem == record.subsystem.toLatin1())
            interested.push_back(each.id);
    }
    for (const ListenerId id : interested) {
        const auto found = std::find_if(listeners_.begin(), listeners_.end(),
                                        [id](const Subscription& each) { return each.id == id; });
        if (found == listeners_.end())
            continue;
        const Listener listener = found->listener;  // survives its own removal
        listener(change, record);
    }
}

}  // namespace uvccam::platform
