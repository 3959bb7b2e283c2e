// The platform a host gets on Linux: chosen by default, the simulator only on request, the
// desktop services without a display, and the library whole on a camera it streams from.
#include "platform/linux/PlatformLinux.h"

#include "UVCCam.h"
#include "UVCCamSimulation.h"
#include "hotkey/HKHotKeyCenter.h"
#include "hotkey/HKStringFromKeyCode.h"
#include "mac/MacAppServiceOC.h"
#include "mac/MacCameraManager.h"
#include "mac/MacHidDeviceManager.h"
#include "mac/MacHotKeyManager.h"
#include "mac/MacUVCCam.h"
#include "mac/MacUVCCamCallbacks.h"
#include "platform/linux/CaptureServiceV4l2.h"
#include "platform/linux/HotKeyServiceX11.h"
#include "support/EmulatedUsb.h"
#include "support/QtPrinters.h"
#include "support/ScopedEnvironment.h"

#include <gtest/gtest.h>

#include <memory>

using namespace uvccam::platform;
using namespace uvccam::testing;

namespace {

constexpr quint64 kCommand = 0x100000;
constexpr int kLKey = 37;

// Each test starts with no platform chosen, so that the library's first use makes the default.
class LinuxPlatform : public ::testing::Test {
protected:
    LinuxPlatform() { discardProcessState(); }
    ~LinuxPlatform() override { discardProcessState(); }

    static void discardProcessState()
    {
        uvccam::internal::discardAllCores();
        MacCameraManager::discardSharedInstance();
        MacHidDeviceManager::discardSharedInstance();
        MacHotKeyManager::discardSharedInstance();
        HKHotKeyCenter::discardSharedHotKeyCenter();
        Platform::install(nullptr);
    }

    EmulatedUsb usb;
};

TEST_F(LinuxPlatform, IsTheDefaultAndTheSimulatorComesOnlyWhenAsked)
{
    std::unique_ptr<UVCCam> camera(acquireUVCCam());
    EXPECT_NE(dynamic_cast<CaptureServiceV4l2*>(&Platform::current().capture()), nullptr);
    EXPECT_FALSE(uvccam::sim::isSimulating());
    // No simulator is active, so nothing can be attached.
    EXPECT_EQ(uvccam::sim::attachCamera(QStringLiteral("RX710")), QString());
    EXPECT_TRUE(uvccam::sim::attachedDevices().isEmpty());
    // The hot keys are the X display's, which no simulated key reaches.
    EXPECT_NE(dynamic_cast<HotKeyServiceX11*>(&Platform::current().hotKeys()), nullptr);
    EXPECT_FALSE(uvccam::sim::pressHotKey(kLKey, kCommand, 0.0));
    EXPECT_TRUE(camera->getDeviceList().isEmpty());

    camera.reset();
    discardProcessState();
    uvccam::sim::useSimulatedDevices();
    EXPECT_TRUE(uvccam::sim::isSimulating());
    EXPECT_FALSE(uvccam::sim::attachCamera(QStringLiteral("RX710")).isEmpty());
}

TEST_F(LinuxPlatform, WithoutADisplayNoApplicationIsInFrontAndTheUsLayoutNamesTheKeys)
{
    ScopedEnvironment environment;
    for (const char* variable : { "DISPLAY", "XKB_DEFAULT_RULES", "XKB_DEFAULT_MODEL", "XKB_DEFAULT_LAYOUT",
                                  "XKB_DEFAULT_VARIANT", "XKB_DEFAULT_OPTIONS" })
        environment.unset(variable);
    std::unique_ptr<UVCCam> camera(acquireUVCCam());
    MacAppServiceOC application;
    EXPECT_EQ(application.hideShowWindowFromDock(false), kProcessNotFound) << "no X session to find it in";
    EXPECT_EQ(HKStringFromKeyCode(kLKey, kCommand), QStringLiteral("\u2318l"));
}

TEST_F(LinuxPlatform, ACameraIsListedAndSelectedAndItsStreamStartsAndStopsWithoutHarm)
{
    const EmulatedNodes rx =
        usb.plug(EmulatedDevice::camera(QStringLiteral("RX710 Conference Camera"), 0x2574, QStringLiteral("1.4")));
    std::unique_ptr<UVCCam> camera(acquireUVCCam());
    const QString uniqueId = QStringLiteral("0xf11400002a3b2574");
    const QList<DeviceInfo> devices = camera->getDeviceList();
    ASSERT_EQ(devices.size(), 1);
    EXPECT_EQ(devices[0].modelName, "RX710");
    EXPECT_EQ(devices[0].deviceUniqueId, uniqueId);
    EXPECT_EQ(camera->setDevice(uniqueId), 1);

    // A GStreamer session on the capture node; whether frames flow is the emulated node's
    // business, so none is awaited here.
    EXPECT_EQ(camera->startVideoStream(0), 0);
    camera->resetCamResolution();
    EXPECT_EQ(camera->stopVideoStream(), 0);
    camera->startAudioRecording(0, QString());

    usb.unplug(rx);
    ASSERT_TRUE(waitFor([&] { return camera->getDeviceList().isEmpty(); }));
    EXPECT_FALSE(camera->findDevice());
}

}  // namespace
