// A camera's descriptors read into unit kinds, and UVC requests turned into uvcvideo's ioctls against a
// stand-in driver: the exact ioctls, the bytes a camera would answer, and every request that must stall.
#include "platform/linux/UvcControlTranslation.h"
#include "platform/linux/UvcDescriptors.h"
#include "support/QtPrinters.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <cerrno>
#include <map>

#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

using namespace uvccam::platform;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (const int value : values)
        out.append(static_cast<char>(value));
    return out;
}

QByteArray withLength(QByteArray descriptor)
{
    descriptor[0] = static_cast<char>(descriptor.size());
    return descriptor;
}

// Descriptors as a camera sends them, each with its own bLength.
QByteArray device(int serialIndex)
{
    return bytes({18, 1, 0x00, 0x02, 0xEF, 0x02, 0x01, 64, 0x3b, 0x2a, 0x70, 0x24, 0x00, 0x01, 1, 2, serialIndex, 1});
}
QByteArray configuration(int value, const QByteArray& body)
{
    const int total = 9 + body.size();
    return bytes({9, 2, total & 0xFF, total >> 8, 2, value, 0, 0x80, 250}) + body;
}
QByteArray interface(int number, int alternate, int subClass)
{
    return bytes({9, 4, number, alternate, 0, 0x0E, subClass, 0, 0});
}
QByteArray header()
{
    return withLength(bytes({0, 0x24, 0x01, 0x10, 0x01, 0x50, 0x00, 0, 0x6c, 0xdc, 0x02, 1, 1}));
}
QByteArray inputTerminal(int id, int type)
{
    return withLength(bytes({0, 0x24, 0x02, id, type & 0xFF, type >> 8, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0x2a, 0x0a, 0x00}));
}
QByteArray processingUnit(int id, int source)
{
    return withLength(bytes({0, 0x24, 0x05, id, source, 0, 0, 2, 0x7f, 0x17, 0, 0}));
}
QByteArray extensionUnit(int id, int source)
{
    return withLength(bytes({0, 0x24, 0x06, id, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 16, 1, source, 2, 0xff, 0xff, 0}));
}
QByteArray outputTerminal(int id, int source)
{
    return withLength(bytes({0, 0x24, 0x03, id, 0x01, 0x01, 0, source, 0}));
}
// A streaming interface's MJPEG format has the extension unit's subtype number (6).
QByteArray streamingFormat()
{
    return withLength(bytes({0, 0x24, 0x06, 1, 1, 0, 1, 0, 0, 0, 0}));
}

QByteArray camera(int processingUnitId, int configurationValue = 1)
{
    return configuration(configurationValue,
                         interface(0, 0, 1) + header() + inputTerminal(1, 0x0201) + processingUnit(processingUnitId, 1)
                             + extensionUnit(5, processingUnitId) + outputTerminal(7, 5) + extensionUnit(6, 1)
                             + interface(1, 0, 2) + streamingFormat());
}

QStringList describe(const std::vector<UvcControlInterface>& interfaces)
{
    QStringList out;
    for (const UvcControlInterface& each : interfaces) {
        QStringList entities;
        for (const UvcEntity& entity : each.entities) {
            const char* kind = entity.kind == UvcEntityKind::CameraTerminal ? "CT"
                : entity.kind == UvcEntityKind::ProcessingUnit              ? "PU"
                : entity.kind == UvcEntityKind::ExtensionUnit               ? "XU"
                                                                            : "other";
            entities << QStringLiteral("%1 %2").arg(kind).arg(entity.id);
        }
        out << QStringLiteral("interface %1: %2").arg(each.interfaceNumber).arg(entities.join(", "));
    }
    return out;
}

}  // namespace

TEST(UvcDescriptors, UnitsAreTheCamerasOwnAndOnlyTheVideoControlInterfaceDeclaresThem)
{
    const UsbDescriptors descriptors(device(3) + camera(3));
    EXPECT_EQ(descriptors.serialNumberIndex(), std::optional<std::uint8_t>(3));
    // An input terminal of another type is no camera; the streaming interface's format
    // descriptor, though its subtype is the extension unit's, declares nothing.
    const UsbDescriptors mediaTransport(device(0) + configuration(1, interface(0, 0, 1) + inputTerminal(1, 0x0202)));
    EXPECT_EQ(describe(descriptors.videoControlInterfaces(1)),
              QStringList{"interface 0: CT 1, PU 3, XU 5, other 7, XU 6"});
    EXPECT_EQ(describe(mediaTransport.videoControlInterfaces(1)), QStringList{"interface 0: other 1"});
}

TEST(UvcDescriptors, TheActiveConfigurationIsReadAndAMalformedDescriptorEndsTheReading)
{
    const UsbDescriptors two(device(3) + camera(3, 1) + camera(2, 2));
    EXPECT_EQ(describe(two.videoControlInterfaces(2)), QStringList{"interface 0: CT 1, PU 2, XU 5, other 7, XU 6"});
    EXPECT_EQ(describe(two.videoControlInterfaces(std::nullopt)), QStringList{"interface 0: CT 1, PU 3, XU 5, other 7, XU 6"});

    // A zero bLength after the processing unit: what came before stays.
    QByteArray broken = device(3) + configuration(1, interface(0, 0, 1) + inputTerminal(1, 0x0201) + processingUnit(3, 1)
                                                           + bytes({0, 0x24, 0x06, 5}) + extensionUnit(6, 1));
    EXPECT_EQ(describe(UsbDescriptors(broken).videoControlInterfaces(1)), QStringList{"interface 0: CT 1, PU 3"});
    // A descriptor cut short declares nothing.
    QByteArray cut = device(3) + configuration(1, interface(0, 0, 1) + inputTerminal(1, 0x0201) + processingUnit(3, 1));
    EXPECT_EQ(describe(UsbDescriptors(cut.chopped(3)).videoControlInterfaces(1)), QStringList{"interface 0: CT 1"});
    EXPECT_EQ(UsbDescriptors(device(3).left(17)).serialNumberIndex(), std::nullopt);
}

namespace {

// Stands in for uvcvideo on one camera's capture node: V4L2 controls with their limits
// and values, an extension unit's raw queries, and the trace of every ioctl.
class FakeUvcvideo {
public:
    struct Control {
        const char* name;
        std::int32_t minimum, maximum, step, defaultValue, value;
        std::vector<int> menuItems;  // for menus: the items the camera offers
    };

    FakeUvcvideo()
    {
        controls_[V4L2_CID_BRIGHTNESS] = {"brightness", -127, 127, 1, 0, -5, {}};
        controls_[V4L2_CID_CONTRAST] = {"contrast", 0, 100, 1, 50, 50, {}};
        controls_[V4L2_CID_BACKLIGHT_COMPENSATION] = {"backlight", 0, 2, 1, 1, 1, {}};
        controls_[V4L2_CID_WHITE_BALANCE_TEMPERATURE] = {"white-balance", 2800, 6500, 10, 4600, 4600, {}};
        controls_[V4L2_CID_AUTO_WHITE_BALANCE] = {"auto-white-balance", 0, 1, 1, 1, 1, {}};
        controls_[V4L2_CID_POWER_LINE_FREQUENCY] = {"power-line", 0, 2, 1, 1, 2, {0, 1, 2}};
        controls_[V4L2_CID_EXPOSURE_ABSOLUTE] = {"exposure", 1, 5000, 1, 156, 156, {}};
        // Manual and aperture priority, aperture priority by default.
        controls_[V4L2_CID_EXPOSURE_AUTO] = {"exposure-mode", 0, 3, 1, 3, 1, {1, 3}};
        controls_[V4L2_CID_FOCUS_ABSOLUTE] = {"focus", 0, 1023, 1, 0, 40, {}};
        controls_[V4L2_CID_FOCUS_AUTO] = {"auto-focus", 0, 1, 1, 1, 0, {}};
        controls_[V4L2_CID_ZOOM_ABSOLUTE] = {"zoom", 100, 500, 1, 100, 300, {}};
        controls_[V4L2_CID_PAN_ABSOLUTE] = {"pan", -36000, 36000, 3600, 0, 7200, {}};
        controls_[V4L2_CID_TILT_ABSOLUTE] = {"tilt", -18000, 18000, 3600, 0, -3600, {}};
    }

    UvcvideoIoctl ioctl()
    {
        return [this](unsigned long request, void* argument) { return answer(request, argument); };
    }

    QStringList trace;
    int failure = 0;  // every ioctl fails with this errno when set
    QByteArray xuWritten;

private:
    int answer(unsigned long request, void* argument)
    {
        switch (request) {
        case VIDIOC_QUERYCTRL: {
            auto* query = static_cast<v4l2_queryctrl*>(argument);
            trace << QStringLiteral("QUERYCTRL %1").arg(nameOf(query->id));
            if (failure || !controls_.count(query->id))
                return failure ? failure : EINVAL;
            const Control& control = controls_[query->id];
            query->minimum = control.minimum;
            query->maximum = control.maximum;
            query->step = control.step;
            query->default_value = control.defaultValue;
            return 0;
        }
        case VIDIOC_QUERYMENU: {
            auto* item = static_cast<v4l2_querymenu*>(argument);
            trace << QStringLiteral("QUERYMENU %1 %2").arg(nameOf(item->id)).arg(item->index);
            const auto& items = controls_[item->id].menuItems;
            return std::find(items.begin(), items.end(), int(item->index)) == items.end() ? EINVAL : 0;
        }
        case VIDIOC_G_CTRL:
        case VIDIOC_S_CTRL: {
            auto* one = static_cast<v4l2_control*>(argument);
            const bool set = request == VIDIOC_S_CTRL;
            trace << (set ? QStringLiteral("S_CTRL %1 %2").arg(nameOf(one->id)).arg(one->value)
                          : QStringLiteral("G_CTRL %1").arg(nameOf(one->id)));
            if (failure || !controls_.count(one->id))
                return failure ? failure : EINVAL;
            (set ? controls_[one->id].value : one->value) = set ? one->value : controls_[one->id].value;
            return 0;
        }
        case VIDIOC_G_EXT_CTRLS:
        case VIDIOC_S_EXT_CTRLS: {
            auto* all = static_cast<v4l2_ext_controls*>(argument);
            const bool set = request == VIDIOC_S_EXT_CTRLS;
            QStringList items;
            for (std::uint32_t i = 0; i < all->count; ++i) {
                v4l2_ext_control& each = all->controls[i];
                items << (set ? QStringLiteral("%1 %2").arg(nameOf(each.id)).arg(each.value) : nameOf(each.id));
                if (set)
                    controls_[each.id].value = each.value;
                else
                    each.value = controls_[each.id].value;
            }
            trace << QStringLiteral("%1 %2: %3")
                         .arg(QLatin1String(set ? "S_EXT_CTRLS" : "G_EXT_CTRLS"),
                              QLatin1String(all->ctrl_class == V4L2_CTRL_CLASS_CAMERA ? "camera" : "other"), items.join(", "));
            return failure;
        }
        case UVCIOC_CTRL_QUERY: {
            auto* query = static_cast<uvc_xu_control_query*>(argument);
            const QByteArray data(reinterpret_cast<const char*>(query->data), query->size);
            trace << QStringLiteral("XU unit %1 selector %2 query %3 size %4")
                         .arg(query->unit)
                         .arg(query->selector)
                         .arg(query->query, 2, 16, QLatin1Char('0'))
                         .arg(query->size);
            if (failure)
                return failure;
            if (query->query == 0x01)
                xuWritten = data;
            else
                std::fill(query->data, query->data + query->size, std::uint8_t(0xA5));
            return 0;
        }
        default:
            trace << QStringLiteral("unexpected ioctl %1").arg(request, 0, 16);
            return ENOTTY;
        }
    }

    QString nameOf(std::uint32_t id) { return controls_.count(id) ? QLatin1String(controls_[id].name) : QStringLiteral("%1").arg(id, 0, 16); }

    std::map<std::uint32_t, Control> controls_;
};

// The camera of these rows numbers its units as the ST470 does: camera terminal 1,
// processing unit 3, extension unit 5, an output terminal 7; its video-control interface is 0.
const UvcControlInterface kCamera{0,
                                  {{1, UvcEntityKind::CameraTerminal},
                                   {3, UvcEntityKind::ProcessingUnit},
                                   {5, UvcEntityKind::ExtensionUnit},
                                   {7, UvcEntityKind::Other}}};

struct Row {
    const char* what;
    int request;    // bRequest; SET_CUR goes as 0x21, the rest as 0xA1
    int unit;
    int selector;
    const char* data;  // hex: what a set sends, what a get must answer; its length is wLength
    UsbStatus status;
    const char* trace;  // the ioctls, "; " between them
};

class Translation : public ::testing::TestWithParam<Row> {};

void PrintTo(const Row& row, std::ostream* os)
{
    *os << row.what;
}

TEST_P(Translation, SendsExactlyTheseIoctlsAndAnswersAsTheCameraWould)
{
    const Row& row = GetParam();
    const QByteArray expected = QByteArray::fromHex(row.data);
    UsbSetupPacket setup;
    setup.bRequest = static_cast<std::uint8_t>(row.request);
    setup.bmRequestType = row.request == 0x01 ? 0x21 : 0xA1;
    setup.wValue = static_cast<std::uint16_t>(row.selector << 8);
    setup.wIndex = static_cast<std::uint16_t>(row.unit << 8);
    setup.wLength = static_cast<std::uint16_t>(expected.size());
    QByteArray data = row.request == 0x01 ? expected : QByteArray(expected.size(), '\xee');

    FakeUvcvideo driver;
    const UsbStatus status = answerUvcRequest(kCamera, setup, reinterpret_cast<std::uint8_t*>(data.data()), driver.ioctl());
    EXPECT_EQ(status, row.status);
    EXPECT_EQ(driver.trace.join("; "), QLatin1String(row.trace));
    if (row.request != 0x01 && row.status == kUsbSuccess) {
        EXPECT_EQ(data.toHex(' '), expected.toHex(' '));
    }
}

// The library's control maps and range table, control by control, then the class's
// auto-exposure menu and pan-tilt pair, then what must stall without a word to the driver.
const Row kRows[] = {
    {"brightness, signed", 0x81, 3, 2, "fbff", kUsbSuccess, "G_CTRL brightness"},
    {"brightness set negative", 0x01, 3, 2, "fbff", kUsbSuccess, "QUERYCTRL brightness; S_CTRL brightness -5"},
    {"brightness limit in one byte (range row 1)", 0x83, 3, 2, "7f", kUsbSuccess, "QUERYCTRL brightness"},
    {"contrast range in two bytes", 0x82, 3, 3, "0000", kUsbSuccess, "QUERYCTRL contrast"},
    {"backlight in the library's four bytes", 0x87, 3, 1, "01000000", kUsbSuccess, "QUERYCTRL backlight"},
    {"white balance widened", 0x81, 3, 10, "f8110000", kUsbSuccess, "G_CTRL white-balance"},
    {"white balance between steps", 0x01, 3, 10, "fd110000", kUsbPipeStalled, "QUERYCTRL white-balance"},
    {"white balance resolution", 0x84, 3, 10, "0a000000", kUsbSuccess, "QUERYCTRL white-balance"},
    {"automatic white balance", 0x01, 3, 11, "00000000", kUsbSuccess, "QUERYCTRL auto-white-balance; S_CTRL auto-white-balance 0"},
    {"power-line frequency widened", 0x81, 3, 5, "0200", kUsbSuccess, "G_CTRL power-line"},
    {"exposure time", 0x81, 1, 4, "9c000000", kUsbSuccess, "G_CTRL exposure"},
    {"focus widened to eight bytes", 0x81, 1, 6, "2800000000000000", kUsbSuccess, "G_CTRL focus"},
    {"automatic focus set as -1 (out of range)", 0x01, 1, 8, "ff", kUsbPipeStalled, "QUERYCTRL auto-focus"},
    {"zoom widened", 0x81, 1, 11, "2c010000", kUsbSuccess, "G_CTRL zoom"},
    {"zoom at its maximum", 0x01, 1, 11, "f4010000", kUsbSuccess, "QUERYCTRL zoom; S_CTRL zoom 500"},
    {"zoom past its maximum", 0x01, 1, 11, "f5010000", kUsbPipeStalled, "QUERYCTRL zoom"},
    {"a limit that does not fit the request", 0x82, 3, 10, "00", kUsbPipeStalled, "QUERYCTRL white-balance"},
    {"exposure priority (range row 12), which this camera lacks", 0x82, 1, 3, "00000000", kUsbPipeStalled, "QUERYCTRL 9a0903"},
    {"auto-exposure mode as its bit", 0x81, 1, 2, "01", kUsbSuccess, "G_CTRL exposure-mode"},
    {"auto-exposure default", 0x87, 1, 2, "08", kUsbSuccess, "QUERYCTRL exposure-mode"},
    {"auto-exposure modes offered", 0x84, 1, 2, "09", kUsbSuccess,
     "QUERYCTRL exposure-mode; QUERYMENU exposure-mode 0; QUERYMENU exposure-mode 1; QUERYMENU exposure-mode 2; "
     "QUERYMENU exposure-mode 3"},
    {"auto-exposure set by its bit", 0x01, 1, 2, "08", kUsbSuccess, "QUERYCTRL exposure-mode; S_CTRL exposure-mode 3"},
    {"auto-exposure set with two bits", 0x01, 1, 2, "09", kUsbPipeStalled, ""},
    {"auto-exposure has no minimum", 0x82, 1, 2, "00", kUsbPipeStalled, "QUERYCTRL exposure-mode"},
    {"pan and tilt read together", 0x81, 1, 13, "201c0000f0f1ffff", kUsbSuccess, "G_EXT_CTRLS camera: pan, tilt"},
    {"pan and tilt set together", 0x01, 1, 13, "f0f1ffff100e0000", kUsbSuccess,
     "QUERYCTRL pan; QUERYCTRL tilt; S_EXT_CTRLS camera: pan -3600, tilt 3600"},
    {"pan and tilt limits", 0x83, 1, 13, "a08c000050460000", kUsbSuccess, "QUERYCTRL pan; QUERYCTRL tilt"},
    {"pan and tilt in fewer than 8 bytes", 0x81, 1, 13, "201c0000", kUsbPipeStalled, ""},
    {"library's pan: pan-tilt relative", 0x81, 1, 14, "00000000", kUsbPipeStalled, ""},
    {"library's tilt: roll", 0x81, 1, 15, "00000000", kUsbPipeStalled, ""},
    {"white-balance components", 0x81, 3, 12, "00000000", kUsbPipeStalled, ""},
    {"a control's length", 0x85, 3, 2, "0000", kUsbPipeStalled, ""},
    {"a control's capabilities", 0x86, 3, 2, "00", kUsbPipeStalled, ""},
    {"no value at all", 0x81, 3, 2, "", kUsbPipeStalled, ""},
    {"a unit this camera does not have (its processing unit is 3)", 0x81, 2, 2, "0000", kUsbPipeStalled, ""},
    {"the library's automatic focus without a map entry (unit 0)", 0x01, 0, 0, "", kUsbPipeStalled, ""},
    {"an output terminal", 0x81, 7, 1, "00", kUsbPipeStalled, ""},
    {"extension unit read", 0x81, 5, 3, "a5a5a5a5", kUsbSuccess, "XU unit 5 selector 3 query 81 size 4"},
    {"extension unit written", 0x01, 5, 2, "0a0b", kUsbSuccess, "XU unit 5 selector 2 query 01 size 2"},
    {"extension unit length", 0x85, 5, 2, "a5a5", kUsbSuccess, "XU unit 5 selector 2 query 85 size 2"},
};
INSTANTIATE_TEST_SUITE_P(Requests, Translation, ::testing::ValuesIn(kRows));

TEST(Translation, ExtensionUnitBytesGoThroughUnchangedAndMalformedRequestsStall)
{
    FakeUvcvideo driver;
    std::uint8_t value[] = {0x0a, 0x0b, 0x0c};
    UsbSetupPacket set{0x21, 0x01, 0x0200, 0x0500, 3};
    ASSERT_EQ(answerUvcRequest(kCamera, set, value, driver.ioctl()), kUsbSuccess);
    EXPECT_EQ(driver.xuWritten, QByteArray("\x0a\x0b\x0c"));

    // The request type must match the request's direction, the control be addressed whole,
    // on this interface.
    const UsbSetupPacket malformed[] = {{0x21, 0x81, 0x0200, 0x0300, 2}, {0xA1, 0x81, 0x0201, 0x0300, 2},
                                        {0xA1, 0x81, 0x0200, 0x0301, 2}, {0xA1, 0x91, 0x0200, 0x0300, 2}};
    driver.trace.clear();
    for (const UsbSetupPacket& setup : malformed)
        EXPECT_EQ(answerUvcRequest(kCamera, setup, value, driver.ioctl()), kUsbPipeStalled);
    EXPECT_TRUE(driver.trace.isEmpty()) << driver.trace.join("; ").toStdString();
}

TEST(Translation, TheDriversErrorsBecomeStallsErrorsOrAGoneDevice)
{
    const std::pair<int, UsbStatus> rows[] = {{EINVAL, kUsbPipeStalled}, {ENOENT, kUsbPipeStalled}, {ERANGE, kUsbPipeStalled},
                                              {ENOBUFS, kUsbPipeStalled}, {EACCES, kUsbPipeStalled}, {EIO, kUsbError},
                                              {ENODEV, kUsbNoDevice}};
    for (const auto& [error, status] : rows) {
        FakeUvcvideo driver;
        driver.failure = error;
        std::uint8_t value[4] = {};
        EXPECT_EQ(answerUvcRequest(kCamera, {0xA1, 0x81, 0x0b00, 0x0100, 4}, value, driver.ioctl()), status) << error;
        EXPECT_EQ(answerUvcRequest(kCamera, {0xA1, 0x81, 0x0300, 0x0500, 4}, value, driver.ioctl()), status) << error;
    }
}

}  // namespace
