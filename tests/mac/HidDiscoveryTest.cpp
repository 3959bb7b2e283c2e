// HID discovery and hot-plug through the public interface: the list, the selection and
// the signals follow the devices as they come and go.
#include "mac/MacHidDeviceManager.h"

#include "UVCCamSimulation.h"
#include "mac/MacUVCCam.h"
#include "support/SimulatedWorld.h"

namespace {

using uvccam::testing::SimulatedWorld;
using uvccam::platform::LogChannel;
namespace sim = uvccam::sim;

QStringList g_calls;

class HidDiscovery : public SimulatedWorld {
protected:
    HidDiscovery() { g_calls.clear(); }

    MacHidDeviceManager* start()
    {
        MacHidDeviceManager* manager = MacHidDeviceManager::sharedInstance();
        manager->initHIDManager();
        manager->setHidDeviceReady([] { g_calls << "ready"; });
        manager->setHidDeviceRemove([](char* id) { g_calls << QStringLiteral("removed %1").arg(id); });
        return manager;
    }
    static QStringList listedNames()
    {
        QStringList names;
        for (const auto& device : MacHidDeviceManager::sharedInstance()->hidDevices())
            names << device->deviceName() + " " + device->deviceUniqueID();
        return names;
    }
};

TEST_F(HidDiscovery, ListsTheMakersDevicesAndSpeakerphonesByLocationAndFollowsThemOnTheRunLoop)
{
    // The maker's devices, and others' only when named like its speakerphones.
    const QString rx710 = sim::attachCamera("RX710");
    sim::attachOtherVendorCamera();
    const QString dock = sim::attachOtherVendorCamera("VOXA Dock");
    const QString voxa30 = sim::attachSpeakerphone("VOXA30");
    MacHidDeviceManager* manager = start();
    // The camera's HID interface carries the camera's location key as its unique ID.
    EXPECT_EQ(listedNames(), (QStringList{"RX710 Conference Camera " + rx710.mid(2, 8), "VOXA Dock " + dock.mid(2, 8),
                                          "VOXA30 " + voxa30}));
    EXPECT_EQ(manager->count(), 3);

    const QString voxa = sim::attachSpeakerphone("VOXA760");
    EXPECT_EQ(listedNames().size(), 3) << "nothing before the run loop delivers";
    deliverPending();
    const QString camera = sim::attachCamera("ST470");
    sim::attachOtherVendorCamera();
    deliverPending();
    EXPECT_EQ(listedNames().size(), 5);
    sim::detach(voxa);
    deliverPending();
    sim::detach(camera);
    deliverPending();
    EXPECT_EQ(listedNames().size(), 3);
    // A speakerphone's removal only reports it; a camera's also asks for a new pairing.
    EXPECT_EQ(g_calls, (QStringList{"ready", "ready", "removed " + voxa, "removed " + camera.mid(2, 8), "ready"}));

    // Changes that overlap leave the list and the system's count apart for a moment:
    // the first is not reported, the second is.
    g_calls.clear();
    sim::attachSpeakerphone("VOXA30");
    sim::attachSpeakerphone("VOXA760");
    deliverPending();
    EXPECT_EQ(g_calls, QStringList{"ready"});
}

TEST_F(HidDiscovery, ReconcilesOnlyWhenTheListAgreesWithTheSystemAndReportsRemovalsInHex)
{
    sim::attachSpeakerphone("VOXA760");
    MacHidDeviceManager* manager = start();
    const QString camera = QStringLiteral("RX710");
    const QString speakerphone = QStringLiteral("VOXA30");
    // The removed ID is read as decimal and reported in hex.
    const std::pair<QString, const char*> removals[] = {
        {"255", "ff"}, {"-1", "ffffffff"}, {"no digits", "0"}, {"269484032", "10100000"}, {"99999999999", "7fffffff"}};
    for (const auto& [text, reported] : removals) {
        g_calls.clear();
        log().clear();
        manager->printDeviceList(&text, &speakerphone);
        EXPECT_EQ(g_calls, QStringList{QStringLiteral("removed %1").arg(reported)});
        EXPECT_EQ(logged(LogChannel::System), QStringList{"Removed UID = " + text});
    }

    g_calls.clear();
    const QString id = QStringLiteral("1");
    manager->printDeviceList(nullptr, nullptr);
    manager->printDeviceList(&id, &camera);
    EXPECT_EQ(g_calls, (QStringList{"ready", "removed 1", "ready"}));

    // A list that disagrees with the system's count calls nothing.
    g_calls.clear();
    manager->setMacHidDeviceList(MacHidDeviceManager::HidDeviceList{});
    manager->printDeviceList(nullptr, nullptr);
    manager->printDeviceList(&id, &camera);
    EXPECT_TRUE(g_calls.isEmpty());
}

// The host's view: signals in order and a selection that follows the devices.
class HotPlugThroughTheInterface : public HidDiscovery {
protected:
    std::unique_ptr<MacUVCCam> acquire()
    {
        std::unique_ptr<MacUVCCam> camera(static_cast<MacUVCCam*>(acquireUVCCam()));
        QObject::connect(camera.get(), &MacUVCCam::deviceAdd, [] { g_calls << "deviceAdd"; });
        QObject::connect(camera.get(), &MacUVCCam::deviceRemove, [] { g_calls << "deviceRemove"; });
        QObject::connect(camera.get(), &MacUVCCam::deviceChange, [] { g_calls << "deviceChange"; });
        return camera;
    }
    void unplug(const QString& id)
    {
        g_calls.clear();
        sim::detach(id);
        deliverPending();
    }
};

TEST_F(HotPlugThroughTheInterface, UnpluggingTheSelectedSpeakerphoneSelectsAnotherThatAnArrivingCameraLeavesSelected)
{
    const QString first = sim::attachSpeakerphone("VOXA760");
    const QString second = sim::attachSpeakerphone("VOXA30");
    const auto camera = acquire();
    ASSERT_EQ(camera->setDevice(first), 1);
    unplug(first);
    EXPECT_EQ(g_calls, (QStringList{"deviceRemove", "deviceChange"}));
    EXPECT_EQ(camera->getDeviceInfo().deviceUniqueId, second);
    EXPECT_EQ(camera->getDeviceInfo().deviceId, 0x0030);
    EXPECT_TRUE(camera->findDevice());

    g_calls.clear();
    sim::attachCamera("RX710");
    deliverPending();
    EXPECT_EQ(g_calls, (QStringList{"deviceAdd", "deviceChange", "deviceAdd", "deviceChange"}))
        << "once as a camera, once as its HID interface";
    EXPECT_EQ(camera->getDeviceInfo().deviceUniqueId, second);
    EXPECT_EQ(camera->getDeviceList().size(), 2);
}

TEST_F(HotPlugThroughTheInterface, UnpluggingACameraReportsItsVideoAndItsHidInterface)
{
    const QString rx710 = sim::attachCamera("RX710");
    const QString st470 = sim::attachCamera("ST470");
    const auto camera = acquire();
    ASSERT_EQ(camera->getDeviceInfo().deviceUniqueId, rx710);

    // Another camera: its video leaving is only a change; its HID interface leaving is a
    // removal, and the HID side then asks for a new pairing.
    unplug(st470);
    EXPECT_EQ(g_calls, (QStringList{"deviceChange", "deviceRemove", "deviceChange", "deviceAdd", "deviceChange"}));
    EXPECT_EQ(camera->getDeviceInfo().deviceUniqueId, rx710);
    EXPECT_EQ(macUVCCamOC->currentHidDevice->deviceUniqueID(), rx710.mid(2, 8));

    // The selected camera: the host hears of the removal before the change.
    ASSERT_EQ(camera->startVideoStream(0), 0);
    unplug(rx710);
    EXPECT_EQ(g_calls, (QStringList{"deviceRemove", "deviceChange", "deviceRemove", "deviceChange", "deviceAdd",
                                    "deviceChange"}));
    EXPECT_FALSE(macUVCCamOC->isStreaming || macUVCCamOC->currentCamera || macUVCCamOC->currentHidDevice);
    EXPECT_TRUE(camera->getDeviceList().isEmpty());
}

}  // namespace
