// The simulated capture service: enumeration, hot-plug notifications, device identity and sessions.
#include "platform/sim/CaptureServiceSim.h"

#include "UVCCamSimulation.h"
#include "support/SimulatedWorld.h"

#include <QRegularExpression>

#include <vector>

namespace {

using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;
namespace sim = uvccam::sim;

// An observer that records what it hears, in order, as "+<unique ID>" (connected) or
// "-<unique ID>" (disconnected), and the device objects it was given.
struct Heard {
    explicit Heard(CaptureService& service, bool removesItself = false)
    {
        id = service.addObserver([this, &service, removesItself](const CaptureDeviceNotification& n) {
            // Uses its captures after removing itself: safe only if the service calls a copy.
            if (removesItself)
                service.removeObserver(id);
            described << (n.name == CaptureDeviceNotification::Name::WasConnected ? "+" : "-") + n.object->uniqueID();
            objects.push_back(n.object);
        });
    }
    CaptureService::ObserverId id = 0;
    QStringList described;
    std::vector<CaptureDevicePtr> objects;
};

class SimulatedCaptureService : public SimulatedWorld {
protected:
    QStringList ids(MediaType type)
    {
        QStringList result;
        for (const auto& device : capture().devicesWithMediaType(type))
            result << device->uniqueID();
        return result;
    }
};

TEST_F(SimulatedCaptureService, EnumeratesAttachedDevicesAtOnceInOrderInTheOperatingSystemsForms)
{
    const QString rx = sim::attachCamera("RX710");
    const QString other = sim::attachOtherVendorCamera("Desk Webcam");
    const QString st = sim::attachCamera("ST470");
    const QString voxa = sim::attachSpeakerphone("VOXA760");
    EXPECT_TRUE(sim::attachCamera("RX999").isEmpty() && sim::attachSpeakerphone("VOXA999").isEmpty());
    EXPECT_EQ(sim::attachedDevices(), (QStringList{rx, other, st, voxa}));
    EXPECT_EQ(ids(MediaType::Video), (QStringList{rx, other, st}));
    QStringList described;
    // "0x", eight hex digits of location, then the vendor and product IDs in four each.
    for (const auto& device : capture().devicesWithMediaType(MediaType::Video))
        described << device->uniqueID().replace(QRegularExpression("^0x[0-9a-f]{8}"), "0x*") + " " + device->modelID()
                         + " " + device->localizedName();
    EXPECT_EQ(described, (QStringList{"0x*2a3b2574 UVC Camera VendorID_10811 ProductID_9588 RX710 Conference Camera",
                                      "0x*1d506100 UVC Camera VendorID_7504 ProductID_24832 Desk Webcam",
                                      "0x*2a3b470a UVC Camera VendorID_10811 ProductID_18186 Studio Caster LUM 470"}));
    // The same object for the same device, as long as it is attached.
    EXPECT_EQ(capture().devicesWithMediaType(MediaType::Video)[0], capture().devicesWithMediaType(MediaType::Video)[0]);
    // A speakerphone is listed as "%x" of its location (top digit never zero) and is an audio
    // device only: its microphone. Every microphone, after the computer's built-in one, is
    // named by product, location and serial number, as a real USB microphone is.
    EXPECT_TRUE(QRegularExpression("^[1-9a-f][0-9a-f]{7}$").match(voxa).hasMatch()) << voxa.toStdString();
    EXPECT_EQ(ids(MediaType::Audio),
              (QStringList{"BuiltInMicrophoneDevice", "RX710 Conference Camera:" + rx.mid(2, 8) + ":SIM000001",
                           "Desk Webcam:" + other.mid(2, 8) + ":SIM000002",
                           "Studio Caster LUM 470:" + st.mid(2, 8) + ":SIM000003", "VOXA760:" + voxa + ":SIM000004"}));
}

TEST_F(SimulatedCaptureService, NoDeviceHoldsTheLocationDigitsOfAnother)
{
    // The library drops every camera whose first seven location digits a departed device's
    // unique ID holds anywhere. So only a device's own IDs may hold its digits, with many
    // devices present and after enough plugging in and out for the locations to come round.
    QStringList standing{sim::attachSpeakerphone("VOXA760")};
    for (int i = 0; i < 31; ++i)
        standing << sim::attachCamera("RX710");
    const auto digits = [](const QString& id) { return id.startsWith("0x") ? id.mid(2, 7) : id.left(7); };
    for (int i = 0; i < 300; ++i) {
        const QString fresh = sim::attachCamera("LUM610");
        const QStringList present = ids(MediaType::Video) + ids(MediaType::Audio);
        for (const QString& device : standing + QStringList{fresh})
            ASSERT_EQ(present.filter(digits(device)).size(), device.startsWith("0x") ? 2 : 1) << i << " " << qPrintable(device);
        sim::detach(fresh);
    }
}

TEST_F(SimulatedCaptureService, AnnouncesChangesInOrderWhenTheRunLoopRunsToThoseObservingAtTheTime)
{
    Heard early(capture());
    Heard removed(capture());
    Heard once(capture(), true);
    const QString rx = sim::attachCamera("RX710");
    const QString mic = "RX710 Conference Camera:" + rx.mid(2, 8) + ":SIM000001";
    const auto camera = capture().devicesWithMediaType(MediaType::Video).value(0);
    Heard late(capture());
    const QString voxa = sim::attachSpeakerphone("VOXA30");
    const QString voxaMic = "VOXA30:" + voxa + ":SIM000002";
    sim::detach(rx);
    capture().removeObserver(removed.id);
    // Gone at once, announced later.
    EXPECT_TRUE(ids(MediaType::Video).isEmpty());
    EXPECT_FALSE(camera->isConnected());
    EXPECT_TRUE(early.described.isEmpty());
    deliverPending();
    // A camera's microphone comes and goes with it, right after its video.
    EXPECT_EQ(early.described, (QStringList{"+" + rx, "+" + mic, "+" + voxaMic, "-" + rx, "-" + mic}));
    // The departed device is the same object, and still tells who it was.
    EXPECT_TRUE(early.objects[0] == camera && early.objects[3] == camera);
    // Subscribed after the camera came, the late one finds it by enumerating instead.
    EXPECT_EQ(late.described, (QStringList{"+" + voxaMic, "-" + rx, "-" + mic}));
    // Removed before delivery, or by itself while it is called: nothing more is heard.
    EXPECT_TRUE(removed.described.isEmpty());
    EXPECT_EQ(once.described, QStringList{"+" + rx});
    // Unknown devices detach nothing, and nothing is heard twice.
    sim::detach("0x999000002a3b2574");
    sim::detach(QString());
    deliverPending();
    EXPECT_EQ(early.described.size(), 5);
    EXPECT_EQ(sim::attachedDevices(), QStringList{voxa});
}

// A frame receiver that does nothing; only its lifetime matters.
struct IdleDelegate : SampleBufferDelegate {
    void captureOutput(VideoDataOutput&, const PixelBufferPtr&) override {}
};

TEST_F(SimulatedCaptureService, SessionsTakeAnAttachedDeviceOnceAndEachOutputOnce)
{
    const QString rx = sim::attachCamera("RX710");
    const auto camera = capture().devicesWithMediaType(MediaType::Video).value(0);
    auto session = std::dynamic_pointer_cast<CaptureSessionSim>(capture().createSession());
    const auto fresh = std::dynamic_pointer_cast<CaptureSessionSim>(capture().createSession());
    const auto input = capture().deviceInputWithDevice(camera);
    const auto madeBefore = capture().deviceInputWithDevice(camera);
    const auto first = capture().createVideoDataOutput();
    const auto second = capture().createVideoDataOutput();
    for (const auto& each : {input, input, CaptureDeviceInputPtr()})
        session->addInput(each);
    for (const auto& output : {first, second, first, VideoDataOutputPtr()})
        session->addOutput(output);
    session->removeOutput(second);
    EXPECT_EQ(session->inputs(), std::vector<CaptureDeviceInputPtr>{input});
    EXPECT_EQ(session->outputs(), std::vector<VideoDataOutputPtr>{first});
    // A detached device gives no input, and one made before is refused.
    sim::detach(rx);
    EXPECT_EQ(capture().deviceInputWithDevice(camera), nullptr);
    fresh->addInput(madeBefore);
    EXPECT_TRUE(fresh->inputs().empty());
    // Only the sessions still in use are listed, and an output holds its delegate without keeping it alive.
    session.reset();
    EXPECT_EQ(capture().sessions(), std::vector<std::shared_ptr<CaptureSessionSim>>{fresh});
    auto delegate = std::make_shared<IdleDelegate>();
    first->setSampleBufferDelegate(delegate);
    EXPECT_EQ(first->sampleBufferDelegate(), delegate);
    delegate.reset();
    EXPECT_FALSE(first->sampleBufferDelegate());
}

}  // namespace
