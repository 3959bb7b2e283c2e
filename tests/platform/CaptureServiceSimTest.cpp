// The simulated capture service: enumeration, hot-plug notifications, device identity and sessions.
#include "platform/sim/CaptureServiceSim.h"

#include "UVCCamSimulation.h"
#include "support/SimulatedWorld.h"

#include <QRegularExpression>
#include <QSet>

#include <ostream>
#include <vector>

namespace {

using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;
namespace sim = uvccam::sim;

using Name = CaptureDeviceNotification::Name;

QStringList uniqueIDs(const QList<CaptureDevicePtr>& devices)
{
    QStringList ids;
    for (const auto& device : devices)
        ids << device->uniqueID();
    return ids;
}

// What one observer heard, in order.
class Heard {
public:
    CaptureService::Observer observer()
    {
        return [this](const CaptureDeviceNotification& notification) { notifications.push_back(notification); };
    }
    std::vector<CaptureDeviceNotification> notifications;
};

// ---------------------------------------------------------------------------------------
// Enumeration and hot-plug

class SimulatedCaptureService : public SimulatedWorld {
protected:
    CaptureDevicePtr videoDevice(const QString& uniqueID)
    {
        for (const auto& device : capture().devicesWithMediaType(MediaType::Video)) {
            if (device->uniqueID() == uniqueID)
                return device;
        }
        return nullptr;
    }
};

TEST_F(SimulatedCaptureService, EnumeratesAnAttachedCameraAtOnce)
{
    const QString rx = sim::attachCamera("RX710");

    const auto devices = capture().devicesWithMediaType(MediaType::Video);

    ASSERT_EQ(devices.size(), 1);
    const auto& camera = devices[0];
    EXPECT_EQ(camera->uniqueID(), rx);
    EXPECT_EQ(camera->localizedName(), "RX710 Conference Camera");
    EXPECT_TRUE(camera->isConnected());
    EXPECT_TRUE(camera->hasMediaType(MediaType::Video));
    EXPECT_TRUE(camera->hasMediaType(MediaType::Audio));
    // The same object for the same device, as long as it is attached.
    EXPECT_EQ(capture().devicesWithMediaType(MediaType::Video)[0], camera);
    EXPECT_EQ(clock().pendingCount(), 0u);
}

TEST_F(SimulatedCaptureService, ListsASpeakerphoneAsAnAudioDeviceOnly)
{
    const QString rx = sim::attachCamera("RX710");
    sim::attachSpeakerphone("VOXA760");

    EXPECT_EQ(uniqueIDs(capture().devicesWithMediaType(MediaType::Video)), QStringList{rx});
    const auto audio = capture().devicesWithMediaType(MediaType::Audio);
    ASSERT_EQ(audio.size(), 2);
    EXPECT_EQ(audio[0]->uniqueID(), rx);
    const auto& speakerphone = audio[1];
    EXPECT_EQ(speakerphone->localizedName(), "VOXA760");
    EXPECT_FALSE(speakerphone->hasMediaType(MediaType::Video));
    EXPECT_TRUE(speakerphone->hasMediaType(MediaType::Audio));
}

TEST_F(SimulatedCaptureService, EnumeratesDevicesInOrderOfAttachment)
{
    const QString a = sim::attachCamera("ST470");
    const QString b = sim::attachOtherVendorCamera();
    const QString c = sim::attachCamera("LUM610");

    EXPECT_EQ(uniqueIDs(capture().devicesWithMediaType(MediaType::Video)), (QStringList{a, b, c}));
    EXPECT_EQ(sim::attachedDevices(), (QStringList{a, b, c}));
}

TEST_F(SimulatedCaptureService, AnnouncesAnArrivalToObserversOnlyWhenTheRunLoopRuns)
{
    Heard early;
    capture().addObserver(early.observer());
    const QString rx = sim::attachCamera("RX710");
    Heard late;
    capture().addObserver(late.observer());

    EXPECT_TRUE(early.notifications.empty());
    deliverPending();

    ASSERT_EQ(early.notifications.size(), 1u);
    EXPECT_EQ(early.notifications[0].name, Name::WasConnected);
    EXPECT_EQ(early.notifications[0].object, videoDevice(rx));
    // Registered after the change: it finds the device by enumerating instead.
    EXPECT_TRUE(late.notifications.empty());

    deliverPending();
    EXPECT_EQ(early.notifications.size(), 1u);
}

TEST_F(SimulatedCaptureService, AnnouncesEachChangeInTheOrderItHappened)
{
    Heard heard;
    capture().addObserver(heard.observer());
    const QString a = sim::attachCamera("RX710");
    const QString b = sim::attachSpeakerphone("VOXA30");
    sim::detach(a);

    deliverPending();

    ASSERT_EQ(heard.notifications.size(), 3u);
    EXPECT_EQ(heard.notifications[0].name, Name::WasConnected);
    EXPECT_EQ(heard.notifications[0].object->uniqueID(), a);
    // A speakerphone is announced too, as its microphone.
    EXPECT_EQ(heard.notifications[1].name, Name::WasConnected);
    EXPECT_FALSE(heard.notifications[1].object->hasMediaType(MediaType::Video));
    EXPECT_EQ(heard.notifications[2].name, Name::WasDisconnected);
    EXPECT_EQ(heard.notifications[2].object, heard.notifications[0].object);
}

TEST_F(SimulatedCaptureService, ADetachedDeviceIsGoneAtOnceAndAnnouncedLater)
{
    const QString rx = sim::attachCamera("RX710");
    const QString lum = sim::attachCamera("LUM610");
    const auto device = videoDevice(rx);
    ASSERT_TRUE(device);
    Heard heard;
    capture().addObserver(heard.observer());

    sim::detach(rx);

    EXPECT_EQ(uniqueIDs(capture().devicesWithMediaType(MediaType::Video)), QStringList{lum});
    EXPECT_EQ(uniqueIDs(capture().devicesWithMediaType(MediaType::Audio)), QStringList{lum});
    EXPECT_FALSE(device->isConnected());
    EXPECT_EQ(sim::attachedDevices(), QStringList{lum});
    EXPECT_TRUE(heard.notifications.empty());

    deliverPending();

    ASSERT_EQ(heard.notifications.size(), 1u);
    EXPECT_EQ(heard.notifications[0].name, Name::WasDisconnected);
    EXPECT_EQ(heard.notifications[0].object, device);
    // The departed device still tells who it was.
    EXPECT_EQ(heard.notifications[0].object->uniqueID(), rx);
}

TEST_F(SimulatedCaptureService, DetachingAnUnknownDeviceChangesNothing)
{
    const QString rx = sim::attachCamera("RX710");
    Heard heard;
    capture().addObserver(heard.observer());

    sim::detach("0x999000002a3b2574");
    sim::detach(QString());
    deliverPending();

    EXPECT_EQ(uniqueIDs(capture().devicesWithMediaType(MediaType::Video)), QStringList{rx});
    EXPECT_TRUE(heard.notifications.empty());
}

TEST_F(SimulatedCaptureService, AnObserverRemovedBeforeDeliveryHearsNothing)
{
    Heard removed;
    Heard kept;
    const auto removedId = capture().addObserver(removed.observer());
    capture().addObserver(kept.observer());
    sim::attachCamera("RX710");

    capture().removeObserver(removedId);
    deliverPending();

    EXPECT_TRUE(removed.notifications.empty());
    EXPECT_EQ(kept.notifications.size(), 1u);
}

TEST_F(SimulatedCaptureService, AnObserverMayRemoveItselfWhileItIsCalled)
{
    Heard heard;
    CaptureService::ObserverId id = 0;
    id = capture().addObserver([&](const CaptureDeviceNotification& notification) {
        heard.notifications.push_back(notification);
        capture().removeObserver(id);
    });
    sim::attachCamera("RX710");
    sim::attachCamera("LUM610");

    deliverPending();

    EXPECT_EQ(heard.notifications.size(), 1u);
}

// ---------------------------------------------------------------------------------------
// Identity texts

class SimulatedDeviceIdentity : public SimulatedWorld {};

struct CameraIdentityCase {
    const char* model;
    const char* productHex;
    const char* modelID;
};

void PrintTo(const CameraIdentityCase& c, std::ostream* os) { *os << c.model; }

class SimulatedCameraIdentity : public SimulatedDeviceIdentity, public ::testing::WithParamInterface<CameraIdentityCase> {};

TEST_P(SimulatedCameraIdentity, FollowsTheOperatingSystemsForms)
{
    const QString id = sim::attachCamera(GetParam().model);

    // "0x", eight hex digits of location, then the vendor and product IDs in four each.
    const QRegularExpression form(QStringLiteral("^0x[0-9a-f]{8}2a3b%1$").arg(QLatin1String(GetParam().productHex)));
    EXPECT_TRUE(form.match(id).hasMatch()) << id.toStdString();
    const auto devices = capture().devicesWithMediaType(MediaType::Video);
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices[0]->uniqueID(), id);
    EXPECT_EQ(devices[0]->modelID(), QLatin1String(GetParam().modelID));
}

INSTANTIATE_TEST_SUITE_P(Models, SimulatedCameraIdentity,
    ::testing::Values(CameraIdentityCase{"RX710", "2574", "UVC Camera VendorID_10811 ProductID_9588"},
                      CameraIdentityCase{"RX710+", "2575", "UVC Camera VendorID_10811 ProductID_9589"},
                      CameraIdentityCase{"ST470", "470a", "UVC Camera VendorID_10811 ProductID_18186"}));

TEST_F(SimulatedDeviceIdentity, AnotherVendorsCameraCarriesItsOwnIDs)
{
    const QString id = sim::attachOtherVendorCamera("Desk Webcam");

    const auto devices = capture().devicesWithMediaType(MediaType::Video);
    ASSERT_EQ(devices.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^0x[0-9a-f]{8}1d506100$")).match(id).hasMatch()) << id.toStdString();
    EXPECT_EQ(devices[0]->modelID(), "UVC Camera VendorID_7504 ProductID_24832");
    EXPECT_EQ(devices[0]->localizedName(), "Desk Webcam");
}

TEST_F(SimulatedDeviceIdentity, AMakerCameraNamedFreelyKeepsItsName)
{
    const QString id = sim::attachCameraNamed("Mystery Cam");

    const auto devices = capture().devicesWithMediaType(MediaType::Video);
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices[0]->localizedName(), "Mystery Cam");
    EXPECT_TRUE(id.contains(QLatin1String("2a3b")));
}

TEST_F(SimulatedDeviceIdentity, EachDeviceHasItsOwnLocation)
{
    // Three cameras and a speakerphone, some gone again, then more: no two present at the
    // same time share the first seven hex digits of their location.
    const QStringList first{sim::attachCamera("RX710"), sim::attachCamera("RX710"), sim::attachOtherVendorCamera()};
    const QString voxa = sim::attachSpeakerphone("VOXA760");
    sim::detach(first[1]);
    sim::attachCamera("LUM250");
    sim::attachCamera("RX240");

    QSet<QString> keys;
    for (const auto& device : capture().devicesWithMediaType(MediaType::Video))
        keys.insert(device->uniqueID().mid(2, 7));
    keys.insert(voxa.left(7));
    EXPECT_EQ(keys.size(), 5);
}

TEST_F(SimulatedDeviceIdentity, ALocationStillInUseIsNotHandedOutAgain)
{
    const QString kept = sim::attachCamera("RX710");
    // Enough plugging in and out for the simulator's locations to come round again.
    int clashes = 0;
    for (int i = 0; i < 300; ++i) {
        const QString fresh = sim::attachCamera("LUM610");
        clashes += fresh.mid(2, 7) == kept.mid(2, 7) ? 1 : 0;
        sim::detach(fresh);
    }

    EXPECT_EQ(clashes, 0);
    EXPECT_EQ(sim::attachedDevices(), QStringList{kept});
}

TEST_F(SimulatedDeviceIdentity, ASpeakerphoneIsListedUnderItsHexLocation)
{
    const QString voxa = sim::attachSpeakerphone("VOXA760");
    const QString rx = sim::attachCamera("RX710");

    // "%x" of its location, which the simulator always gives a non-zero top digit.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{8}$")).match(voxa).hasMatch()) << voxa.toStdString();
    const auto audio = capture().devicesWithMediaType(MediaType::Audio);
    ASSERT_EQ(audio.size(), 2);
    // Its microphone is named after the product and the same location.
    EXPECT_EQ(audio[0]->uniqueID(), "VOXA760:" + voxa);
    EXPECT_EQ(sim::attachedDevices(), (QStringList{voxa, rx}));
}

TEST_F(SimulatedDeviceIdentity, UnknownModelsAttachNothing)
{
    EXPECT_TRUE(sim::attachCamera("RX999").isEmpty());
    EXPECT_TRUE(sim::attachSpeakerphone("VOXA999").isEmpty());
    EXPECT_TRUE(capture().devicesWithMediaType(MediaType::Audio).isEmpty());
    EXPECT_TRUE(sim::attachedDevices().isEmpty());
}

// ---------------------------------------------------------------------------------------
// Sessions

class SimulatedCaptureSession : public SimulatedWorld {
protected:
    CaptureDevicePtr attachedCamera()
    {
        sim::attachCamera("RX710");
        return capture().devicesWithMediaType(MediaType::Video).value(0);
    }
};

TEST_F(SimulatedCaptureSession, TakesAnAttachedDeviceOnce)
{
    const auto camera = attachedCamera();
    const auto session = capture().createSession();
    const auto input = capture().deviceInputWithDevice(camera);
    ASSERT_TRUE(input);
    EXPECT_EQ(input->device(), camera);

    EXPECT_TRUE(session->canAddInput(input));
    session->addInput(input);
    EXPECT_FALSE(session->canAddInput(input));
    session->addInput(input);

    const auto sessions = capture().sessions();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0], session);
    EXPECT_EQ(sessions[0]->inputs(), std::vector<CaptureDeviceInputPtr>{input});
    EXPECT_FALSE(session->canAddInput(nullptr));
}

TEST_F(SimulatedCaptureSession, RefusesADetachedDevice)
{
    const auto camera = attachedCamera();
    const auto session = capture().createSession();
    const auto madeBefore = capture().deviceInputWithDevice(camera);
    ASSERT_TRUE(madeBefore);

    sim::detach(camera->uniqueID());

    EXPECT_EQ(capture().deviceInputWithDevice(camera), nullptr);
    EXPECT_FALSE(session->canAddInput(madeBefore));
    session->addInput(madeBefore);
    EXPECT_TRUE(capture().sessions()[0]->inputs().empty());
    EXPECT_EQ(capture().deviceInputWithDevice(nullptr), nullptr);
}

TEST_F(SimulatedCaptureSession, KeepsEachOutputOnceAndRunsWhenTold)
{
    const auto session = capture().createSession();
    const auto first = capture().createVideoDataOutput();
    const auto second = capture().createVideoDataOutput();
    ASSERT_NE(first, second);

    session->addOutput(first);
    session->addOutput(second);
    session->addOutput(first);
    session->addOutput(nullptr);
    EXPECT_EQ(capture().sessions()[0]->outputs(), (std::vector<VideoDataOutputPtr>{first, second}));

    session->removeOutput(first);
    EXPECT_EQ(capture().sessions()[0]->outputs(), std::vector<VideoDataOutputPtr>{second});

    EXPECT_FALSE(session->isRunning());
    session->startRunning();
    EXPECT_TRUE(session->isRunning());
    session->stopRunning();
    EXPECT_FALSE(session->isRunning());
}

TEST_F(SimulatedCaptureSession, ListsOnlySessionsStillInUse)
{
    auto first = capture().createSession();
    const auto second = capture().createSession();
    first.reset();

    const auto sessions = capture().sessions();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0], second);
}

// A frame receiver that counts nothing; only its lifetime matters.
class IdleDelegate : public SampleBufferDelegate {
public:
    void captureOutput(VideoDataOutput&, const PixelBufferPtr&) override {}
};

TEST_F(SimulatedCaptureSession, AnOutputHoldsItsDelegateWithoutKeepingItAlive)
{
    const auto output = capture().createVideoDataOutput();
    EXPECT_FALSE(output->alwaysDiscardsLateVideoFrames());
    output->setVideoSettings(VideoSettings{640, 360, kPixelFormat2vuy});
    output->setAlwaysDiscardsLateVideoFrames(true);
    EXPECT_EQ(output->videoSettings(), (VideoSettings{640, 360, kPixelFormat2vuy}));
    EXPECT_TRUE(output->alwaysDiscardsLateVideoFrames());

    auto delegate = std::make_shared<IdleDelegate>();
    output->setSampleBufferDelegate(delegate);
    EXPECT_EQ(output->sampleBufferDelegate(), delegate);
    delegate.reset();
    EXPECT_FALSE(output->sampleBufferDelegate());
}

}  // namespace
