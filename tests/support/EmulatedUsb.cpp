// Builds the sysfs entries and nodes of emulated cameras and speakerphones in a umockdev test bed.
// GLib names a struct member `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "support/EmulatedUsb.h"

#include "platform/sim/SimulatedDevice.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTimer>

#include <umockdev.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace uvccam::testing {

namespace {

// Where the host controller's buses live; the tree under it is what udev walks.
const QString kController = QStringLiteral("/devices/pci0000:00/0000:00:14.0");

QString hex4(std::uint16_t value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

// What hidraw takes in one write, the report ID byte included (HID_MAX_BUFFER_SIZE).
constexpr int kMaxWrite = 4096;

}  // namespace

EmulatedHid::EmulatedHid(std::uint16_t productId, std::function<void()> unplug, platform::UvcCameraModel* camera,
                         std::shared_ptr<std::recursive_mutex> lock)
    : mutex_(lock ? std::move(lock) : std::make_shared<std::recursive_mutex>()),
      firmware_(model_, camera, productId),
      unplug_(std::move(unplug)),
      mainThread_(std::make_unique<QObject>())
{
    model_.setAnswerDelay(platform::Duration::zero());
    model_.addInputListener([this](const QByteArray& report, platform::Duration delay) { arrived(report, delay); });
}

EmulatedHid::~EmulatedHid()
{
    if (handler_) {
        g_signal_handlers_disconnect_by_data(handler_, this);
        g_object_unref(handler_);
    }
}

void EmulatedHid::attach(_UMockdevTestbed* testbed, const QString& devnode)
{
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-read", G_CALLBACK(&EmulatedHid::onRead), this);
    g_signal_connect(handler_, "handle-write", G_CALLBACK(&EmulatedHid::onWrite), this);
    GError* error = nullptr;
    // Before the node exists: whoever hears of the device may open it at once.
    if (!umockdev_testbed_attach_ioctl(testbed, devnode.toUtf8().constData(), handler_, &error)) {
        ADD_FAILURE() << "umockdev refused the node's handler: " << error->message;
        g_error_free(error);
    }
}

std::vector<QByteArray> EmulatedHid::received() const
{
    std::lock_guard<std::recursive_mutex> lock(*mutex_);
    return model_.sentReports();
}

void EmulatedHid::send(const QByteArray& report)
{
    std::lock_guard<std::recursive_mutex> lock(*mutex_);
    model_.sendInputReport(report, platform::Duration::zero());
}

void EmulatedHid::setBehaviour(platform::HidDeviceModel::Behaviour behaviour)
{
    std::lock_guard<std::recursive_mutex> lock(*mutex_);
    model_.setBehaviour(behaviour);
}

void EmulatedHid::unplugOnNextReport()
{
    std::lock_guard<std::recursive_mutex> lock(*mutex_);
    unplugOnNextReport_ = true;
}

void EmulatedHid::withFirmware(const std::function<void(platform::HidFirmware&, platform::HidDeviceModel&)>& edit)
{
    std::lock_guard<std::recursive_mutex> lock(*mutex_);
    edit(firmware_, model_);
}

int EmulatedHid::reads() const
{
    std::lock_guard<std::recursive_mutex> lock(*mutex_);
    return reads_;
}

std::size_t EmulatedHid::pending() const
{
    std::lock_guard<std::recursive_mutex> lock(*mutex_);
    return queue_.size();
}

void EmulatedHid::arrived(const QByteArray& report, platform::Duration delay)
{
    // Called with the lock held, from whichever thread made the device speak.
    if (delay <= platform::Duration::zero()) {
        enqueue(report);
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(delay);
    QObject* context = mainThread_.get();
    QMetaObject::invokeMethod(
        context,
        [this, context, report, wait] {
            QTimer::singleShot(wait, context, [this, report] {
                std::lock_guard<std::recursive_mutex> lock(*mutex_);
                enqueue(report);
            });
        },
        Qt::QueuedConnection);
}

void EmulatedHid::enqueue(const QByteArray& report)
{
    if (unplugged_ || report.isEmpty() || queue_.size() >= kQueueLimit)
        return;
    queue_.push_back(report);
    if (queue_.size() == 1)
        signalReadable();
}

void EmulatedHid::signalReadable()
{
    const char token = 1;
    if (terminal_ >= 0 && ::write(terminal_, &token, 1) != 1)
        ADD_FAILURE() << "cannot wake the node's reader: " << std::strerror(errno);
}

int EmulatedHid::onRead(_UMockdevIoctlBase*, _UMockdevIoctlClient* client, void* self)
{
    auto* hid = static_cast<EmulatedHid*>(self);
    std::lock_guard<std::recursive_mutex> lock(*hid->mutex_);
    ++hid->reads_;
    if (hid->unplugged_) {
        umockdev_ioctl_client_complete(client, -1, hid->gone_ == Gone::ReadError ? EIO : EAGAIN);
        return TRUE;
    }
    // Take the terminal's byte, if there is one: it stands for the report at the front.
    int error = 0;
    GError* failure = nullptr;
    const int got = umockdev_ioctl_client_execute(client, &error, &failure);
    if (failure)
        g_error_free(failure);
    if (got != 1 || hid->queue_.empty()) {
        umockdev_ioctl_client_complete(client, -1, got < 0 ? error : EAGAIN);
        return TRUE;
    }
    const QByteArray report = hid->queue_.front();
    hid->queue_.pop_front();
    if (!hid->queue_.empty())
        hid->signalReadable();
    UMockdevIoctlData* buffer = umockdev_ioctl_client_get_arg(client);
    const int length = std::min(buffer->data_len, report.size());
    umockdev_ioctl_data_update(buffer, 0, reinterpret_cast<guint8*>(const_cast<char*>(report.constData())), length);
    umockdev_ioctl_client_complete(client, length, 0);
    return TRUE;
}

int EmulatedHid::onWrite(_UMockdevIoctlBase*, _UMockdevIoctlClient* client, void* self)
{
    auto* hid = static_cast<EmulatedHid*>(self);
    std::lock_guard<std::recursive_mutex> lock(*hid->mutex_);
    UMockdevIoctlData* buffer = umockdev_ioctl_client_get_arg(client);
    const int length = buffer->data_len;
    if (hid->unplugged_) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    if (length < 2 || length > kMaxWrite) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return TRUE;
    }
    // Report ID 0 means a device without numbered reports: the ID does not go out.
    const char* bytes = reinterpret_cast<const char*>(buffer->data);
    const QByteArray report = bytes[0] == 0 ? QByteArray(bytes + 1, length - 1) : QByteArray(bytes, length);
    platform::HidStatus status;
    if (hid->unplugOnNextReport_) {
        hid->unplugOnNextReport_ = false;
        const auto behaviour = hid->model_.behaviour();
        hid->model_.setBehaviour(platform::HidDeviceModel::Behaviour::Silent);
        status = hid->model_.receiveOutputReport(report);
        hid->model_.setBehaviour(behaviour);
        QMetaObject::invokeMethod(hid->mainThread_.get(), hid->unplug_, Qt::QueuedConnection);
    } else {
        status = hid->model_.receiveOutputReport(report);
    }
    // A failed transfer shows as a stalled endpoint.
    umockdev_ioctl_client_complete(client, status == platform::kHidSuccess ? length : -1,
                                   status == platform::kHidSuccess ? 0 : EPIPE);
    return TRUE;
}

void EmulatedHid::hangUp(Gone how)
{
    std::lock_guard<std::recursive_mutex> lock(*mutex_);
    if (unplugged_)
        return;
    unplugged_ = true;
    gone_ = how;
    queue_.clear();
    if (how == Gone::ReadError) {
        signalReadable();
        return;
    }
    // Without its other end the terminal hangs up, which poll() reports as hidraw does.
    // umockdev still owns the descriptor number, so it is replaced, not closed.
    const int nothing = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (nothing < 0 || ::dup2(nothing, terminal_) < 0)
        ADD_FAILURE() << "cannot hang up the node: " << std::strerror(errno);
    if (nothing >= 0)
        ::close(nothing);
}

namespace {

struct Capabilities {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
};

bool readCapabilities(Capabilities& caps)
{
    return syscall(SYS_capget, &caps.header, caps.data) == 0;
}

// The raw system call changes the calling thread only, which is what we want.
bool writeCapabilities(Capabilities& caps)
{
    return syscall(SYS_capset, &caps.header, caps.data) == 0;
}

constexpr std::uint32_t kOverrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

}  // namespace

NodeAccessDenied::NodeAccessDenied(const QString& node) : node_(QFile::encodeName(node))
{
    struct stat status {};
    if (::stat(node_.constData(), &status) != 0 || ::chmod(node_.constData(), 0) != 0)
        ADD_FAILURE() << "cannot take the access to " << node_.constData() << " away: " << std::strerror(errno);
    mode_ = status.st_mode & 07777;
    Capabilities caps;
    if (!readCapabilities(caps))
        ADD_FAILURE() << "cannot read this thread's capabilities: " << std::strerror(errno);
    effective_[0] = caps.data[0].effective;
    effective_[1] = caps.data[1].effective;
    caps.data[0].effective &= ~kOverrides;
    if (!writeCapabilities(caps))
        ADD_FAILURE() << "cannot give up this thread's file-mode overrides: " << std::strerror(errno);
}

NodeAccessDenied::~NodeAccessDenied()
{
    Capabilities caps;
    if (readCapabilities(caps)) {
        caps.data[0].effective = effective_[0];
        caps.data[1].effective = effective_[1];
        writeCapabilities(caps);
    }
    ::chmod(node_.constData(), mode_);
}

EmulatedDevice EmulatedDevice::camera(const QString& product, std::uint16_t productId, const QString& devpath)
{
    EmulatedDevice device;
    device.product = product;
    device.productId = productId;
    device.serial = QStringLiteral("SN%1").arg(productId, 4, 16, QLatin1Char('0')).toUpper();
    device.devpath = devpath;
    device.video = true;
    device.hid = true;
    return device;
}

EmulatedDevice EmulatedDevice::speakerphone(const QString& product, std::uint16_t productId, const QString& devpath)
{
    EmulatedDevice device;
    device.product = product;
    device.productId = productId;
    device.devpath = devpath;
    device.hid = true;
    return device;
}

EmulatedUsb::EmulatedUsb() : testbed_(umockdev_testbed_new()) {}

EmulatedUsb::~EmulatedUsb()
{
    g_object_unref(testbed_);
}

EmulatedNodes EmulatedUsb::plug(const EmulatedDevice& device)
{
    const QString name = QStringLiteral("%1-%2").arg(device.busnum).arg(device.devpath);
    const QString usb = kController + QStringLiteral("/usb%1/").arg(device.busnum) + name;
    QStringList record;
    record << QStringLiteral("P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\nA: idVendor=%2\nA: idProduct=%3\n"
                             "A: busnum=%4\nA: devnum=%5\nA: devpath=%6\nA: product=%7\n")
                  .arg(usb, hex4(device.vendorId), hex4(device.productId))
                  .arg(device.busnum)
                  .arg(++devicesPlugged_ + 1)
                  .arg(device.devpath, device.product)
               + (device.serial.isEmpty() ? QString() : QStringLiteral("A: serial=%1\n").arg(device.serial));

    EmulatedNodes nodes;
    nodes.usbSyspath = QStringLiteral("/sys") + usb;
    EmulatedUvcDriver* driver = nullptr;
    if (device.video) {
        auto camera = std::make_unique<platform::UvcCameraModel>(device.productId == platform::SimulatedDevice::kRx710ProductId,
                                                                 device.serial);
        // The maker's software reads and writes the ST470's transfer mode as one byte: so
        // long is that control.
        if (device.productId == platform::HidFirmware::kSt470ProductId)
            camera->setExtensionLength(platform::HidFirmware::kTransferModeUnit,
                                       platform::HidFirmware::kTransferModeSelector, 1);
        const QByteArray descriptors = cameraUsbDescriptors(*camera, device.vendorId, device.productId, device.hid);
        record[0] += QStringLiteral("A: bConfigurationValue=1\nA: bNumInterfaces=%1\nH: descriptors=%2\n")
                         .arg(device.hid ? 3 : 2)
                         .arg(QString::fromLatin1(descriptors.toHex()));
        const QString interface = usb + QStringLiteral("/%1:1.0").arg(name);
        record << QStringLiteral("P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceClass=0e\n"
                                 "A: bInterfaceSubClass=01\nA: bInterfaceNumber=00\n")
                      .arg(interface);
        // uvcvideo's two nodes: the capture node and the metadata node beside it.
        for (const bool capture : {true, false}) {
            const int number = nextVideo_++;
            const QString path = interface + QStringLiteral("/video4linux/video%1").arg(number);
            // Its device number (video4linux's major, 81) lets tools that look a node up in
            // /sys/dev/char by stat() find it, as v4l2-ctl does.
            record << QStringLiteral("P: %1\nN: video%2=00\nE: SUBSYSTEM=video4linux\nE: DEVNAME=/dev/video%2\n"
                                     "E: MAJOR=81\nE: MINOR=%2\nA: dev=81:%2\n"
                                     "E: ID_V4L_VERSION=2\nE: ID_V4L_CAPABILITIES=%3\nA: name=%4\n")
                          .arg(path)
                          .arg(number)
                          .arg(capture ? QStringLiteral(":capture:") : QStringLiteral(":"), device.product);
            (capture ? nodes.video : nodes.metadata) = QStringLiteral("/dev/video%1").arg(number);
            (capture ? nodes.videoSyspath : nodes.metadataSyspath) = QStringLiteral("/sys") + path;
        }
        // The bus information uvcvideo gives: the host controller's name and the port path.
        const QString busInfo = QStringLiteral("usb-%1-%2").arg(kController.section(QLatin1Char('/'), -1), device.devpath);
        auto bound = std::make_unique<EmulatedUvcDriver>(std::move(camera), descriptors, device.product, busInfo);
        bound->attach(testbed_, nodes.video, nodes.metadata);
        bound->clearRequests();
        driver = bound.get();
        uvc_[nodes.video] = std::move(bound);
    }
    if (device.hid) {
        const QString interface = usb + QStringLiteral("/%1:1.4").arg(name);
        const QString hid = interface + QStringLiteral("/0003:%1:%2.%3")
                                            .arg(hex4(device.vendorId).toUpper(), hex4(device.productId).toUpper())
                                            .arg(nextHid_++, 4, 16, QLatin1Char('0'));
        const int number = nextHidraw_++;
        const QString path = hid + QStringLiteral("/hidraw/hidraw%1").arg(number);
        record << QStringLiteral("P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceClass=03\n"
                                 "A: bInterfaceNumber=04\n")
                      .arg(interface)
               << QStringLiteral("P: %1\nE: SUBSYSTEM=hid\nE: HID_ID=0003:0000%2:0000%3\nE: HID_NAME=%4\n")
                      .arg(hid, hex4(device.vendorId).toUpper(), hex4(device.productId).toUpper(),
                           device.hidName.isEmpty() ? device.product : device.hidName)
               // A terminal stands in for the node, so that the test can speak for the device.
               << QStringLiteral("P: %1\nN: hidraw%2\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/hidraw%2\n").arg(path).arg(number);
        nodes.hidraw = QStringLiteral("/dev/hidraw%1").arg(number);
        nodes.hidrawSyspath = QStringLiteral("/sys") + path;
        auto function = std::make_unique<EmulatedHid>(device.productId, [this, nodes] { unplug(nodes); },
                                                      driver ? &driver->camera() : nullptr,
                                                      driver ? driver->lock() : nullptr);
        function->attach(testbed_, nodes.hidraw);
        hid_[nodes.hidraw] = std::move(function);
    }

    GError* error = nullptr;
    const QByteArray text = record.join(QLatin1Char('\n')).toUtf8();
    if (!umockdev_testbed_add_from_string(testbed_, text.constData(), &error)) {
        ADD_FAILURE() << "umockdev refused the device: " << error->message;
        g_error_free(error);
    }
    if (!nodes.hidraw.isEmpty())
        hid_[nodes.hidraw]->terminal_ = umockdev_testbed_get_dev_fd(testbed_, nodes.hidraw.toUtf8().constData());
    return nodes;
}

EmulatedHid& EmulatedUsb::hid(const EmulatedNodes& nodes)
{
    return *hid_.at(nodes.hidraw);
}

EmulatedUvcDriver& EmulatedUsb::uvc(const EmulatedNodes& nodes)
{
    return *uvc_.at(nodes.video);
}

void EmulatedUsb::unplug(const EmulatedNodes& nodes, EmulatedHid::Gone how)
{
    // The test and a device told to leave at its next report may both ask.
    if (!unplugged_.insert(nodes.usbSyspath).second)
        return;
    const auto hid = hid_.find(nodes.hidraw);
    if (hid != hid_.end())
        hid->second->hangUp(how);
    const auto uvc = uvc_.find(nodes.video);
    if (uvc != uvc_.end())
        uvc->second->unplug();
    for (const QString& node : {nodes.videoSyspath, nodes.metadataSyspath, nodes.hidrawSyspath}) {
        if (!node.isEmpty())
            umockdev_testbed_uevent(testbed_, node.toUtf8().constData(), "remove");
    }
    umockdev_testbed_remove_device(testbed_, nodes.usbSyspath.toUtf8().constData());
}

void runUnderUmockdev(char** argv)
{
    constexpr const char* kPreload = "libumockdev-preload.so.0";
    const char* previous = std::getenv("LD_PRELOAD");
    if (previous && std::strstr(previous, "libumockdev-preload"))
        return;
    const std::string preload = previous && *previous ? std::string(kPreload) + ":" + previous : std::string(kPreload);
    setenv("LD_PRELOAD", preload.c_str(), 1);
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string options = asan && *asan ? std::string(asan) + ":verify_asan_link_order=0" : "verify_asan_link_order=0";
    setenv("ASAN_OPTIONS", options.c_str(), 1);
    execv("/proc/self/exe", argv);
    std::perror("cannot restart under umockdev");
    std::exit(2);
}

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    QElapsedTimer elapsed;
    elapsed.start();
    // The loop sleeps until an event comes; the tick is one at least every 20 ms, for
    // conditions that change without an event of this thread (another process, a file).
    // (processEvents with a time limit ignores WaitForMoreEvents and would spin.)
    QTimer tick;
    tick.start(20);
    while (!done() && elapsed.elapsed() < limit.count())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return done();
}

}  // namespace uvccam::testing
