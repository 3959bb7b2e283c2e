// The emulated uvcvideo against a real client (v4l2-ctl, run in the test bed) and by the
// ioctls that v4l2-ctl does not reach: extension-unit queries, stalls, unplug, access.
#include "support/EmulatedUsb.h"
#include "support/QtPrinters.h"
#include "support/WireText.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cerrno>

#include <fcntl.h>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace uvccam::testing;
using uvccam::platform::UvcCameraModel;

namespace {

const QString kRx710 = QStringLiteral("RX710 Conference Camera");

class EmulatedUvcDriverTest : public ::testing::Test {
protected:
    void SetUp() override { rx = usb.plug(EmulatedDevice::camera(kRx710, 0x2574, "1.4")); }

    struct Run {
        int status = -1;
        QStringList lines;  // standard output, each line's spaces simplified, empty lines left out
    };
    // v4l2-ctl on a capture node, with these arguments (separated by spaces).
    static Run v4l2ctl(const QString& node, const QString& arguments)
    {
        QProcess process;
        process.start(QStringLiteral("v4l2-ctl"), QStringList{QStringLiteral("-d"), node} + arguments.split(' '));
        EXPECT_TRUE(process.waitForFinished(20000)) << arguments.toStdString();
        Run run{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, {}};
        for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            if (!line.simplified().isEmpty())
                run.lines << line.simplified();
        }
        return run;
    }
    // The requests of this kind that reached the camera since the last look, as wire text.
    QStringList sent(const EmulatedNodes& nodes, std::uint8_t request)
    {
        QStringList lines;
        for (const auto& r : usb.uvc(nodes).requests()) {
            if (r.setup.bRequest == request)
                lines << wire(r);
        }
        usb.uvc(nodes).clearRequests();
        return lines;
    }

    EmulatedUsb usb;
    EmulatedNodes rx;
};

// A descriptor open on a node, closed at the end of the scope.
struct Open {
    explicit Open(const QString& node) : fd(::open(node.toUtf8().constData(), O_RDWR)) { EXPECT_GE(fd, 0); }
    ~Open() { ::close(fd); }
    // 0 or the errno of a UVCIOC_CTRL_QUERY; `data` holds the bytes sent or received.
    int query(int unit, int selector, int request, QByteArray& data) const
    {
        uvc_xu_control_query asked{static_cast<__u8>(unit), static_cast<__u8>(selector), static_cast<__u8>(request),
                                   static_cast<__u16>(data.size()), reinterpret_cast<__u8*>(data.data())};
        return ::ioctl(fd, UVCIOC_CTRL_QUERY, &asked) == 0 ? 0 : errno;
    }
    int setControl(std::uint32_t id, std::int32_t value) const
    {
        v4l2_control control{id, value};
        return ::ioctl(fd, VIDIOC_S_CTRL, &control) == 0 ? 0 : errno;
    }
    int fd;
};

// The camera's values, not the driver's defaults; the controls and limits its descriptor and
// answers give; the automatic modes that make their manual partners inactive; the
// auto-exposure items that the camera's GET_RES names.
TEST_F(EmulatedUvcDriverTest, V4l2CtlListsTheDeclaredControlsWithTheCamerasValues)
{
    usb.uvc(rx).withCamera([](UvcCameraModel& camera) {
        camera.control(2, 2)->current = 200;  // brightness
        camera.control(2, 11)->current = 0;   // white balance automatic
        camera.control(1, 11)->current = 300; // zoom
        camera.control(1, 15)->current = 1800; // tilt
    });
    const Run run = v4l2ctl(rx.video, "--list-ctrls-menus");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.lines, QStringList({
        "User Controls",
        "brightness 0x00980900 (int) : min=0 max=255 step=1 default=128 value=200",
        "contrast 0x00980901 (int) : min=0 max=100 step=1 default=50 value=50",
        "saturation 0x00980902 (int) : min=0 max=100 step=1 default=64 value=64",
        "white_balance_automatic 0x0098090c (bool) : default=1 value=0",
        "power_line_frequency 0x00980918 (menu) : min=0 max=2 default=1 value=1 (50 Hz)",
        "0: Disabled", "1: 50 Hz", "2: 60 Hz",
        "white_balance_temperature 0x0098091a (int) : min=2800 max=6500 step=1 default=4600 value=4600",
        "sharpness 0x0098091b (int) : min=0 max=7 step=1 default=3 value=3",
        "backlight_compensation 0x0098091c (int) : min=0 max=2 step=1 default=1 value=1",
        "Camera Controls",
        "auto_exposure 0x009a0901 (menu) : min=0 max=3 default=3 value=3 (Aperture Priority Mode)",
        "1: Manual Mode", "3: Aperture Priority Mode",
        "exposure_time_absolute 0x009a0902 (int) : min=1 max=5000 step=1 default=156 value=156 flags=inactive",
        "pan_absolute 0x009a0908 (int) : min=-36000 max=36000 step=1 default=0 value=0",
        "tilt_absolute 0x009a0909 (int) : min=-36000 max=36000 step=1 default=0 value=1800",
        "focus_absolute 0x009a090a (int) : min=0 max=1023 step=1 default=0 value=0 flags=inactive",
        "focus_automatic_continuous 0x009a090c (bool) : default=1 value=1",
        "zoom_absolute 0x009a090d (int) : min=100 max=500 step=1 default=100 value=300",
    }));

    // The other cameras: a signed brightness on processing unit 3, no automatic focus.
    const EmulatedNodes lum = usb.plug(EmulatedDevice::camera(QStringLiteral("LUM610 Webcam"), 0x6100, "2"));
    const QStringList lines = v4l2ctl(lum.video, "--list-ctrls").lines;
    EXPECT_TRUE(lines.contains("brightness 0x00980900 (int) : min=-127 max=127 step=1 default=0 value=0"));
    EXPECT_TRUE(lines.contains("focus_absolute 0x009a090a (int) : min=0 max=1023 step=1 default=0 value=0"));
    EXPECT_EQ(lines.filter(QStringLiteral("focus_automatic")), QStringList());
}

// Each set is clamped (an unsigned control compares unsigned: -5 is above the maximum), then
// sent as the class's SET_CUR of its UVC control: pan in the low half of the 8-byte
// pan-and-tilt control, the auto-exposure item as its mode bit, exposure time accepted because
// the same call turns automatic exposure off.
TEST_F(EmulatedUvcDriverTest, V4l2CtlSetsReachTheCameraAsTheClassRequests)
{
    const Run set = v4l2ctl(rx.video, "--set-ctrl brightness=300,contrast=-5,power_line_frequency=2,pan_absolute=-3600,"
                                      "zoom_absolute=300,auto_exposure=1,exposure_time_absolute=1000");
    EXPECT_EQ(set.status, 0);
    EXPECT_EQ(sent(rx, UvcCameraModel::SET_CUR), QStringList({
        "21 01 0200 0200 2 [ff 00]", "21 01 0300 0200 2 [64 00]", "21 01 0500 0200 1 [02]",  // one call
        "21 01 0200 0100 1 [01]", "21 01 0400 0100 4 [e8 03 00 00]", "21 01 0b00 0100 2 [2c 01]",
        "21 01 0d00 0100 8 [f0 f1 ff ff 00 00 00 00]"}));
    usb.uvc(rx).withCamera([](UvcCameraModel& camera) {
        EXPECT_EQ(camera.control(1, 14)->current, -3600) << "pan";
        EXPECT_EQ(camera.control(1, 3)->current, 1) << "the maker's exposure mode: manual";
    });
    EXPECT_EQ(v4l2ctl(rx.video, "--get-ctrl brightness,pan_absolute,auto_exposure").lines,
              QStringList({"brightness: 255", "pan_absolute: -3600", "auto_exposure: 1 (Manual Mode)"}));

    // Focus stays with the camera while automatic focus is on.
    EXPECT_NE(v4l2ctl(rx.video, "--set-ctrl focus_absolute=500").status, 0);
    EXPECT_EQ(sent(rx, UvcCameraModel::SET_CUR), QStringList());
}

// The extension units' controls byte for byte; the driver asks a control's length and
// capabilities once, and refuses other sizes, other units and unknown selectors itself.
TEST_F(EmulatedUvcDriverTest, ExtensionUnitQueriesPassByteForByteAtTheControlsLength)
{
    usb.uvc(rx).withCamera([](UvcCameraModel& camera) { camera.setExtensionLength(5, 3, 4); });
    const Open node(rx.video);
    QByteArray value = QByteArray::fromHex("01020304");
    EXPECT_EQ(node.query(5, 3, UVC_SET_CUR, value), 0);
    const struct { int request; QByteArray answer; } gets[] = {
        {UVC_GET_CUR, QByteArray::fromHex("01020304")}, {UVC_GET_MAX, QByteArray::fromHex("ffffffff")},
        {UVC_GET_LEN, QByteArray::fromHex("0400")}, {UVC_GET_INFO, QByteArray::fromHex("03")}};
    for (const auto& get : gets) {
        QByteArray answer(get.answer.size(), '\x55');
        EXPECT_EQ(node.query(5, 3, get.request, answer), 0) << get.request;
        EXPECT_EQ(answer, get.answer) << get.request;
    }
    QStringList all;
    for (const auto& r : usb.uvc(rx).requests())
        all << wire(r);
    EXPECT_EQ(all, QStringList({"a1 85 0300 0500 2 [04 00]", "a1 86 0300 0500 1 [03]", "21 01 0300 0500 4 [01 02 03 04]",
                                "a1 81 0300 0500 4 [01 02 03 04]", "a1 83 0300 0500 4 [ff ff ff ff]",
                                "a1 85 0300 0500 2 [04 00]", "a1 86 0300 0500 1 [03]"}));
    usb.uvc(rx).clearRequests();

    const struct { int unit, selector, request, size, error; } refused[] = {
        {5, 3, UVC_GET_CUR, 2, ENOBUFS}, {5, 3, UVC_GET_LEN, 4, ENOBUFS}, {5, 3, 0x02, 4, EINVAL},
        {1, 3, UVC_GET_CUR, 4, ENOENT}, {2, 2, UVC_GET_CUR, 2, ENOENT}, {10, 1, UVC_GET_CUR, 4, ENOENT},
        {5, 17, UVC_GET_CUR, 4, ENOENT}};
    for (const auto& r : refused) {
        QByteArray data(r.size, '\0');
        EXPECT_EQ(node.query(r.unit, r.selector, r.request, data), r.error) << r.unit << ' ' << r.selector;
    }
    EXPECT_TRUE(usb.uvc(rx).requests().empty());
}

// A stall fails as the camera's request error code says, a departed camera with ENODEV, a
// node the process may not open with EACCES.
TEST_F(EmulatedUvcDriverTest, StallsUnplugAndAccessFailAsTheDriverDoes)
{
    const Open node(rx.video);
    usb.uvc(rx).withCamera([](UvcCameraModel& camera) { camera.stallNextRequests(1); });
    EXPECT_EQ(node.setControl(V4L2_CID_CONTRAST, 10), EPIPE) << "the camera has no error code to give";
    EXPECT_EQ(sent(rx, UvcCameraModel::GET_CUR), QStringList({"a1 81 0200 0000 1 []"}));
    usb.uvc(rx).withCamera([](UvcCameraModel& camera) {
        camera.setControl(0, UVC_VC_REQUEST_ERROR_CODE_CONTROL, UvcCameraModel::Control{1, false, 0, 255, 0, 4});
        camera.stallNextRequests(1);
    });
    EXPECT_EQ(node.setControl(V4L2_CID_CONTRAST, 10), ERANGE) << "out of range, says the camera";
    EXPECT_EQ(node.setControl(V4L2_CID_CONTRAST, 10), 0);
    EXPECT_EQ(node.setControl(V4L2_CID_EXPOSURE_ABSOLUTE, 10), EACCES) << "automatic exposure is on";
    EXPECT_EQ(node.setControl(V4L2_CID_CONTRAST | 0x80, 10), EINVAL) << "no such control";

    usb.unplug(rx);
    EXPECT_EQ(node.setControl(V4L2_CID_CONTRAST, 20), ENODEV);

    const EmulatedNodes lum = usb.plug(EmulatedDevice::camera(QStringLiteral("LUM610 Webcam"), 0x6100, "2"));
    NodeAccessDenied denied(lum.video);
    EXPECT_EQ(::open(lum.video.toUtf8().constData(), O_RDWR), -1);
    EXPECT_EQ(errno, EACCES);
}

}  // namespace
