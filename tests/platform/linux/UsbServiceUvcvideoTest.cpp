// The USB service over uvcvideo on emulated cameras: the library's standard controls and serial
// number through the public interface, with the ioctls that left the library and the UVC
// requests that reached the camera; extension units, stalls, unplug and refused access.
#define QT_NO_KEYWORDS  // umockdev's GLib headers name a member `signals`
#include "platform/linux/UsbServiceUvcvideo.h"

#include "UVCCam.h"
#include "hotkey/HKHotKeyCenter.h"
#include "mac/MacCameraManager.h"
#include "mac/MacHidDeviceManager.h"
#include "mac/MacHotKeyManager.h"
#include "mac/MacUVCCam.h"
#include "platform/Platform.h"
#include "platform/linux/PlatformLinux.h"
#include "support/CategoryMessages.h"
#include "support/EmulatedUsb.h"
#include "support/LibraryProcessState.h"
#include "support/QtPrinters.h"
#include "support/WireText.h"

#include <QDir>
#include <QFile>

#include <umockdev.h>

#include <gtest/gtest.h>

#include <cstddef>

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>

using namespace uvccam::platform;
using namespace uvccam::testing;

namespace {

const QString kRx710 = QStringLiteral("RX710 Conference Camera");
const QString kSt470 = QStringLiteral("Studio Caster LUM 470");
constexpr std::uint16_t kRx710Id = 0x2574;
constexpr std::uint16_t kSt470Id = 0x470a;

class UvcvideoTest : public ::testing::Test {
protected:
    UvcvideoTest()
    {
        discardProcessState();
        Platform::install(PlatformLinux::create());
    }
    ~UvcvideoTest() override
    {
        camera.reset();
        discardProcessState();
        Platform::install(nullptr);
    }
    static void discardProcessState() { uvccam::testing::discardLibraryProcessState(); }
    static QString uniqueId(std::uint16_t productId)
    {
        return QStringLiteral("0xf11400002a3b%1").arg(productId, 4, 16, QLatin1Char('0'));
    }
    // Plugs the camera and selects it through the library; what that took is forgotten.
    void start(const QString& product, std::uint16_t productId)
    {
        plugged_ = productId;
        nodes = usb.plug(EmulatedDevice::camera(product, productId, "1.4"));
        camera.reset(acquireUVCCam());
        ASSERT_TRUE(waitFor([&] { return camera->setDevice(uniqueId(productId)) == 1; }));
        reached(0);
        ioctls();
    }
    // The requests of this kind (0 for every kind) that reached the camera since the last look.
    QString reached(int request)
    {
        QStringList lines;
        for (const auto& each : usb.uvc(nodes).requests()) {
            if (request == 0 || each.setup.bRequest == request)
                lines << wire(each);
        }
        usb.uvc(nodes).clearRequests();
        return lines.join(QLatin1String("; "));
    }
    // The ioctls since the last look, as the backend's debug trace names them
    // ("VIDIOC_S_CTRL 0x009a090d = 300"), "; " between.
    QString ioctls()
    {
        QStringList asked;
        for (const QString& text : messages.texts()) {
            const QString request = text.section(QLatin1String(": "), 1, 1);
            if (request.startsWith(QLatin1String("VIDIOC_")) || request.startsWith(QLatin1String("UVCIOC_")))
                asked << request;
        }
        messages.clear();
        return asked.join(QLatin1String("; "));
    }
    // The camera's video-control interface as the USB service gives it, not opened.
    std::shared_ptr<UsbInterface> controlInterface()
    {
        for (const auto& device : Platform::current().usb().devices()) {
            if (device->productId() == plugged_)
                return device->firstInterface(14, 1);
        }
        return nullptr;
    }

    EmulatedUsb usb;
    EmulatedNodes nodes;
    CategoryMessages messages{"uvccam.linux.usb", true};
    std::unique_ptr<UVCCam> camera;
    std::uint16_t plugged_ = 0;
};

struct PropertyRow {
    bool st470;        // else the RX710
    int property;
    int value;         // what getProperty gives on a fresh camera
    const char* read;  // the ioctls of that read
    const char* readReached;  // the GET_CUR that reached the camera
    int setTo;
    int setResult;
    const char* write;         // the ioctls of the set
    const char* writeReached;  // the SET_CUR that reached the camera
};

void PrintTo(const PropertyRow& row, std::ostream* os)
{
    *os << (row.st470 ? "ST470" : "RX710") << " property " << row.property;
}

class StandardControl : public UvcvideoTest, public ::testing::WithParamInterface<PropertyRow> {};

TEST_P(StandardControl, ReadAndSetThroughTheV4l2ControlTheClassDefinesThere)
{
    const PropertyRow& row = GetParam();
    start(row.st470 ? kSt470 : kRx710, row.st470 ? kSt470Id : kRx710Id);
    int value = -99;
    EXPECT_EQ(camera->getProperty(row.property, &value), 0);
    EXPECT_EQ(value, row.value);
    EXPECT_EQ(ioctls(), QLatin1String(row.read));
    EXPECT_EQ(reached(0x81), QLatin1String(row.readReached));

    EXPECT_EQ(camera->setProperty(row.property, row.setTo, false), row.setResult);
    EXPECT_EQ(ioctls(), QLatin1String(row.write));
    EXPECT_EQ(reached(0x01), QLatin1String(row.writeReached));
}

// One row per kind of path; the other controls' V4L2 IDs and widths are the translation's
// own tests, their map entries the camera-controls tests on the simulator.
const PropertyRow kProperties[] = {
    {false, 0, 50, "VIDIOC_G_CTRL 0x00980901", "a1 81 0300 0200 2 [32 00]", 60, 0,
     "VIDIOC_QUERYCTRL 0x00980901; VIDIOC_S_CTRL 0x00980901 = 60", "21 01 0300 0200 2 [3c 00]"},
    {false, 2, 3, "VIDIOC_G_CTRL 0x0098091b", "a1 81 0800 0200 2 [03 00]", 5, 0,
     "VIDIOC_QUERYCTRL 0x0098091b; VIDIOC_S_CTRL 0x0098091b = 5", "21 01 0800 0200 2 [05 00]"},
    // Automatic white balance is on: the camera refuses a temperature.
    {false, 5, 4600, "VIDIOC_G_CTRL 0x0098091a", "a1 81 0a00 0200 2 [f8 11]", 5000, -1,
     "VIDIOC_QUERYCTRL 0x0098091a; VIDIOC_S_CTRL 0x0098091a = 5000", ""},
    // Pan is asked as camera-terminal selector 14, the class's relative pan-tilt, which
    // uvcvideo cannot give as the camera would. A failed read gives 0, as on every platform.
    {false, 7, 0, "", "", 3600, -1, "", ""},
    {false, 9, 100, "VIDIOC_G_CTRL 0x009a090d", "a1 81 0b00 0100 2 [64 00]", 300, 0,
     "VIDIOC_QUERYCTRL 0x009a090d; VIDIOC_S_CTRL 0x009a090d = 300", "21 01 0b00 0100 2 [2c 01]"},
    // The ST470's map: processing unit 3, its signed brightness, tilt in an extension unit
    // (whose control is 64 bytes long, so a four-byte request is refused as the real driver
    // refuses it), no automatic focus (unit 0).
    {true, 1, 0, "VIDIOC_G_CTRL 0x00980900", "a1 81 0200 0300 2 [00 00]", -5, 0,
     "VIDIOC_QUERYCTRL 0x00980900; VIDIOC_S_CTRL 0x00980900 = -5", "21 01 0200 0300 2 [fb ff]"},
    {true, 3, 64, "VIDIOC_G_CTRL 0x00980902", "a1 81 0700 0300 2 [40 00]", 70, 0,
     "VIDIOC_QUERYCTRL 0x00980902; VIDIOC_S_CTRL 0x00980902 = 70", "21 01 0700 0300 2 [46 00]"},
    {true, 8, 0, "UVCIOC_CTRL_QUERY unit 9 selector 1 GET_CUR 4 bytes", "", 3600, -1,
     "UVCIOC_CTRL_QUERY unit 9 selector 1 SET_CUR 4 bytes [10 0e 00 00]", ""},
    {true, 11, 0, "", "", 1, -1, "", ""},
};
INSTANTIATE_TEST_SUITE_P(Properties, StandardControl, ::testing::ValuesIn(kProperties));

struct RangeRow {
    bool st470;
    int number;
    const char* range;  // "minimum maximum default", or "refused"
    const char* asked;  // the V4L2 control each of the three queries asks; "" for none
};

void PrintTo(const RangeRow& row, std::ostream* os)
{
    *os << (row.st470 ? "ST470" : "RX710") << " range " << row.number;
}

class StandardRange : public UvcvideoTest, public ::testing::WithParamInterface<RangeRow> {};

TEST_P(StandardRange, LimitsAndDefaultComeFromTheV4l2Control)
{
    const RangeRow& row = GetParam();
    start(row.st470 ? kSt470 : kRx710, row.st470 ? kSt470Id : kRx710Id);
    int minimum = 0;
    int maximum = 0;
    int defaultValue = 0;
    const int result = camera->getPropertyRange(row.number, &minimum, &maximum, &defaultValue);
    EXPECT_EQ(result == 0 ? QStringLiteral("%1 %2 %3").arg(minimum).arg(maximum).arg(defaultValue) : QStringLiteral("refused"),
              QLatin1String(row.range));
    const QString query = QStringLiteral("VIDIOC_QUERYCTRL %1").arg(QLatin1String(row.asked));
    const QString threeTimes = QStringList{query, query, query}.join(QLatin1String("; "));
    EXPECT_EQ(ioctls(), *row.asked ? threeTimes : QString());
}

// The range table asks the maker's processing unit 2 whatever the camera, brightness in one
// byte and camera-terminal selectors 14, 15 and 3 (relative pan-tilt, roll, exposure priority).
const RangeRow kRanges[] = {
    {false, 0, "0 2 1", "0x0098091c"},     {false, 1, "refused", "0x00980900"},  // 255 and 128 need two bytes
    {false, 5, "2800 6500 4600", "0x0098091a"}, {false, 7, "refused", ""},
    {false, 12, "refused", "0x009a0903"},  // a control this camera lacks
    {true, 0, "refused", ""},              // no unit 2 on this camera
};
INSTANTIATE_TEST_SUITE_P(Ranges, StandardRange, ::testing::ValuesIn(kRanges));

// Requests on the service's own interface, as the library sends them.
UsbStatus send(UsbInterface& interface, int request, int unit, int selector, QByteArray& data)
{
    const UsbSetupPacket setup{static_cast<std::uint8_t>(request == 0x01 ? 0x21 : 0xA1), static_cast<std::uint8_t>(request),
                               static_cast<std::uint16_t>(selector << 8), static_cast<std::uint16_t>(unit << 8),
                               static_cast<std::uint16_t>(data.size())};
    std::uint32_t moved = 0;
    const UsbStatus status = interface.controlRequest(setup, data.data(), &moved);
    EXPECT_EQ(moved, status == kUsbSuccess ? static_cast<std::uint32_t>(data.size()) : 0u);
    return status;
}

TEST_F(UvcvideoTest, EveryRequestCodeReachesAnExtensionUnitByteForByte)
{
    start(kRx710, kRx710Id);
    const std::shared_ptr<UsbInterface> interface = controlInterface();
    ASSERT_TRUE(interface);
    ASSERT_EQ(interface->open(), kUsbSuccess);
    // The unit's controls are 64 bytes long; uvcvideo asks their length and capabilities
    // the first time, and takes nothing of another length.
    QByteArray value = QByteArray::fromHex("0a0b0c").leftJustified(64, '\0');
    ASSERT_EQ(send(*interface, 0x01, 5, 3, value), kUsbSuccess);
    EXPECT_EQ(reached(0), "a1 85 0300 0500 2 [40 00]; a1 86 0300 0500 1 [03]; 21 01 0300 0500 64 [" + value.toHex(' ') + "]");
    const struct {
        int request;
        int length;
        QByteArray answer;
    } gets[] = {{0x81, 64, value}, {0x82, 64, QByteArray(64, '\0')}, {0x83, 64, QByteArray(64, '\xff')},
                {0x84, 64, QByteArray(64, '\0')}, {0x85, 2, QByteArray("\x40\x00", 2)}, {0x86, 1, "\x03"},
                {0x87, 64, QByteArray(64, '\0')}};
    for (const auto& get : gets) {
        QByteArray answer(get.length, '\xee');
        EXPECT_EQ(send(*interface, get.request, 5, 3, answer), kUsbSuccess) << get.request;
        EXPECT_EQ(answer, get.answer) << get.request;
        EXPECT_EQ(reached(0), QStringLiteral("a1 %1 0300 0500 %2 [%3]").arg(get.request, 0, 16).arg(get.length).arg(QString::fromLatin1(get.answer.toHex(' '))));
    }
    EXPECT_EQ(ioctls().count(QLatin1String("UVCIOC_CTRL_QUERY unit 5 selector 3")), 8);
}

// Standard controls no property reaches: pan and tilt as one 8-byte request (both halves in
// one VIDIOC_S_EXT_CTRLS, so uvcvideo sends the camera one SET_CUR), and the auto-exposure
// modes, whose GET_RES is the menu items the driver keeps and of which it refuses the rest.
TEST_F(UvcvideoTest, PanAndTiltTravelTogetherAndTheExposureModesAreTheMenusItems)
{
    start(kRx710, kRx710Id);
    const std::shared_ptr<UsbInterface> interface = controlInterface();
    ASSERT_TRUE(interface);
    ASSERT_EQ(interface->open(), kUsbSuccess);
    QByteArray panTilt = QByteArray::fromHex("f0f1ffff08070000");  // pan -3600, tilt 1800
    ASSERT_EQ(send(*interface, 0x01, 1, 13, panTilt), kUsbSuccess);
    EXPECT_EQ(reached(0x01), "21 01 0d00 0100 8 [f0 f1 ff ff 08 07 00 00]");
    QByteArray read(8, '\0');
    ASSERT_EQ(send(*interface, 0x81, 1, 13, read), kUsbSuccess);
    EXPECT_EQ(read, panTilt);
    EXPECT_EQ(ioctls(), "VIDIOC_QUERYCTRL 0x009a0908; VIDIOC_QUERYCTRL 0x009a0909; VIDIOC_S_EXT_CTRLS 0x009a0908 = -3600, "
                        "0x009a0909 = 1800; VIDIOC_G_EXT_CTRLS 0x009a0908, 0x009a0909");

    QByteArray modes(1, '\0');
    ASSERT_EQ(send(*interface, 0x84, 1, 2, modes), kUsbSuccess);
    EXPECT_EQ(modes.toHex(), "09") << "manual and aperture priority";
    QByteArray automatic("\x02", 1);
    EXPECT_EQ(send(*interface, 0x01, 1, 2, automatic), kUsbPipeStalled);
    QByteArray manual("\x01", 1);
    EXPECT_EQ(send(*interface, 0x01, 1, 2, manual), kUsbSuccess);
    EXPECT_EQ(reached(0x01), "21 01 0200 0100 1 [01]");
}

TEST_F(UvcvideoTest, AnUndeclaredSelectorAndARequestTheCameraStallsBothStall)
{
    start(kRx710, kRx710Id);
    const std::shared_ptr<UsbInterface> interface = controlInterface();
    ASSERT_TRUE(interface);
    ASSERT_EQ(interface->open(), kUsbSuccess);
    QByteArray value(64, '\0');
    // Selector 17 is not in the unit's bmControls: the driver refuses it without asking.
    EXPECT_EQ(send(*interface, 0x81, 5, 17, value), kUsbPipeStalled);
    EXPECT_EQ(reached(0), QString());
    // The camera stalls the next request: the driver asks the camera why (its request error
    // code control, which stalls too), and the request stalls.
    usb.uvc(nodes).withCamera([](UvcCameraModel& model) { model.stallNextRequests(2); });
    QByteArray zoom(4, '\0');
    EXPECT_EQ(send(*interface, 0x81, 1, 11, zoom), kUsbPipeStalled);
}

TEST_F(UvcvideoTest, AnUnplugBetweenTwoRequestsAnswersNoDevice)
{
    start(kRx710, kRx710Id);
    const std::shared_ptr<UsbInterface> held = controlInterface();
    const std::shared_ptr<UsbInterface> reopened = controlInterface();
    ASSERT_TRUE(held && reopened);
    QByteArray zoom(4, '\0');
    ASSERT_EQ(held->open(), kUsbSuccess);
    ASSERT_EQ(reopened->open(), kUsbSuccess);
    EXPECT_EQ(send(*held, 0x81, 1, 11, zoom), kUsbSuccess);
    EXPECT_EQ(reopened->close(), kUsbSuccess);

    usb.unplug(nodes);
    EXPECT_EQ(send(*held, 0x81, 1, 11, zoom), kUsbNoDevice) << "the open node learns it from the driver";
    // Opening again finds the node gone, or (until udev removes it) a node whose driver
    // says the device has gone.
    const UsbStatus opened = reopened->open();
    EXPECT_EQ(opened == kUsbSuccess ? send(*reopened, 0x81, 1, 11, zoom) : opened, kUsbNoDevice);
}

TEST_F(UvcvideoTest, ARefusedNodeIsNotPermittedAndSaysWhichRuleLetsTheUserIn)
{
    start(kRx710, kRx710Id);
    const std::shared_ptr<UsbInterface> interface = controlInterface();
    ASSERT_TRUE(interface);
    {
        const NodeAccessDenied denied(nodes.video);
        EXPECT_EQ(interface->open(), kUsbNotPermitted);
        EXPECT_EQ(interface->open(), kUsbNotPermitted);
        int zoom = 0;
        EXPECT_EQ(camera->setProperty(9, 300, false), -1);
        EXPECT_EQ(camera->getProperty(9, &zoom), 0) << "a read that fails gives 0";
        EXPECT_EQ(zoom, 0);
    }
    // Once per interface: the library's camera has its own.
    ASSERT_EQ(messages.warnings().size(), 2) << messages.warnings().join("\n").toStdString();
    EXPECT_TRUE(messages.warnings()[0].contains(nodes.video + " (RX710 Conference Camera): permission denied"));
    EXPECT_TRUE(messages.warnings()[0].contains(R"(SUBSYSTEM=="video4linux", ATTRS{idVendor}=="2a3b", TAG+="uaccess")"));
    EXPECT_EQ(interface->open(), kUsbSuccess);
}

// usbfs for one emulated device: GET_DESCRIPTOR through USBDEVFS_CONTROL, answered by the camera.
class EmulatedUsbfs {
public:
    EmulatedUsbfs(EmulatedUsb& usb, const EmulatedNodes& nodes, const QString& node) : usb_(usb), nodes_(nodes), node_(node.toUtf8())
    {
        gchar* root = umockdev_testbed_get_root_dir(usb.testbed());
        const QString path = QString::fromUtf8(root) + node;
        g_free(root);
        QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        handler_ = umockdev_ioctl_base_new();
        g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&EmulatedUsbfs::onIoctl), this);
        GError* error = nullptr;
        EXPECT_TRUE(umockdev_testbed_attach_ioctl(usb.testbed(), node_.constData(), handler_, &error));
    }
    ~EmulatedUsbfs()
    {
        umockdev_testbed_detach_ioctl(usb_.testbed(), node_.constData(), nullptr);
        g_object_unref(handler_);
    }

private:
    static gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self)
    {
        auto* usbfs = static_cast<EmulatedUsbfs*>(self);
        if (umockdev_ioctl_client_get_request(client) != USBDEVFS_CONTROL)
            return FALSE;
        GError* error = nullptr;
        UMockdevIoctlData* argument =
            umockdev_ioctl_data_resolve(umockdev_ioctl_client_get_arg(client), 0, sizeof(usbdevfs_ctrltransfer), &error);
        const auto* transfer = reinterpret_cast<const usbdevfs_ctrltransfer*>(argument->data);
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(argument, offsetof(usbdevfs_ctrltransfer, data), transfer->wLength, &error);
        const UsbSetupPacket setup{transfer->bRequestType, transfer->bRequest, transfer->wValue, transfer->wIndex, transfer->wLength};
        std::uint32_t moved = 0;
        UsbStatus status = kUsbError;
        usbfs->usb_.uvc(usbfs->nodes_).withCamera(
            [&](UvcCameraModel& camera) { status = camera.deviceRequest(setup, data->data, &moved); });
        umockdev_ioctl_client_complete(client, status == kUsbSuccess ? static_cast<long>(moved) : -1, status == kUsbSuccess ? 0 : EPIPE);
        return TRUE;
    }

    EmulatedUsb& usb_;
    EmulatedNodes nodes_;
    QByteArray node_;
    UMockdevIoctlBase* handler_ = nullptr;
};

TEST_F(UvcvideoTest, TheSerialNumberIsTheDevicesOwnDescriptorWhenUsbfsOpensElseBuiltFromSysfs)
{
    start(kRx710, kRx710Id);
    EXPECT_EQ(camera->getDeviceSN(), QStringLiteral("SN2574")) << "built from sysfs: usbfs has no node here";
    EXPECT_EQ(reached(0), QString());
    std::shared_ptr<UsbDevice> device = Platform::current().usb().devices().at(0);
    std::uint8_t index = 0;
    ASSERT_EQ(device->serialNumberStringIndex(&index), kUsbSuccess);
    EXPECT_EQ(index, 3);
    // As the device sends it: its length, the string type, UTF-16LE; a shorter request
    // gets the beginning.
    const UsbSetupPacket serial{0x80, 0x06, 0x0303, 0x0409, 255};
    QByteArray answer(255, '\0');
    std::uint32_t moved = 0;
    ASSERT_EQ(device->deviceRequest(serial, answer.data(), &moved), kUsbSuccess);
    EXPECT_EQ(answer.left(static_cast<int>(moved)).toHex(' '), "0e 03 53 00 4e 00 32 00 35 00 37 00 34 00");
    const UsbSetupPacket probe{0x80, 0x06, 0x0303, 0x0409, 2};
    EXPECT_EQ(device->deviceRequest(probe, answer.data(), &moved), kUsbSuccess);
    EXPECT_EQ(moved, 2u);
    // The language list is the device's alone.
    const UsbSetupPacket languages{0x80, 0x06, 0x0300, 0, 255};
    EXPECT_EQ(device->deviceRequest(languages, answer.data(), &moved), kUsbPipeStalled);

    // With usbfs open to us, the device's own descriptor, whatever sysfs says.
    const EmulatedUsbfs usbfs(usb, nodes, QStringLiteral("/dev/bus/usb/001/002"));
    usb.uvc(nodes).withCamera([](UvcCameraModel& model) { model.setSerialDescriptor(QByteArray("\x08\x03O\0w\0n\0", 8)); });
    camera.reset();
    discardProcessState();
    camera.reset(acquireUVCCam());
    ASSERT_TRUE(waitFor([&] { return camera->setDevice(uniqueId(kRx710Id)) == 1; }));
    EXPECT_EQ(camera->getDeviceSN(), QStringLiteral("Own"));
    EXPECT_EQ(reached(0), "80 06 0303 0409 256 [08 03 4f 00 77 00 6e 00]");
}

}  // namespace
