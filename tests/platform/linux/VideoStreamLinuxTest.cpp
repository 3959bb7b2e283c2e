// The library's video on the Linux platform as a host gets it, streaming from an emulated
// camera's capture node through v4l2src: frames, their numbers and memory, stop, restart,
// unplug and the frame copy.
// GLib names struct members `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "UVCCam.h"
#include "hotkey/HKHotKeyCenter.h"
#include "mac/MacCamera.h"
#include "mac/MacCameraManager.h"
#include "mac/MacHidDeviceManager.h"
#include "mac/MacHotKeyManager.h"
#include "mac/MacUVCCam.h"
#include "mac/MacUVCCamOC.h"
#include "platform/Platform.h"
#include "platform/linux/PixelBufferGst.h"
#include "platform/linux/PlatformLinux.h"
#include "platform/sim/PixelBufferSim.h"
#include "support/CategoryMessages.h"
#include "support/EmulatedUsb.h"
#include "support/LibraryProcessState.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QThread>

#include <gst/gst.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

using namespace uvccam::platform;
using namespace uvccam::testing;
using namespace std::chrono_literals;

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr int kRowBytes = kWidth * 2;

// Whether `frame` (rows `bytesPerRow` apart) holds the simulator's test frame `number`: the
// counter row and the colour bars below it, first, middle and last rows.
bool isTestFrame(const unsigned char* frame, std::size_t bytesPerRow, std::uint32_t number)
{
    // Every row but the first is the same, so two rows make the whole frame.
    PixelBufferSim expected(kWidth, 2);
    expected.drawTestFrame(number);
    const std::uint8_t* counterRow = expected.pixels();
    const std::uint8_t* barRow = expected.pixels() + expected.bytesPerRow();
    bool same = std::memcmp(frame, counterRow, kRowBytes) == 0;
    for (const int row : {1, kHeight / 2, kHeight - 1})
        same = same && std::memcmp(frame + row * bytesPerRow, barRow, kRowBytes) == 0;
    return same;
}

// What the host's frame callback saw of each frame.
struct HostFrame {
    std::uint32_t number = 0;
    int width = 0;
    int height = 0;
    int size = 0;
    bool onMainThread = false;
    bool inPlace = false;     // inside the mapped memory of the GStreamer buffer the camera holds
    bool testFrame = false;   // the camera's test frame of that number, pixel for pixel
    qint64 arrivedMs = 0;
};

std::vector<HostFrame> g_frames;
QElapsedTimer g_clock;

void receiveFrame(unsigned char* frame, int width, int height, int size)
{
    HostFrame seen{PixelBufferSim::frameNumberOf(frame), width, height, size,
                   QThread::currentThread() == QCoreApplication::instance()->thread()};
    seen.arrivedMs = g_clock.elapsed();
    // The frame the camera holds during the call is the one the callback reads.
    const PixelBufferPtr& held = macUVCCamOC->currentCamera->pixelBuffer();
    if (auto* gstFrame = dynamic_cast<PixelBufferGst*>(held.get())) {
        GstMapInfo map;
        if (gst_buffer_map(gstFrame->buffer(), &map, GST_MAP_READ)) {
            seen.inPlace = frame >= map.data && frame + size <= map.data + map.size;
            gst_buffer_unmap(gstFrame->buffer(), &map);
        }
    }
    seen.testFrame = height > 0 && size % height == 0 && isTestFrame(frame, size / height, seen.number);
    g_frames.push_back(seen);
}

// The Linux platform as PlatformLinux::create() makes it for a host, in a test bed where an
// RX710 is plugged; the host's camera object made once the camera is there.
class LibraryOnV4l2src : public ::testing::Test {
protected:
    LibraryOnV4l2src()
    {
        discardProcessState();
        g_frames.clear();
        g_clock.start();
        Platform::install(PlatformLinux::create());
        makeCamera();
    }
    ~LibraryOnV4l2src() override
    {
        camera.reset();
        discardProcessState();
        Platform::install(nullptr);
    }
    static void discardProcessState() { uvccam::testing::discardLibraryProcessState(); }
    void makeCamera()
    {
        camera.reset(static_cast<MacUVCCam*>(acquireUVCCam()));
        QObject::connect(camera.get(), &MacUVCCam::deviceRemove, [this] { heard << "remove"; });
        QObject::connect(camera.get(), &MacUVCCam::deviceChange, [this] { heard << "change"; });
        camera->setVideoCallback(receiveFrame);
    }
    bool waitForFrames(std::size_t count) { return waitFor([&] { return g_frames.size() >= count; }, 15s); }
    // Nothing more reaches the callback for a few frame intervals.
    static bool noFrameAfter(std::size_t count) { return !waitFor([&] { return g_frames.size() > count; }, 300ms); }

    EmulatedUsb usb;
    const EmulatedNodes rx = usb.plug(EmulatedDevice::camera(QStringLiteral("RX710 Conference Camera"), 0x2574, "1.4"));
    std::unique_ptr<MacUVCCam> camera;
    QStringList heard;
};

TEST_F(LibraryOnV4l2src, FramesFromTheCaptureNodeReachTheCallbackInPlaceInOrderAtTheCamerasRate)
{
    ASSERT_EQ(camera->getDeviceInfo().deviceUniqueId, QStringLiteral("0xf11400002a3b2574"));
    ASSERT_EQ(camera->startVideoStream(0), 0);
    ASSERT_TRUE(waitForFrames(30)) << g_frames.size() << " frames; the camera sent " << usb.uvc(rx).framesSent();
    EXPECT_EQ(usb.uvc(rx).videoStreams(), 1);

    for (const HostFrame& frame : g_frames) {
        SCOPED_TRACE(frame.number);
        EXPECT_TRUE(frame.onMainThread);
        EXPECT_EQ(frame.width, kWidth);
        EXPECT_EQ(frame.height, kHeight);
        EXPECT_EQ(frame.size, kRowBytes * kHeight) << "the camera's own UYVY 640x360: nothing scaled or padded";
        EXPECT_TRUE(frame.inPlace) << "the callback reads GStreamer's buffer, not a copy";
        EXPECT_TRUE(frame.testFrame) << "the pixels the camera sent";
    }
    // Numbers count up; a gap is a frame dropped for a busy main thread, never a reordering.
    for (std::size_t i = 1; i < g_frames.size(); ++i)
        EXPECT_GT(g_frames[i].number, g_frames[i - 1].number) << "at frame " << i;
    EXPECT_LT(g_frames.front().number, 5u) << "a stream of its own, numbered from 0";
    EXPECT_LT(g_frames.back().number, static_cast<std::uint32_t>(usb.uvc(rx).framesSent()));

    // The camera's 30 per second, by its own numbers over the time they took to arrive, and
    // most of them delivered.
    const HostFrame& first = g_frames.front();
    const HostFrame& last = g_frames.back();
    const double seconds = static_cast<double>(last.arrivedMs - first.arrivedMs) / 1000.0;
    ASSERT_GT(seconds, 0.0);
    const double rate = (last.number - first.number) / seconds;
    EXPECT_GT(rate, 20.0);
    EXPECT_LT(rate, 45.0);
    EXPECT_GE(2 * g_frames.size(), last.number - first.number + 1) << "more than half the frames dropped";

    ASSERT_EQ(camera->stopVideoStream(), 0);
}

// Stop ends the camera's stream and the host hears of no frame after it; a restart is a new
// stream from frame 0. The frame copy is of the frame the camera object held when the
// library selected it (so none during the first stream), and a camera object made later
// copies the newest frame delivered.
TEST_F(LibraryOnV4l2src, StopEndsTheCamerasStreamARestartBeginsAgainAndTheCopyIsOfTheHeldFrame)
{
    EXPECT_EQ(camera->GetPixelBuffer(), nullptr) << "no frame yet";
    for (int stream = 1; stream <= 2; ++stream) {
        SCOPED_TRACE(stream);
        const std::size_t before = g_frames.size();
        ASSERT_EQ(camera->startVideoStream(0), 0);
        ASSERT_TRUE(waitForFrames(before + 10));
        EXPECT_LT(g_frames[before].number, 5u) << "a new stream, numbered from 0 again";
        EXPECT_TRUE(usb.uvc(rx).isStreaming());
        EXPECT_EQ(usb.uvc(rx).videoStreams(), stream);
        EXPECT_EQ(camera->GetPixelBuffer(), nullptr) << "the library copies the frame it held at selection";

        ASSERT_EQ(camera->stopVideoStream(), 0);
        const std::size_t atStop = g_frames.size();
        EXPECT_TRUE(noFrameAfter(atStop));
        EXPECT_TRUE(waitFor([&] { return !usb.uvc(rx).isStreaming(); })) << "the capture node was left open";
    }
    const int sent = usb.uvc(rx).framesSent();
    EXPECT_FALSE(waitFor([&] { return usb.uvc(rx).framesSent() > sent; }, 300ms)) << "the camera still sends";

    // A host making its camera object again: the library selects the camera and takes the
    // frame it holds, the last the callback saw.
    makeCamera();
    const unsigned char* copy = camera->GetPixelBuffer();
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(PixelBufferSim::frameNumberOf(copy), g_frames.back().number);
    EXPECT_TRUE(isTestFrame(copy, kRowBytes, g_frames.back().number));
}

TEST_F(LibraryOnV4l2src, AnUnplugWhileStreamingEndsTheStreamWithOneWarningAndTheRemovalStillArrives)
{
    const CategoryMessages log("uvccam.linux.video");
    ASSERT_EQ(camera->startVideoStream(0), 0);
    ASSERT_TRUE(waitForFrames(5));

    usb.unplug(rx);
    // v4l2src's failed read and udev's removal both end the session, which says so once; the
    // host hears of the removal all the same.
    ASSERT_TRUE(waitFor([&] { return heard.contains(QStringLiteral("remove")) && !log.warnings().isEmpty(); }, 10s))
        << heard.join(' ').toStdString() << " / " << log.warnings().join('\n').toStdString();
    const std::size_t seen = g_frames.size();
    EXPECT_FALSE(waitFor([&] { return g_frames.size() > seen || log.warnings().size() > 1; }, 300ms));
    ASSERT_EQ(log.warnings().size(), 1) << log.warnings().join('\n').toStdString();
    EXPECT_FALSE(usb.uvc(rx).isStreaming());
    EXPECT_TRUE(waitFor([&] { return camera->getDeviceList().isEmpty(); }));

    // The host may still stop, and nothing waits on the gone camera.
    QElapsedTimer stopping;
    stopping.start();
    camera->stopVideoStream();
    EXPECT_LT(stopping.elapsed(), 1000);
    EXPECT_TRUE(noFrameAfter(seen));
}

}  // namespace
