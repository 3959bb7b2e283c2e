// Builds the sysfs entries and nodes of emulated cameras and speakerphones in a umockdev test bed.
// GLib names a struct member `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "support/EmulatedUsb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <umockdev.h>

#include <gtest/gtest.h>

namespace uvccam::testing {

namespace {

// Where the host controller's buses live; the tree under it is what udev walks.
const QString kController = QStringLiteral("/devices/pci0000:00/0000:00:14.0");

QString hex4(std::uint16_t value)
{
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

}  // namespace

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
    if (device.video) {
        const QString interface = usb + QStringLiteral("/%1:1.0").arg(name);
        record << QStringLiteral("P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceClass=0e\n").arg(interface);
        // uvcvideo's two nodes: the capture node and the metadata node beside it.
        for (const bool capture : {true, false}) {
            const int number = nextVideo_++;
            const QString path = interface + QStringLiteral("/video4linux/video%1").arg(number);
            record << QStringLiteral("P: %1\nN: video%2=00\nE: SUBSYSTEM=video4linux\nE: DEVNAME=/dev/video%2\n"
                                     "E: ID_V4L_VERSION=2\nE: ID_V4L_CAPABILITIES=%3\nA: name=%4\n")
                          .arg(path)
                          .arg(number)
                          .arg(capture ? QStringLiteral(":capture:") : QStringLiteral(":"), device.product);
            (capture ? nodes.video : nodes.metadata) = QStringLiteral("/dev/video%1").arg(number);
            (capture ? nodes.videoSyspath : nodes.metadataSyspath) = QStringLiteral("/sys") + path;
        }
    }
    if (device.hid) {
        const QString interface = usb + QStringLiteral("/%1:1.4").arg(name);
        const QString hid = interface + QStringLiteral("/0003:%1:%2.%3")
                                            .arg(hex4(device.vendorId).toUpper(), hex4(device.productId).toUpper())
                                            .arg(nextHid_++, 4, 16, QLatin1Char('0'));
        const int number = nextHidraw_++;
        const QString path = hid + QStringLiteral("/hidraw/hidraw%1").arg(number);
        record << QStringLiteral("P: %1\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceClass=03\n").arg(interface)
               << QStringLiteral("P: %1\nE: SUBSYSTEM=hid\nE: HID_ID=0003:0000%2:0000%3\nE: HID_NAME=%4\n")
                      .arg(hid, hex4(device.vendorId).toUpper(), hex4(device.productId).toUpper(),
                           device.hidName.isEmpty() ? device.product : device.hidName)
               // A terminal stands in for the node, so that the test can speak for the device.
               << QStringLiteral("P: %1\nN: hidraw%2\nE: SUBSYSTEM=hidraw\nE: DEVNAME=/dev/hidraw%2\n").arg(path).arg(number);
        nodes.hidraw = QStringLiteral("/dev/hidraw%1").arg(number);
        nodes.hidrawSyspath = QStringLiteral("/sys") + path;
    }

    GError* error = nullptr;
    const QByteArray text = record.join(QLatin1Char('\n')).toUtf8();
    if (!umockdev_testbed_add_from_string(testbed_, text.constData(), &error)) {
        ADD_FAILURE() << "umockdev refused the device: " << error->message;
        g_error_free(error);
    }
    return nodes;
}

void EmulatedUsb::unplug(const EmulatedNodes& nodes)
{
    for (const QString& node : {nodes.videoSyspath, nodes.metadataSyspath, nodes.hidrawSyspath}) {
        if (!node.isEmpty())
            umockdev_testbed_uevent(testbed_, node.toUtf8().constData(), "remove");
    }
    umockdev_testbed_remove_device(testbed_, nodes.usbSyspath.toUtf8().constData());
}

bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < limit.count())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    return done();
}

}  // namespace uvccam::testing
