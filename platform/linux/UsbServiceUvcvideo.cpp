// Cameras under uvcvideo: found through udev, their serial strings from usbfs or sysfs, their controls through the capture node.
#include "platform/linux/UsbServiceUvcvideo.h"

#include "platform/linux/CaptureServiceV4l2.h"
#include "platform/linux/UvcControlTranslation.h"

#include <QFile>
#include <QLoggingCategory>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/usbdevice_fs.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcUsb, "uvccam.linux.usb", QtInfoMsg)

namespace uvccam::platform {

namespace {

constexpr std::uint8_t kVideoClass = 14;
constexpr std::uint8_t kVideoControlSubClass = 1;
constexpr std::uint8_t kStandardDeviceGet = 0x80;  // device to host, standard, device
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kStringDescriptorType = 0x03;
constexpr int kLongestDescriptor = 255;
constexpr unsigned kUsbfsTimeoutMs = 1000;
constexpr qint64 kLargestDescriptorFile = 65536;

int openNode(const QByteArray& path, int flags)
{
    int fd;
    do {
        fd = ::open(path.constData(), flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

// The whole of a small file (sysfs attributes, which may be binary); empty when unreadable.
QByteArray readFile(const QByteArray& path)
{
    const int fd = openNode(path, O_RDONLY);
    if (fd < 0)
        return {};
    QByteArray contents;
    char chunk[4096];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0 || contents.size() + got > kLargestDescriptorFile)
            break;
        contents.append(chunk, static_cast<int>(got));
    }
    ::close(fd);
    return contents;
}

// A capture node sits under the USB interface uvcvideo drives (".../2-1.4:1.0/video4linux/
// video0"), whose sysfs name ends in the configuration and interface numbers.
std::optional<std::uint8_t> interfaceNumberOf(const QString& captureSyspath)
{
    const QString interface = captureSyspath.section(QLatin1Char('/'), -3, -3);
    bool ok = false;
    const unsigned number = interface.section(QLatin1Char(':'), 1).section(QLatin1Char('.'), 1).toUInt(&ok);
    if (!ok || number > 0xFF)
        return std::nullopt;
    return static_cast<std::uint8_t>(number);
}

const char* requestName(std::uint8_t request)
{
    switch (request) {
    case 0x01: return "SET_CUR";
    case 0x81: return "GET_CUR";
    case 0x82: return "GET_MIN";
    case 0x83: return "GET_MAX";
    case 0x84: return "GET_RES";
    case 0x85: return "GET_LEN";
    case 0x86: return "GET_INFO";
    case 0x87: return "GET_DEF";
    default: return "request";
    }
}

QString hexId(std::uint32_t id)
{
    return QStringLiteral("0x%1").arg(id, 8, 16, QLatin1Char('0'));
}

// One line per ioctl for the trace: what was asked and, when it was done, what came back.
QString describeIoctl(unsigned long request, const void* argument, int error)
{
    QString asked;
    QString answered;
    switch (request) {
    case VIDIOC_QUERYCTRL: {
        const auto* query = static_cast<const v4l2_queryctrl*>(argument);
        asked = QStringLiteral("VIDIOC_QUERYCTRL %1").arg(hexId(query->id));
        answered = QStringLiteral("minimum %1, maximum %2, step %3, default %4, flags 0x%5")
                       .arg(query->minimum)
                       .arg(query->maximum)
                       .arg(query->step)
                       .arg(query->default_value)
                       .arg(query->flags, 0, 16);
        break;
    }
    case VIDIOC_QUERYMENU: {
        const auto* item = static_cast<const v4l2_querymenu*>(argument);
        asked = QStringLiteral("VIDIOC_QUERYMENU %1 item %2").arg(hexId(item->id)).arg(item->index);
        break;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
        const auto* one = static_cast<const v4l2_control*>(argument);
        const bool set = request == VIDIOC_S_CTRL;
        asked = set ? QStringLiteral("VIDIOC_S_CTRL %1 = %2").arg(hexId(one->id)).arg(one->value)
                    : QStringLiteral("VIDIOC_G_CTRL %1").arg(hexId(one->id));
        if (!set)
            answered = QString::number(one->value);
        break;
    }
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS: {
        const auto* all = static_cast<const v4l2_ext_controls*>(argument);
        const bool set = request == VIDIOC_S_EXT_CTRLS;
        QStringList items;
        QStringList values;
        for (std::uint32_t i = 0; i < all->count; ++i) {
            items << (set ? QStringLiteral("%1 = %2").arg(hexId(all->controls[i].id)).arg(all->controls[i].value)
                          : hexId(all->controls[i].id));
            values << QString::number(all->controls[i].value);
        }
        asked = QStringLiteral("%1 %2").arg(QLatin1String(set ? "VIDIOC_S_EXT_CTRLS" : "VIDIOC_G_EXT_CTRLS"),
                                            items.join(QLatin1String(", ")));
        if (!set)
            answered = values.join(QLatin1String(", "));
        break;
    }
    case UVCIOC_CTRL_QUERY: {
        const auto* query = static_cast<const uvc_xu_control_query*>(argument);
        const QByteArray bytes = QByteArray(reinterpret_cast<const char*>(query->data), query->size).toHex(' ');
        const bool set = query->query == 0x01;
        asked = QStringLiteral("UVCIOC_CTRL_QUERY unit %1 selector %2 %3 %4 bytes%5")
                    .arg(query->unit)
                    .arg(query->selector)
                    .arg(QLatin1String(requestName(query->query)))
                    .arg(query->size)
                    .arg(set ? QStringLiteral(" [%1]").arg(QLatin1String(bytes)) : QString());
        if (!set)
            answered = QStringLiteral("[%1]").arg(QLatin1String(bytes));
        break;
    }
    default:
        asked = QStringLiteral("ioctl 0x%1").arg(request, 0, 16);
        break;
    }
    if (error)
        return QStringLiteral("%1: %2").arg(asked, QString::fromLocal8Bit(std::strerror(error)));
    return answered.isEmpty() ? asked : QStringLiteral("%1: %2").arg(asked, answered);
}

const char* statusText(UsbStatus status)
{
    switch (status) {
    case kUsbSuccess: return "done";
    case kUsbPipeStalled: return "stalled";
    case kUsbNoDevice: return "no device";
    default: return "failed";
    }
}

}  // namespace

UsbInterfaceUvcvideo::UsbInterfaceUvcvideo(QString captureNode, UvcControlInterface controls, QString product,
                                           std::uint16_t vendorId)
    : captureNode_(std::move(captureNode)), controls_(std::move(controls)), product_(std::move(product)), vendorId_(vendorId)
{
}

UsbInterfaceUvcvideo::~UsbInterfaceUvcvideo()
{
    close();
}

UsbStatus UsbInterfaceUvcvideo::open()
{
    if (fd_ >= 0)
        return kUsbSuccess;
    const QByteArray path = QFile::encodeName(captureNode_);
    // umockdev, which the tests emulate devices with, follows open() but not openat().
    fd_ = openNode(path, O_RDWR);
    if (fd_ >= 0)
        return kUsbSuccess;
    const int error = errno;
    switch (error) {
    case EBUSY:
        return kUsbExclusiveAccess;
    case EACCES:
    case EPERM:
        if (!refusalLogged_) {
            refusalLogged_ = true;
            qCWarning(lcUsb).noquote()
                << QStringLiteral("cannot open %1 (%2): permission denied, so its controls cannot be reached. The "
                                  "node is root's and the video group's; a udev rule lets the logged-in user in: copy "
                                  "udev/70-uvccam.rules from the library's sources to /etc/udev/rules.d/, or write a "
                                  "rule of your own there such as\n"
                                  "    SUBSYSTEM==\"video4linux\", ATTRS{idVendor}==\"%3\", TAG+=\"uaccess\"\n"
                                  "then run \"udevadm control --reload && udevadm trigger\".")
                       .arg(captureNode_, product_)
                       .arg(vendorId_, 4, 16, QLatin1Char('0'));
        }
        return kUsbNotPermitted;
    case ENOENT:
    case ENODEV:
    case ENXIO:
        qCInfo(lcUsb, "cannot open %s: the camera has gone", path.constData());
        return kUsbNoDevice;
    default:
        qCWarning(lcUsb, "cannot open %s: %s", path.constData(), std::strerror(error));
        return kUsbError;
    }
}

UsbStatus UsbInterfaceUvcvideo::close()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    return kUsbSuccess;
}

UsbStatus UsbInterfaceUvcvideo::controlRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred)
{
    if (transferred)
        *transferred = 0;
    if (fd_ < 0)
        return kUsbError;  // not opened
    auto* bytes = static_cast<std::uint8_t*>(data);
    const UsbStatus status = answerUvcRequest(controls_, setup, bytes,
                                              [this](unsigned long request, void* argument) { return ioctl(request, argument); });
    if (lcUsb().isDebugEnabled()) {
        const QByteArray shown = bytes && (status == kUsbSuccess || setup.bRequest == 0x01)
            ? QByteArray(reinterpret_cast<const char*>(bytes), setup.wLength).toHex(' ')
            : QByteArray();
        qCDebug(lcUsb, "%s: %s unit %u selector %u, %u bytes: %s %s", QFile::encodeName(captureNode_).constData(),
                requestName(setup.bRequest), setup.wIndex >> 8, setup.wValue >> 8, setup.wLength, statusText(status),
                shown.constData());
    }
    if (status == kUsbSuccess && transferred)
        *transferred = setup.wLength;
    return status;
}

int UsbInterfaceUvcvideo::ioctl(unsigned long request, void* argument)
{
    int result;
    do {
        result = ::ioctl(fd_, request, argument);
    } while (result < 0 && errno == EINTR);
    const int error = result < 0 ? errno : 0;
    qCDebug(lcUsb).noquote() << captureNode_ + QLatin1String(": ") + describeIoctl(request, argument, error);
    return error;
}

std::shared_ptr<UsbDeviceUvcvideo> UsbDeviceUvcvideo::fromRecord(const UdevRecord& capture)
{
    if (!capture.usb || capture.usb->locationId == 0 || capture.devnode.isEmpty())
        return nullptr;
    std::shared_ptr<UsbDeviceUvcvideo> device(new UsbDeviceUvcvideo());
    device->usb_ = *capture.usb;
    device->captureNode_ = capture.devnode;
    device->interfaceNumber_ = interfaceNumberOf(capture.syspath);
    return device;
}

QByteArray UsbDeviceUvcvideo::sysfsAttribute(const char* name) const
{
    return readFile(QFile::encodeName(usb_.syspath) + '/' + name);
}

UsbStatus UsbDeviceUvcvideo::access()
{
    return ::access(QFile::encodeName(usb_.syspath).constData(), F_OK) == 0 ? kUsbSuccess : kUsbNoDevice;
}

UsbStatus UsbDeviceUvcvideo::serialNumberStringIndex(std::uint8_t* index)
{
    if (!index)
        return kUsbError;
    const std::optional<std::uint8_t> found = UsbDescriptors(sysfsAttribute("descriptors")).serialNumberIndex();
    if (!found)
        return access() == kUsbSuccess ? kUsbError : kUsbNoDevice;
    *index = *found;
    return kUsbSuccess;
}

UsbStatus UsbDeviceUvcvideo::deviceRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred)
{
    if (transferred)
        *transferred = 0;
    if (setup.wLength > 0 && !data)
        return kUsbError;
    if (setup.bmRequestType != kStandardDeviceGet || setup.bRequest != kGetDescriptor)
        return kUsbPipeStalled;
    if (const std::optional<UsbStatus> status = requestThroughUsbfs(setup, data, transferred))
        return *status;
    return builtSerialDescriptor(setup, data, transferred);
}

std::optional<UsbStatus> UsbDeviceUvcvideo::requestThroughUsbfs(const UsbSetupPacket& setup, void* data,
                                                                std::uint32_t* transferred)
{
    // A standard request to the device needs no interface, so usbfs sends it even while
    // uvcvideo holds the camera. Its node is usually root's alone, and then sysfs stands in.
    const unsigned devnum = sysfsAttribute("devnum").trimmed().toUInt();
    const QByteArray node = QStringLiteral("/dev/bus/usb/%1/%2")
                                .arg(usb_.busnum, 3, 10, QLatin1Char('0'))
                                .arg(devnum, 3, 10, QLatin1Char('0'))
                                .toLatin1();
    const int fd = devnum ? openNode(node, O_RDWR) : -1;
    if (fd < 0) {
        qCDebug(lcUsb, "cannot open %s (%s): descriptors come from sysfs", node.constData(),
                devnum ? std::strerror(errno) : "no device number");
        return std::nullopt;
    }
    usbdevfs_ctrltransfer transfer{};
    transfer.bRequestType = setup.bmRequestType;
    transfer.bRequest = setup.bRequest;
    transfer.wValue = setup.wValue;
    transfer.wIndex = setup.wIndex;
    transfer.wLength = setup.wLength;
    transfer.timeout = kUsbfsTimeoutMs;
    transfer.data = data;
    int result;
    do {
        result = ::ioctl(fd, USBDEVFS_CONTROL, &transfer);
    } while (result < 0 && errno == EINTR);
    const int error = result < 0 ? errno : 0;
    ::close(fd);
    qCDebug(lcUsb, "%s: GET_DESCRIPTOR %04x: %s", node.constData(), setup.wValue,
            error ? std::strerror(error) : "done");
    if (error == ENODEV)
        return kUsbNoDevice;
    if (error)
        return std::nullopt;
    if (transferred)
        *transferred = static_cast<std::uint32_t>(result);
    return kUsbSuccess;
}

UsbStatus UsbDeviceUvcvideo::builtSerialDescriptor(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred)
{
    // The kernel read the string when the device arrived and keeps it, in UTF-8 and in the
    // device's first language, as `serial`; the device sends it in UTF-16LE after its
    // length and type. Nothing in sysfs tells another string, or the language list.
    const std::optional<std::uint8_t> serialIndex = UsbDescriptors(sysfsAttribute("descriptors")).serialNumberIndex();
    const bool asksSerial = (setup.wValue >> 8) == kStringDescriptorType && serialIndex && *serialIndex != 0
        && (setup.wValue & 0xFF) == *serialIndex;
    QByteArray serial = sysfsAttribute("serial");
    if (serial.endsWith('\n'))
        serial.chop(1);  // the attribute's own line end, not the device's
    if (!asksSerial || serial.isEmpty())
        return access() == kUsbSuccess ? kUsbPipeStalled : kUsbNoDevice;

    QByteArray descriptor(2, '\0');
    descriptor[1] = static_cast<char>(kStringDescriptorType);
    for (const char16_t unit : QString::fromUtf8(serial).toStdU16String()) {
        if (descriptor.size() + 2 > kLongestDescriptor)
            break;
        descriptor.append(static_cast<char>(unit & 0xFF));
        descriptor.append(static_cast<char>(unit >> 8));
    }
    descriptor[0] = static_cast<char>(descriptor.size());
    const int count = std::min<int>(setup.wLength, descriptor.size());
    if (count > 0)
        std::memcpy(data, descriptor.constData(), static_cast<std::size_t>(count));
    if (transferred)
        *transferred = static_cast<std::uint32_t>(count);
    return kUsbSuccess;
}

std::shared_ptr<UsbInterface> UsbDeviceUvcvideo::firstInterface(std::uint8_t interfaceClass, std::uint8_t interfaceSubClass)
{
    if (interfaceClass != kVideoClass || interfaceSubClass != kVideoControlSubClass)
        return nullptr;
    // Unit IDs are the camera's own: its configuration descriptor says which ID is the
    // camera terminal, the processing unit and each extension unit.
    bool ok = false;
    const int configuration = sysfsAttribute("bConfigurationValue").trimmed().toInt(&ok);
    const std::vector<UvcControlInterface> interfaces =
        UsbDescriptors(sysfsAttribute("descriptors")).videoControlInterfaces(ok ? std::optional<int>(configuration) : std::nullopt);
    const auto found = std::find_if(interfaces.begin(), interfaces.end(), [this](const UvcControlInterface& each) {
        return !interfaceNumber_ || each.interfaceNumber == *interfaceNumber_;
    });
    UvcControlInterface controls;
    if (found != interfaces.end()) {
        controls = *found;
    } else {
        // Every request will stall: without the descriptor no unit can be told apart.
        qCWarning(lcUsb, "%s: no video-control interface in the descriptors of %s; its controls cannot be reached",
                  QFile::encodeName(captureNode_).constData(), QFile::encodeName(usb_.syspath).constData());
        controls.interfaceNumber = interfaceNumber_.value_or(0);
    }
    return std::make_shared<UsbInterfaceUvcvideo>(captureNode_, std::move(controls), usb_.product, usb_.vendorId);
}

std::vector<std::shared_ptr<UsbDevice>> UsbServiceUvcvideo::devices()
{
    std::vector<std::shared_ptr<UsbDevice>> devices;
    if (!watcher_)
        return devices;
    std::vector<QString> seen;  // USB devices already listed, by sysfs path
    for (const UdevRecord& record : watcher_->enumerate("video4linux")) {
        const bool listed = record.usb && std::find(seen.begin(), seen.end(), record.usb->syspath) != seen.end();
        if (!record.usb || listed || !CaptureDeviceV4l2::capturesVideo(record))
            continue;
        if (auto device = UsbDeviceUvcvideo::fromRecord(record)) {
            seen.push_back(record.usb->syspath);
            devices.push_back(std::move(device));
        }
    }
    return devices;
}

}  // namespace uvccam::platform
