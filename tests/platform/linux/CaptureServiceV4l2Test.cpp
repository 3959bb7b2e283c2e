// The capture service over video4linux on emulated devices: which nodes are cameras, their
// identity texts, arrivals and removals as the library's observers receive them, and the
// sessions, inputs and outputs it gives.
// GLib names a struct member `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "platform/linux/AudioFileOutputGst.h"
#include "platform/linux/CaptureServiceV4l2.h"

#include "platform/linux/RunLoopQt.h"
#include "platform/linux/VideoDataOutputGst.h"
#include "support/CategoryMessages.h"
#include "support/EmulatedUsb.h"
#include "support/QtPrinters.h"

#include <gst/gst.h>
#include <umockdev.h>

#include <gtest/gtest.h>

#include <vector>

using namespace uvccam::platform;
using namespace uvccam::testing;

namespace {

const QString kRx710 = QStringLiteral("RX710 Conference Camera");

class CaptureServiceV4l2Test : public ::testing::Test {
protected:
    CaptureServiceV4l2& service()
    {
        if (!service_)
            service_ = std::make_unique<CaptureServiceV4l2>(watcher, runLoop);
        return *service_;
    }
    QList<CaptureDevicePtr> cameras() { return service().devicesWithMediaType(MediaType::Video); }

    EmulatedUsb usb;
    RunLoopQt runLoop;
    std::shared_ptr<UdevWatcher> watcher = UdevWatcher::create({"video4linux", "hidraw", "sound"});

private:
    std::unique_ptr<CaptureServiceV4l2> service_;
};

TEST_F(CaptureServiceV4l2Test, ListsEachUsbCameraByItsCaptureNodeInTheSystemsIdentityForms)
{
    usb.plug(EmulatedDevice::camera(kRx710, 0x2574, "1.4"));
    EmulatedDevice webcam = EmulatedDevice::camera(QStringLiteral("HD Webcam"), 0x0825, "3");
    webcam.vendorId = 0x1d50;
    webcam.busnum = 2;
    usb.plug(webcam);
    usb.plug(EmulatedDevice::speakerphone(QStringLiteral("VOXA760"), 0x0760, "2"));
    // A capture node that no USB device carries (a virtual driver's) is no camera of ours.
    GError* error = nullptr;
    ASSERT_TRUE(umockdev_testbed_add_from_string(usb.testbed(),
                                                 "P: /devices/platform/vivid.0/video4linux/video9\nN: video9=00\n"
                                                 "E: SUBSYSTEM=video4linux\nE: DEVNAME=/dev/video9\n"
                                                 "E: ID_V4L_CAPABILITIES=:capture:\n",
                                                 &error));

    const QList<CaptureDevicePtr> listed = cameras();
    ASSERT_EQ(listed.size(), 2) << "one per camera: metadata nodes, speakerphones and the virtual node are not";
    EXPECT_EQ(listed[0]->uniqueID(), "0xf11400002a3b2574");
    EXPECT_EQ(listed[0]->modelID(), "UVC Camera VendorID_10811 ProductID_9588");
    EXPECT_EQ(listed[0]->localizedName(), kRx710);
    EXPECT_EQ(listed[1]->uniqueID(), "0xf23000001d500825");
    EXPECT_EQ(listed[1]->modelID(), "UVC Camera VendorID_7504 ProductID_2085");
    for (const CaptureDevicePtr& camera : listed) {
        EXPECT_TRUE(camera->hasMediaType(MediaType::Video));
        EXPECT_FALSE(camera->hasMediaType(MediaType::Audio));
        EXPECT_TRUE(camera->isConnected());
    }
    EXPECT_EQ(cameras(), listed) << "the same objects in the same order every time";
    EXPECT_EQ(service().defaultDeviceWithMediaType(MediaType::Video), listed[0]);
    EXPECT_TRUE(service().devicesWithMediaType(MediaType::Audio).isEmpty());
    EXPECT_EQ(service().defaultDeviceWithMediaType(MediaType::Audio), nullptr);

    // udev's news of these arrivals was still on its way when the list was taken: read now,
    // it announces nothing the list did not already hold.
    int notifications = 0;
    service().addObserver([&](const CaptureDeviceNotification&) { ++notifications; });
    EXPECT_FALSE(waitFor([&] { return notifications > 0; }, std::chrono::milliseconds(300)));
    EXPECT_EQ(cameras(), listed);
}

TEST_F(CaptureServiceV4l2Test, AnnouncesArrivalAndRemovalOnceWithTheListedObjectToTheObserversOfTheTime)
{
    std::vector<CaptureDeviceNotification> heard;
    service().addObserver([&](const CaptureDeviceNotification& notification) { heard.push_back(notification); });
    int removedObserverCalls = 0;
    service().removeObserver(service().addObserver([&](const CaptureDeviceNotification&) { ++removedObserverCalls; }));

    const EmulatedNodes rx = usb.plug(EmulatedDevice::camera(kRx710, 0x2574, "1.4"));
    ASSERT_TRUE(waitFor([&] { return heard.size() == 1; }));
    EXPECT_EQ(heard[0].name, CaptureDeviceNotification::Name::WasConnected);
    ASSERT_EQ(cameras().size(), 1);
    const CaptureDevicePtr camera = cameras()[0];
    EXPECT_EQ(heard[0].object, camera);
    EXPECT_EQ(camera->uniqueID(), "0xf11400002a3b2574");

    usb.unplug(rx);
    ASSERT_TRUE(waitFor([&] { return heard.size() == 2; }));
    EXPECT_EQ(heard[1].name, CaptureDeviceNotification::Name::WasDisconnected);
    EXPECT_EQ(heard[1].object, camera) << "the departed device is the one the library holds";
    EXPECT_FALSE(camera->isConnected());
    EXPECT_EQ(camera->uniqueID(), "0xf11400002a3b2574") << "still readable after the unplug";
    EXPECT_TRUE(cameras().isEmpty());

    // The metadata and HID nodes came and went too, and announced nothing.
    usb.unplug(usb.plug(EmulatedDevice::speakerphone(QStringLiteral("VOXA760"), 0x0760, "2")));
    EXPECT_FALSE(waitFor([&] { return heard.size() > 2; }, std::chrono::milliseconds(300)));
    EXPECT_EQ(removedObserverCalls, 0);
}

TEST_F(CaptureServiceV4l2Test, GivesInputsForListedCamerasAndGStreamerSessionsAndOutputs)
{
    const EmulatedNodes rx = usb.plug(EmulatedDevice::camera(kRx710, 0x2574, "1.4"));
    ASSERT_EQ(cameras().size(), 1);
    const CaptureDevicePtr camera = cameras()[0];
    QString error;
    const CaptureDeviceInputPtr input = service().deviceInputWithDevice(camera, &error);
    ASSERT_NE(input, nullptr) << error.toStdString();
    EXPECT_EQ(input->device(), camera);
    EXPECT_EQ(service().deviceInputWithDevice(nullptr, &error), nullptr);
    EXPECT_FALSE(error.isEmpty());

    const auto session = std::dynamic_pointer_cast<CaptureSessionGst>(service().createSession());
    ASSERT_NE(session, nullptr);
    EXPECT_TRUE(session->canAddInput(input));
    session->addInput(input);
    EXPECT_FALSE(session->canAddInput(input)) << "one camera per session";
    EXPECT_NE(std::dynamic_pointer_cast<VideoDataOutputGst>(service().createVideoDataOutput()), nullptr);
    const AudioFileOutputPtr file = service().createAudioFileOutput();
    EXPECT_NE(std::dynamic_pointer_cast<AudioFileOutputGst>(file), nullptr);
    EXPECT_TRUE(session->canAddOutput(file));
    EXPECT_TRUE(service().devicesWithMediaType(MediaType::Audio).isEmpty()) << "no microphone list was given";

    // In production the session reads the camera's capture node with v4l2src.
    GstElement* source = CaptureSessionGst::captureNodeSource()(camera);
    ASSERT_NE(source, nullptr);
    gst_object_ref_sink(source);
    gchar* device = nullptr;
    g_object_get(source, "device", &device, nullptr);
    EXPECT_EQ(QString::fromUtf8(device), rx.video);
    EXPECT_EQ(QString::fromUtf8(GST_OBJECT_NAME(gst_element_get_factory(source))), "v4l2src");
    g_free(device);
    gst_object_unref(source);

    usb.unplug(rx);
    ASSERT_TRUE(waitFor([&] { return !camera->isConnected(); }));
    error.clear();
    EXPECT_EQ(service().deviceInputWithDevice(camera, &error), nullptr);
    EXPECT_TRUE(error.contains(QLatin1String("not connected"))) << error.toStdString();
}

class FrameCounter : public SampleBufferDelegate {
public:
    void captureOutput(VideoDataOutput&, const PixelBufferPtr&) override { ++frames; }
    int frames = 0;
};

// The streaming itself runs on a test source; the camera, its input and its unplug are real.
TEST_F(CaptureServiceV4l2Test, AStartIsAnnouncedOnTheRunLoopAndAnUnplugEndsTheSessionWithOneLine)
{
    const CategoryMessages log("uvccam.linux.video");
    CaptureServiceV4l2 streaming(watcher, runLoop,
                                 CaptureSessionGst::describedSource(QStringLiteral(
                                     "videotestsrc is-live=true ! "
                                     "capsfilter caps=video/x-raw,format=UYVY,width=640,height=360,framerate=30/1")));
    const EmulatedNodes rx = usb.plug(EmulatedDevice::camera(kRx710, 0x2574, "1.4"));
    ASSERT_TRUE(waitFor([&] { return streaming.devicesWithMediaType(MediaType::Video).size() == 1; }));
    const CaptureDevicePtr camera = streaming.devicesWithMediaType(MediaType::Video)[0];

    QStringList starts;
    streaming.addSessionStartObserver([&](const QString& description) { starts.append(description); });
    const CaptureSessionPtr session = streaming.createSession();
    session->addInput(streaming.deviceInputWithDevice(camera));
    const VideoDataOutputPtr output = streaming.createVideoDataOutput();
    output->setVideoSettings(VideoSettings{640, 360, kPixelFormat2vuy});
    auto counter = std::make_shared<FrameCounter>();
    output->setSampleBufferDelegate(counter);
    session->addOutput(output);

    session->startRunning();
    EXPECT_TRUE(starts.isEmpty()) << "told through the run loop, not from inside the call";
    ASSERT_TRUE(waitFor([&] { return starts.size() == 1 && counter->frames >= 2; }));
    EXPECT_TRUE(starts[0].startsWith(QLatin1String("CaptureSessionDidStartRunning"))) << starts[0].toStdString();

    usb.unplug(rx);
    ASSERT_TRUE(waitFor([&] { return !session->isRunning(); }));
    const int seen = counter->frames;
    EXPECT_FALSE(waitFor([&] { return counter->frames > seen || log.warnings().size() > 1; }, std::chrono::milliseconds(300)));
    const QStringList warnings = log.warnings();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].contains(kRx710)) << warnings[0].toStdString();
    EXPECT_EQ(starts.size(), 1);
}

// Without udev's description of a node (no udev daemon), the node itself is asked: the
// emulated uvcvideo answers VIDIOC_QUERYCAP on both.
TEST_F(CaptureServiceV4l2Test, WithoutUdevsCapabilitiesTheNodesOwnDeviceCapsDecide)
{
    const EmulatedNodes rx = usb.plug(EmulatedDevice::camera(kRx710, 0x2574, "1.4"));
    for (const QString& node : {rx.videoSyspath, rx.metadataSyspath})
        umockdev_testbed_set_property(usb.testbed(), node.toUtf8().constData(), "ID_V4L_CAPABILITIES", "");

    const QList<CaptureDevicePtr> listed = cameras();
    ASSERT_EQ(listed.size(), 1);
    EXPECT_EQ(std::static_pointer_cast<CaptureDeviceV4l2>(listed[0])->devnode(), rx.video);
}

}  // namespace
