// The emulated uvcvideo against real clients, v4l2-ctl and GStreamer's v4l2src run in the
// test bed: what they see of it is what they would see of the driver. Its extension units,
// stalls, unplug and access are seen through the library in UsbServiceUvcvideoTest.
#include "platform/sim/PixelBufferSim.h"
#include "support/EmulatedUsb.h"
#include "support/QtPrinters.h"
#include "support/WireText.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

using namespace uvccam::testing;
using uvccam::platform::PixelBufferSim;
using uvccam::platform::UvcCameraModel;

namespace {

const QString kRx710 = QStringLiteral("RX710 Conference Camera");
constexpr int kFrameBytes = 640 * 360 * 2;
constexpr std::chrono::microseconds kFrameInterval(33333);

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
    // gst-launch-1.0 with these arguments, in the test bed; still running.
    static void startGst(QProcess& process, const QStringList& arguments)
    {
        process.start(QStringLiteral("gst-launch-1.0"), arguments);
        EXPECT_TRUE(process.waitForStarted(10000));
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

// The camera's one mode as v4l2-ctl finds it, and uvcvideo's nearest match for what it
// does not have: a capture node that reads, with no buffers to stream.
TEST_F(EmulatedUvcDriverTest, V4l2CtlFindsTheVideoModeAndGetsTheNearestForAnyOther)
{
    const Run list = v4l2ctl(rx.video, "--list-formats-ext");
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.lines, QStringList({"ioctl: VIDIOC_ENUM_FMT", "Type: Video Capture", "[0]: 'UYVY' (UYVY 4:2:2)",
                                       "Size: Discrete 640x360", "Interval: Discrete 0.033s (30.000 fps)"}));

    const Run set = v4l2ctl(rx.video, "--set-fmt-video width=1920,height=1080,pixelformat=YUYV --set-parm 15 --all");
    EXPECT_EQ(set.status, 0);
    for (const char* line : {"Device Caps : 0x01200001", "Read/Write", "Width/Height : 640/360",
                             "Pixel Format : 'UYVY' (UYVY 4:2:2)", "Bytes per Line : 1280", "Size Image : 460800",
                             "Frames per second: 30.000 (30/1)", "Frame rate set to 30.000 fps"})
        EXPECT_TRUE(set.lines.contains(QLatin1String(line))) << line << '\n' << set.lines.join('\n').toStdString();
}

// GStreamer's v4l2src captures from the node by read(): the files hold the camera's frames
// in order, from 0 in each run (each is a stream of its own), at most a frame interval
// apart by the pipeline's clock.
TEST_F(EmulatedUvcDriverTest, GstLaunchCapturesTheCamerasNumberedFramesAtItsRate)
{
    constexpr int kFrames = 10;
    for (int run = 0; run < 2; ++run) {
        const QTemporaryDir dir;
        QProcess gst;
        startGst(gst, {"-m", "v4l2src", "device=" + rx.video, QStringLiteral("num-buffers=%1").arg(kFrames), "!",
                       "video/x-raw,format=UYVY,width=640,height=360", "!", "multifilesink", "post-messages=true",
                       "location=" + dir.filePath("frame%02d")});
        ASSERT_TRUE(gst.waitForFinished(30000));
        EXPECT_EQ(gst.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(gst.exitCode(), 0) << gst.readAllStandardError().toStdString();

        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), kFrames);
        for (int i = 0; i < kFrames; ++i) {
            QFile file(dir.filePath(QStringLiteral("frame%1").arg(i, 2, 10, QLatin1Char('0'))));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << i;
            const QByteArray frame = file.readAll();
            ASSERT_EQ(frame.size(), kFrameBytes) << i;
            EXPECT_EQ(PixelBufferSim::frameNumberOf(reinterpret_cast<const std::uint8_t*>(frame.constData())),
                      static_cast<std::uint32_t>(i));
        }
        std::vector<qint64> times;  // each file's running time, in nanoseconds
        const QRegularExpression written(QStringLiteral("GstMultiFileSink.*running-time=\\(guint64\\)(\\d+)"));
        for (const QString& line : QString::fromUtf8(gst.readAllStandardOutput()).split(QLatin1Char('\n'))) {
            if (const QRegularExpressionMatch match = written.match(line); match.hasMatch())
                times.push_back(match.captured(1).toLongLong());
        }
        ASSERT_EQ(times.size(), static_cast<std::size_t>(kFrames));
        // Frame 0 leaves at once, frame 9 no sooner than nine intervals later.
        EXPECT_GE(times.back() - times.front(), std::chrono::nanoseconds(8 * kFrameInterval).count());
        ASSERT_TRUE(waitFor([&] { return !usb.uvc(rx).isStreaming(); }));
    }
    EXPECT_EQ(usb.uvc(rx).framesSent(), 2 * kFrames);
    EXPECT_EQ(usb.uvc(rx).videoStreams(), 2);
}

// A camera unplugged while v4l2src streams from it ends the pipeline with an error.
TEST_F(EmulatedUvcDriverTest, GstLaunchEndsWithAnErrorWhenTheCameraIsUnplugged)
{
    QProcess gst;
    startGst(gst, {"v4l2src", "device=" + rx.video, "!", "video/x-raw,format=UYVY,width=640,height=360", "!",
                   "fakesink"});
    ASSERT_TRUE(waitFor([&] { return usb.uvc(rx).framesSent() >= 3; }, std::chrono::seconds(30)))
        << gst.readAllStandardError().toStdString();
    usb.unplug(rx);
    const bool ended = waitFor([&] { return gst.state() == QProcess::NotRunning; }, std::chrono::seconds(10));
    if (!ended) {
        gst.kill();
        gst.waitForFinished(5000);
    }
    ASSERT_TRUE(ended) << "gst-launch still runs";
    EXPECT_EQ(gst.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(gst.exitCode(), 0);
}

}  // namespace
