// HID discovery and hot-plug through the public interface: the list, the selection and
// the signals follow the devices as they come and go.
#include "mac/MacHidDeviceManager.h"

#include "UVCCamSimulation.h"
#include "mac/MacUVCCam.h"
#include "support/SimulatedWorld.h"

namespace {

using uvccam::testing::SimulatedWorld;
using uvccam::platform::LogChannel;

QStringList g_calls;
void hidReady() { g_calls << "ready"; }
void hidRemoved(char* id) { g_calls << QStringLiteral("removed %1").arg(id); }

class HidDiscovery : public SimulatedWorld {
protected:
    HidDiscovery() { g_calls.clear(); }

    static QStringList listedNames()
    {
        QStringList names;
        for (const auto& device : MacHidDeviceManager::sharedInstance()->hidDevices())
            names << device->deviceName() + " " + device->deviceUniqueID();
        return names;
    }
};

TEST_F(HidDiscovery, ListsTheMakersDevicesAndSpeakerphonesByLocation)
{
    const QString rx710 = uvccam::sim::attachCamera("RX710");
    uvccam::sim::attachOtherVendorCamera();
    const QString voxa = uvccam::sim::attachSpeakerphone("VOXA30");
    MacHidDeviceManager* manager = MacHidDeviceManager::sharedInstance();
    manager->initHIDManager();

    // The camera's HID interface carries the camera's location key as its unique ID.
    EXPECT_EQ(listedNames(), (QStringList{"RX710 Conference Camera " + rx710.mid(2, 8), "VOXA30 " + voxa}));
    EXPECT_EQ(manager->count(), 2);
}

struct RemovalCase {
    const char* text;
    const char* reported;
};

class RemovalText : public HidDiscovery, public ::testing::WithParamInterface<RemovalCase> {};

TEST_P(RemovalText, IsReadAsDecimalAndReportedInHex)
{
    MacHidDeviceManager* manager = MacHidDeviceManager::sharedInstance();
    manager->initHIDManager();
    manager->setHidDeviceRemove(hidRemoved);
    const QString text = QString::fromLatin1(GetParam().text);
    const QString name = QStringLiteral("VOXA760");
    manager->printDeviceList(&text, &name);
    EXPECT_EQ(g_calls, QStringList{QStringLiteral("removed %1").arg(GetParam().reported)});
    EXPECT_EQ(logged(LogChannel::System), QStringList{"Removed UID = " + text});
}

INSTANTIATE_TEST_SUITE_P(Texts, RemovalText, ::testing::Values(
    RemovalCase{"255", "ff"}, RemovalCase{"-1", "ffffffff"}, RemovalCase{"no digits", "0"},
    RemovalCase{"269484032", "10100000"}, RemovalCase{"99999999999", "7fffffff"}));

TEST_F(HidDiscovery, ReconcilesOnlyWhenTheListAgreesWithTheSystem)
{
    uvccam::sim::attachSpeakerphone("VOXA760");
    MacHidDeviceManager* manager = MacHidDeviceManager::sharedInstance();
    manager->initHIDManager();
    manager->setHidDeviceReady(hidReady);
    manager->setHidDeviceRemove(hidRemoved);
    const QString id = QStringLiteral("1");
    const QString camera = QStringLiteral("RX710");
    const QString speakerphone = QStringLiteral("VOXA30");

    manager->printDeviceList(nullptr, nullptr);
    manager->printDeviceList(&id, &camera);
    manager->printDeviceList(&id, &speakerphone);
    EXPECT_EQ(g_calls, (QStringList{"ready", "removed 1", "ready", "removed 1"}));

    // A list that disagrees with the system's count calls nothing.
    g_calls.clear();
    manager->setMacHidDeviceList(MacHidDeviceManager::HidDeviceList{});
    manager->printDeviceList(nullptr, nullptr);
    manager->printDeviceList(&id, &camera);
    EXPECT_TRUE(g_calls.isEmpty());
}

TEST_F(HidDiscovery, FollowsArrivalsAndRemovalsOnTheRunLoop)
{
    MacHidDeviceManager* manager = MacHidDeviceManager::sharedInstance();
    manager->initHIDManager();
    manager->setHidDeviceReady(hidReady);
    manager->setHidDeviceRemove(hidRemoved);

    const QString voxa = uvccam::sim::attachSpeakerphone("VOXA760");
    EXPECT_TRUE(listedNames().isEmpty()) << "nothing before the run loop delivers";
    deliverPending();
    const QString camera = uvccam::sim::attachCamera("ST470");
    uvccam::sim::attachOtherVendorCamera();
    deliverPending();
    EXPECT_EQ(listedNames().size(), 2);
    uvccam::sim::detach(voxa);
    deliverPending();
    uvccam::sim::detach(camera);
    deliverPending();
    EXPECT_TRUE(listedNames().isEmpty());
    // A speakerphone's removal only reports it; a camera's also asks for a new pairing.
    EXPECT_EQ(g_calls, (QStringList{"ready", "ready", "removed " + voxa, "removed " + camera.mid(2, 8), "ready"}));

    // Changes that overlap leave the list and the system's count apart for a moment:
    // the first is not reported, the second is.
    g_calls.clear();
    uvccam::sim::attachSpeakerphone("VOXA30");
    uvccam::sim::attachSpeakerphone("VOXA760");
    deliverPending();
    EXPECT_EQ(g_calls, QStringList{"ready"});
}

// The host's view: signals in order and a selection that follows the devices.
class HotPlugThroughTheInterface : public HidDiscovery {
protected:
    void watch(MacUVCCam* camera)
    {
        QObject::connect(camera, &MacUVCCam::deviceAdd, [] { g_calls << "deviceAdd"; });
        QObject::connect(camera, &MacUVCCam::deviceRemove, [] { g_calls << "deviceRemove"; });
        QObject::connect(camera, &MacUVCCam::deviceChange, [] { g_calls << "deviceChange"; });
    }
    static QStringList models(UVCCam& camera)
    {
        QStringList list;
        for (const DeviceInfo& info : camera.getDeviceList())
            list << info.modelName;
        return list;
    }
};

TEST_F(HotPlugThroughTheInterface, ASelectedCameraIsPairedWithItsOwnHidInterface)
{
    uvccam::sim::attachCamera("RX710");
    const QString st470 = uvccam::sim::attachCamera("ST470");
    uvccam::sim::attachSpeakerphone("VOXA760");
    std::unique_ptr<UVCCam> camera(acquireUVCCam());
    EXPECT_EQ(models(*camera), (QStringList{"RX710", "ST470", "VOXA760"}));
    EXPECT_EQ(camera->setDevice(st470), 1);
    ASSERT_TRUE(macUVCCamOC->currentHidDevice);
    EXPECT_EQ(macUVCCamOC->currentHidDevice->deviceName(), QStringLiteral("Studio Caster LUM 470"));
    EXPECT_EQ(macUVCCamOC->currentHidDevice->deviceUniqueID(), st470.mid(2, 8));
}

TEST_F(HotPlugThroughTheInterface, SpeakerphonesFollowEachOtherAndCamerasTakeOver)
{
    const QString first = uvccam::sim::attachSpeakerphone("VOXA760");
    const QString second = uvccam::sim::attachSpeakerphone("VOXA30");
    std::unique_ptr<MacUVCCam> camera(static_cast<MacUVCCam*>(acquireUVCCam()));
    watch(camera.get());
    EXPECT_EQ(camera->getDeviceInfo().deviceUniqueId, QString()) << "start-up looks at cameras only";

    ASSERT_EQ(camera->setDevice(first), 1);
    EXPECT_EQ(camera->getDeviceInfo().modelName, QStringLiteral("VOXA760"));

    // Unplugging the selected speakerphone selects the other one.
    uvccam::sim::detach(first);
    deliverPending();
    EXPECT_EQ(g_calls, (QStringList{"deviceRemove", "deviceChange"}));
    EXPECT_EQ(camera->getDeviceInfo().deviceUniqueId, second);
    EXPECT_EQ(camera->getDeviceInfo().deviceId, 0x0030);
    EXPECT_TRUE(camera->findDevice());

    // A camera that arrives now is only listed: a selection stands.
    g_calls.clear();
    const QString rx710 = uvccam::sim::attachCamera("RX710");
    deliverPending();
    EXPECT_EQ(g_calls, (QStringList{"deviceAdd", "deviceChange", "deviceAdd", "deviceChange"}))
        << "once as a camera, once as its HID interface";
    EXPECT_EQ(camera->getDeviceInfo().deviceUniqueId, second);
    EXPECT_EQ(models(*camera), (QStringList{"RX710", "VOXA760"}));

    // When the speakerphone goes, nothing is selected until the host chooses.
    g_calls.clear();
    uvccam::sim::detach(second);
    deliverPending();
    EXPECT_EQ(g_calls, (QStringList{"deviceRemove", "deviceChange"}));
    EXPECT_FALSE(macUVCCamOC->currentHidDevice);
    EXPECT_EQ(camera->setDevice(rx710), 1);
    EXPECT_EQ(camera->getDeviceInfo().modelName, QStringLiteral("RX710"));
}

TEST_F(HotPlugThroughTheInterface, UnpluggingACameraReportsItsVideoAndItsHidInterface)
{
    const QString rx710 = uvccam::sim::attachCamera("RX710");
    const QString st470 = uvccam::sim::attachCamera("ST470");
    std::unique_ptr<MacUVCCam> camera(static_cast<MacUVCCam*>(acquireUVCCam()));
    watch(camera.get());
    ASSERT_EQ(camera->getDeviceInfo().deviceUniqueId, rx710);

    // Another camera: its video leaving is only a change; its HID interface leaving is a
    // removal, and the HID side then asks for a new pairing.
    uvccam::sim::detach(st470);
    deliverPending();
    EXPECT_EQ(g_calls, (QStringList{"deviceChange", "deviceRemove", "deviceChange", "deviceAdd", "deviceChange"}));
    EXPECT_EQ(camera->getDeviceInfo().deviceUniqueId, rx710);
    EXPECT_EQ(macUVCCamOC->currentHidDevice->deviceUniqueID(), rx710.mid(2, 8));

    // The selected camera: the host hears of the removal before the change.
    g_calls.clear();
    ASSERT_EQ(camera->startVideoStream(0), 0);
    uvccam::sim::detach(rx710);
    deliverPending();
    EXPECT_EQ(g_calls, (QStringList{"deviceRemove", "deviceChange", "deviceRemove", "deviceChange", "deviceAdd",
                                    "deviceChange"}));
    EXPECT_FALSE(macUVCCamOC->isStreaming);
    EXPECT_FALSE(macUVCCamOC->currentCamera);
    EXPECT_FALSE(macUVCCamOC->currentHidDevice);
    EXPECT_TRUE(camera->getDeviceList().isEmpty());
}

}  // namespace
