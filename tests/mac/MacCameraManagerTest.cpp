// The shared camera list: built from the capture devices, kept current through hot-plug.
#include "mac/MacCameraManager.h"

#include "UVCCamSimulation.h"
#include "support/SimulatedWorld.h"

#include <QStringList>

namespace {

using uvccam::testing::SimulatedWorld;

QStringList g_events;

void recordConnected(char* uniqueId)
{
    // The camera is in the list by the time we hear of it.
    const bool listed = [&] {
        for (const auto& camera : MacCameraManager::sharedInstance()->macCameraList()) {
            if (camera->deviceUniqueID() == QString::fromUtf8(uniqueId))
                return true;
        }
        return false;
    }();
    g_events << QStringLiteral("connected %1 %2").arg(QString::fromUtf8(uniqueId), listed ? "listed" : "unlisted");
}

void recordDisconnected(char* uniqueId)
{
    const bool listed = [&] {
        for (const auto& camera : MacCameraManager::sharedInstance()->macCameraList()) {
            if (camera->deviceUniqueID() == QString::fromUtf8(uniqueId))
                return true;
        }
        return false;
    }();
    g_events << QStringLiteral("disconnected %1 %2").arg(QString::fromUtf8(uniqueId), listed ? "listed" : "unlisted");
}

class RecordingDelegate : public MacCameraManagerDelegate {
public:
    void cameraDidConnected(MacCamera* camera) override { g_events << "delegate connected " + camera->deviceUniqueID(); }
    void cameraDidRemoved(MacCamera* camera) override { g_events << "delegate removed " + camera->deviceUniqueID(); }
};

class CameraManager : public SimulatedWorld {
protected:
    CameraManager() { g_events.clear(); }

    QStringList listedIDs() const
    {
        QStringList ids;
        for (const auto& camera : MacCameraManager::sharedInstance()->macCameraList())
            ids << camera->deviceUniqueID();
        return ids;
    }
};

TEST_F(CameraManager, IsMadeOnceWithTheVideoDevicesPresent)
{
    const QString rx710 = uvccam::sim::attachCamera("RX710");
    uvccam::sim::attachSpeakerphone("VOXA760");
    const QString other = uvccam::sim::attachOtherVendorCamera();

    MacCameraManager* manager = MacCameraManager::sharedInstance();
    EXPECT_EQ(manager, MacCameraManager::sharedInstance());
    EXPECT_EQ(listedIDs(), (QStringList{rx710, other}));
}

TEST_F(CameraManager, AppendsAnArrivalThenCallsBackThenTellsTheDelegate)
{
    const QString first = uvccam::sim::attachCamera("RX710");
    MacCameraManager* manager = MacCameraManager::sharedInstance();
    manager->setDeviceConnected(recordConnected);
    manager->setDelegate(std::make_shared<RecordingDelegate>());

    const QString second = uvccam::sim::attachCamera("ST470");
    EXPECT_EQ(listedIDs(), QStringList{first}) << "nothing changes before the run loop delivers";
    deliverPending();

    EXPECT_EQ(listedIDs(), (QStringList{first, second}));
    EXPECT_EQ(g_events, (QStringList{"connected " + second + " listed", "delegate connected " + second}));
}

TEST_F(CameraManager, IgnoresAnAudioOnlyArrival)
{
    MacCameraManager* manager = MacCameraManager::sharedInstance();
    manager->setDeviceConnected(recordConnected);
    uvccam::sim::attachSpeakerphone("VOXA30");
    deliverPending();
    EXPECT_TRUE(listedIDs().isEmpty());
    EXPECT_TRUE(g_events.isEmpty());
}

TEST_F(CameraManager, RemovesADepartedCameraBeforeCallingBack)
{
    const QString first = uvccam::sim::attachCamera("RX710");
    const QString second = uvccam::sim::attachCamera("LUM610");
    MacCameraManager* manager = MacCameraManager::sharedInstance();
    manager->setDeviceDisconnected(recordDisconnected);
    manager->setDelegate(std::make_shared<RecordingDelegate>());

    uvccam::sim::detach(first);
    deliverPending();

    EXPECT_EQ(listedIDs(), QStringList{second});
    EXPECT_EQ(g_events, (QStringList{"disconnected " + first + " unlisted", "delegate removed " + first}));
}

// A departed device whose unique ID happens to hold several cameras' location keys.
class DepartedDevice : public uvccam::platform::CaptureDevice {
public:
    explicit DepartedDevice(QString uniqueID) : uniqueID_(std::move(uniqueID)) {}
    QString uniqueID() const override { return uniqueID_; }
    QString localizedName() const override { return QStringLiteral("gone"); }
    QString modelID() const override { return QString(); }
    bool hasMediaType(uvccam::platform::MediaType) const override { return true; }
    bool isConnected() const override { return false; }

private:
    QString uniqueID_;
};

std::shared_ptr<uvccam::platform::SimulatedDevice> attachAt(uvccam::platform::Simulator& simulator, std::uint32_t location)
{
    uvccam::platform::DeviceProfile profile;
    profile.productName = "RX710";
    profile.vendorId = 0x2A3B;
    profile.productId = 0x2574;
    profile.locationId = location;
    return simulator.attach(profile);
}

TEST_F(CameraManager, RemovesEveryCameraWhoseLocationKeyTheDepartedIDContains)
{
    auto a = attachAt(simulator(), 0x14100000);
    auto c = attachAt(simulator(), 0x25000000);
    auto d = attachAt(simulator(), 0x36000000);
    MacCameraManager* manager = MacCameraManager::sharedInstance();
    manager->setDeviceDisconnected(recordDisconnected);

    using Notification = uvccam::platform::CaptureDeviceNotification;
    manager->updateCameraStatus(
        Notification{Notification::Name::WasDisconnected, std::make_shared<DepartedDevice>("0x1410000-2500000")});

    EXPECT_EQ(listedIDs(), QStringList{d->captureUniqueID()});
    EXPECT_EQ(g_events, (QStringList{"disconnected " + a->captureUniqueID() + " unlisted",
                                     "disconnected " + c->captureUniqueID() + " unlisted"}));
}

TEST_F(CameraManager, SkipsCallbacksThatAreNotSet)
{
    MacCameraManager::sharedInstance();
    const QString id = uvccam::sim::attachCamera("RX240");
    deliverPending();
    uvccam::sim::detach(id);
    deliverPending();
    EXPECT_TRUE(listedIDs().isEmpty());
}

}  // namespace
