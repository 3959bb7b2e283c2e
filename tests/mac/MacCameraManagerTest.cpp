// The shared camera list: built from the capture devices, kept current through hot-plug.
#include "mac/MacCameraManager.h"

#include "UVCCamSimulation.h"
#include "support/SimulatedWorld.h"

#include <QStringList>

namespace {

using uvccam::testing::SimulatedWorld;

QStringList g_events;

QStringList listedIDs()
{
    QStringList ids;
    for (const auto& camera : MacCameraManager::sharedInstance()->macCameraList())
        ids << camera->deviceUniqueID();
    return ids;
}

// Notes whether the camera is in the list by the time we hear of it.
void record(const char* what, char* uniqueId)
{
    const QString id = QString::fromUtf8(uniqueId);
    g_events << QStringLiteral("%1 %2 %3").arg(what, id, listedIDs().contains(id) ? "listed" : "unlisted");
}

class RecordingDelegate : public MacCameraManagerDelegate {
public:
    void cameraDidConnected(MacCamera* camera) override { g_events << "delegate connected " + camera->deviceUniqueID(); }
    void cameraDidRemoved(MacCamera* camera) override { g_events << "delegate removed " + camera->deviceUniqueID(); }
};

class CameraManager : public SimulatedWorld {
protected:
    CameraManager() { g_events.clear(); }

    // The shared manager with both callbacks and a delegate recording into g_events.
    MacCameraManager* listening()
    {
        MacCameraManager* manager = MacCameraManager::sharedInstance();
        manager->setDeviceConnected([](char* id) { record("connected", id); });
        manager->setDeviceDisconnected([](char* id) { record("disconnected", id); });
        manager->setDelegate(std::make_shared<RecordingDelegate>());
        return manager;
    }
};

// A departed device whose unique ID happens to hold the location keys (the seven hex digits
// after "0x") of the cameras at 0x10100000 and 0x10300000.
class DepartedDevice : public uvccam::platform::CaptureDevice {
public:
    QString uniqueID() const override { return QStringLiteral("0x1010000-1030000"); }
    QString localizedName() const override { return QStringLiteral("gone"); }
    QString modelID() const override { return QString(); }
    bool hasMediaType(uvccam::platform::MediaType) const override { return true; }
    bool isConnected() const override { return false; }
};

TEST_F(CameraManager, AppendsArrivalsAndRemovesEveryDepartedCameraInListOrderBeforeCallingBackThenTheDelegate)
{
    // The simulator puts them at 0x10100000, 0x10200000 and 0x10300000; the speakerphone,
    // no video device, is never listed.
    QStringList ids{uvccam::sim::attachCamera("RX710"), uvccam::sim::attachCamera("LUM610"),
                    uvccam::sim::attachCamera("RX240")};
    listening();
    uvccam::sim::attachSpeakerphone("VOXA30");
    ids << uvccam::sim::attachCamera("ST470");
    uvccam::sim::detach(ids[1]);
    EXPECT_EQ(listedIDs(), ids.mid(0, 3)) << "nothing changes before the run loop delivers";
    deliverPending();
    EXPECT_EQ(listedIDs(), (QStringList{ids[0], ids[2], ids[3]}));
    EXPECT_EQ(g_events, (QStringList{"connected " + ids[3] + " listed", "delegate connected " + ids[3],
                                     "disconnected " + ids[1] + " unlisted", "delegate removed " + ids[1]}));

    g_events.clear();
    using Notification = uvccam::platform::CaptureDeviceNotification;
    MacCameraManager::sharedInstance()->updateCameraStatus(
        Notification{Notification::Name::WasDisconnected, std::make_shared<DepartedDevice>()});
    EXPECT_EQ(listedIDs(), QStringList{ids[3]});
    EXPECT_EQ(g_events, (QStringList{"disconnected " + ids[0] + " unlisted", "delegate removed " + ids[0],
                                     "disconnected " + ids[2] + " unlisted", "delegate removed " + ids[2]}));
}

}  // namespace
