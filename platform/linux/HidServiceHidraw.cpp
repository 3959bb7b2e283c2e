// hidraw nodes as HID devices: identity from udev, reports through the node on the main loop.
#include "platform/linux/HidServiceHidraw.h"

#include <QFile>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcHid, "uvccam.linux.hid")

namespace uvccam::platform {

namespace {

// HID_ID is "bus:vendor:product" in hex, "0003:00002A3B:00002574" for a USB device.
std::optional<std::pair<std::uint32_t, std::uint32_t>> idsFromHidId(const QByteArray& hidId)
{
    const QList<QByteArray> parts = hidId.split(':');
    if (parts.size() != 3)
        return std::nullopt;
    bool vendorOk = false;
    bool productOk = false;
    const std::uint32_t vendor = parts[1].toUInt(&vendorOk, 16);
    const std::uint32_t product = parts[2].toUInt(&productOk, 16);
    if (!vendorOk || !productOk)
        return std::nullopt;
    return std::make_pair(vendor & 0xFFFF, product & 0xFFFF);
}

}  // namespace

HidDeviceHidraw::HidDeviceHidraw(const UdevRecord& record) : devnode_(record.devnode), syspath_(record.syspath)
{
    if (const auto ids = idsFromHidId(record.hidProperties.value("HID_ID"))) {
        vendorId_ = ids->first;
        productId_ = ids->second;
    } else if (record.usb) {
        vendorId_ = record.usb->vendorId;
        productId_ = record.usb->productId;
    }
    if (record.usb && !record.usb->product.isEmpty())
        productName_ = record.usb->product;
    else
        productName_ = QString::fromUtf8(record.hidProperties.value("HID_NAME")).trimmed();
    locationId_ = record.usb ? record.usb->locationId : 0;
}

HidDeviceHidraw::~HidDeviceHidraw()
{
    notifier_.reset();
    retiredNotifier_.reset();
    if (fd_ >= 0)
        ::close(fd_);
}

bool HidDeviceHidraw::ensureOpen(HidStatus* failure)
{
    if (fd_ >= 0)
        return true;
    if (gone_ || devnode_.isEmpty()) {
        *failure = kHidNoDevice;
        return false;
    }
    const QByteArray path = QFile::encodeName(devnode_);
    int fd;
    do {
        fd = ::open(path.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        if (error == EACCES || error == EPERM) {
            if (!refusalLogged_) {
                refusalLogged_ = true;
                qCWarning(lcHid).noquote()
                    << QStringLiteral("cannot open %1 (%2): permission denied. The node belongs to root; a udev "
                                      "rule lets the logged-in user in: copy udev/70-uvccam.rules from the "
                                      "library's sources to /etc/udev/rules.d/, or write a rule of your own there "
                                      "such as\n"
                                      "    SUBSYSTEM==\"hidraw\", ATTRS{idVendor}==\"%3\", TAG+=\"uaccess\"\n"
                                      "then run \"udevadm control --reload && udevadm trigger\".")
                           .arg(devnode_, productName_)
                           .arg(vendorId_, 4, 16, QLatin1Char('0'));
            }
            *failure = kHidError;
        } else if (error == ENOENT || error == ENODEV || error == ENXIO) {
            qCInfo(lcHid, "cannot open %s: the device has gone", path.constData());
            *failure = kHidNoDevice;
        } else {
            qCWarning(lcHid, "cannot open %s: %s", path.constData(), std::strerror(error));
            *failure = kHidError;
        }
        return false;
    }

    fd_ = fd;
    buffer_.resize(kMaxReportSize);
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    notifier_->setEnabled(false);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] { readable(); });
    updateNotifier();
    return true;
}

void HidDeviceHidraw::close()
{
    if (notifier_) {
        notifier_->setEnabled(false);
        // Deleting a notifier from inside its own activation is not safe; readable() does
        // it once the activation is over.
        retiredNotifier_ = std::move(notifier_);
        if (!inActivation_)
            retiredNotifier_.reset();
    }
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

void HidDeviceHidraw::lost(const char* sign)
{
    if (!gone_)
        qCInfo(lcHid, "%s has gone (%s): no more reports", QFile::encodeName(devnode_).constData(), sign);
    gone_ = true;
    close();
}

void HidDeviceHidraw::detach()
{
    gone_ = true;
    close();
}

void HidDeviceHidraw::updateNotifier()
{
    if (notifier_)
        notifier_->setEnabled(scheduled_ && !delivering_);
}

HidStatus HidDeviceHidraw::setReport(const std::uint8_t* report, std::size_t length)
{
    // hidraw refuses a write of the report ID alone and one beyond its buffer.
    if (!report || length == 0 || length > kMaxReportSize - 1)
        return kHidError;
    HidStatus failure = kHidError;
    if (!ensureOpen(&failure))
        return failure;

    // Report ID 0, which the kernel takes off again: the device receives `report` exactly.
    std::vector<std::uint8_t> out(length + 1, 0);
    std::memcpy(out.data() + 1, report, length);
    ssize_t written;
    do {
        written = ::write(fd_, out.data(), out.size());
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(out.size()))
        return kHidSuccess;

    const int error = written < 0 ? errno : 0;
    if (error == ENODEV || error == EIO) {
        lost(error == ENODEV ? "write: ENODEV" : "write: EIO");
    } else {
        qCWarning(lcHid, "writing a %zu-byte report to %s failed: %s", length, QFile::encodeName(devnode_).constData(),
                  error ? std::strerror(error) : "short write");
    }
    return error == ENODEV ? kHidNoDevice : kHidError;
}

void HidDeviceHidraw::registerInputReportCallback(std::uint8_t* reportSpace, std::size_t spaceLength,
                                                  InputReportCallback callback, void* context)
{
    reportSpace_ = reportSpace;
    spaceLength_ = reportSpace ? spaceLength : 0;
    callback_ = callback;
    context_ = context;
    // From now on the kernel keeps what the device sends for us.
    HidStatus ignored = kHidSuccess;
    if (callback)
        ensureOpen(&ignored);
}

void HidDeviceHidraw::scheduleWithRunLoop()
{
    scheduled_ = true;
    updateNotifier();
}

void HidDeviceHidraw::unscheduleFromRunLoop()
{
    scheduled_ = false;
    updateNotifier();
}

void HidDeviceHidraw::readable()
{
    // The notifier is on only while scheduled and not delivering.
    if (fd_ < 0)
        return;
    // The callback may drop the library's last reference to us.
    const auto keepAlive = shared_from_this();
    inActivation_ = true;
    readOneReport();
    inActivation_ = false;
    retiredNotifier_.reset();
}

void HidDeviceHidraw::readOneReport()
{
    // One report per read, whatever the buffer holds; the notifier fires again for the next.
    const ssize_t got = ::read(fd_, buffer_.data(), buffer_.size());
    if (got < 0) {
        const int error = errno;
        if (error == EAGAIN || error == EINTR) {
            // A removed device answers EAGAIN for ever; only poll() tells.
            pollfd state{fd_, POLLIN, 0};
            if (::poll(&state, 1, 0) > 0 && (state.revents & (POLLHUP | POLLERR | POLLNVAL)))
                lost("poll: POLLHUP");
        } else {
            lost(error == EIO ? "read: EIO" : error == ENODEV ? "read: ENODEV" : std::strerror(error));
        }
        return;
    }
    if (got == 0) {
        lost("read: end of file");
        return;
    }
    if (!callback_)
        return;

    const std::size_t length = std::min(static_cast<std::size_t>(got), spaceLength_);
    if (length > 0)
        std::memcpy(reportSpace_, buffer_.data(), length);
    // Quiet while the callback runs: it may run the loop, and must not be entered again.
    delivering_ = true;
    updateNotifier();
    callback_(context_, kHidSuccess, this, 0, reportSpace_, static_cast<long>(length));
    delivering_ = false;
    updateNotifier();
}

std::shared_ptr<HidDeviceHidraw> HidServiceHidraw::Devices::deviceFor(const UdevRecord& record)
{
    auto& device = bySyspath[record.syspath];
    if (!device)
        device = std::make_shared<HidDeviceHidraw>(record);
    return device;
}

void HidServiceHidraw::Devices::changed(UdevWatcher::Action action, const UdevRecord& record)
{
    const bool added = action == UdevWatcher::Action::Added;
    std::shared_ptr<HidDeviceHidraw> device;
    if (added) {
        device = deviceFor(record);
    } else {
        const auto found = bySyspath.find(record.syspath);
        // Never listed nor announced: no manager can know it.
        if (found == bySyspath.end())
            return;
        device = found->second;
        bySyspath.erase(found);
        device->detach();
    }

    // A callback may make or drop managers; those present now are told.
    const auto present = managers;
    for (const auto& weak : present) {
        const auto manager = weak.lock();
        if (!manager)
            continue;
        if (added && manager->known_.count(record.syspath))
            continue;
        const bool hears = manager->opened_ && manager->scheduled_;
        if (added && hears)
            manager->known_.insert(record.syspath);
        else if (!added)
            manager->known_.erase(record.syspath);
        const HidManager::DeviceCallback callback = added ? manager->matching_ : manager->removal_;
        if (hears && callback)
            callback(device);
    }
}

HidServiceHidraw::HidServiceHidraw(std::shared_ptr<UdevWatcher> watcher)
{
    devices_->watcher = std::move(watcher);
    if (!devices_->watcher)
        return;
    std::weak_ptr<Devices> weak = devices_;
    listenerId_ = devices_->watcher->addListener("hidraw", [weak](UdevWatcher::Action action, const UdevRecord& record) {
        if (const auto devices = weak.lock())
            devices->changed(action, record);
    });
}

HidServiceHidraw::~HidServiceHidraw()
{
    if (devices_->watcher)
        devices_->watcher->removeListener(listenerId_);
}

std::shared_ptr<HidManager> HidServiceHidraw::createManager()
{
    auto manager = std::make_shared<HidManagerHidraw>(devices_);
    auto& managers = devices_->managers;
    managers.erase(std::remove_if(managers.begin(), managers.end(), [](const auto& weak) { return weak.expired(); }),
                   managers.end());
    managers.push_back(manager);
    return manager;
}

HidStatus HidManagerHidraw::open()
{
    opened_ = true;
    const auto devices = devices_.lock();
    return devices && devices->watcher ? kHidSuccess : kHidError;
}

std::optional<std::vector<HidDevicePtr>> HidManagerHidraw::copyDevices()
{
    const auto devices = devices_.lock();
    if (!devices || !devices->watcher)
        return std::nullopt;
    std::vector<HidDevicePtr> present;
    for (const UdevRecord& record : devices->watcher->enumerate("hidraw")) {
        if (record.devnode.isEmpty())
            continue;
        known_.insert(record.syspath);
        present.push_back(devices->deviceFor(record));
    }
    return present;
}

}  // namespace uvccam::platform
