// The device core's start-up, protocol mode, callback setters and string conversion.
#include "mac/MacUVCCamOC.h"

#include "UVCCamSimulation.h"
#include "mac/MacCameraManager.h"
#include "mac/MacHidDeviceManager.h"
#include "mac/MacHotKeyManager.h"
#include "support/SimulatedWorld.h"

namespace {

using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;

class CoreStartUp : public SimulatedWorld {
protected:
    // Everything a fresh core reports before any device is chosen.
    static void expectNothingSelected(const MacUVCCamOC& core)
    {
        EXPECT_FALSE(core.currentCamera);
        EXPECT_FALSE(core.currentHidDevice);
        EXPECT_FALSE(core.deviceReady);
        EXPECT_EQ(core.deviceId, -1);
        EXPECT_TRUE(core.modelName.isEmpty());
        EXPECT_TRUE(core.deviceUniqueId.isEmpty());
        EXPECT_FALSE(core.captureSession);
        EXPECT_FALSE(core.videoOutput);
        EXPECT_FALSE(core.hidDeviceSelected);
    }
};

TEST_F(CoreStartUp, WithNothingAttachedSelectsNothing)
{
    MacUVCCamOC core;
    EXPECT_EQ(core.init(), -1);
    EXPECT_EQ(core.cameraCount, 0u);
    EXPECT_TRUE(core.protocolMode);
    EXPECT_EQ(core.videoWidth, 640);
    EXPECT_EQ(core.videoHeight, 360);
    EXPECT_FALSE(core.isStreaming);
    EXPECT_FALSE(core.audioStarted);
    expectNothingSelected(core);
    // The managers are taken and the HID service is open.
    EXPECT_EQ(core.cameraManager, MacCameraManager::sharedInstance());
    EXPECT_EQ(core.hidManager, MacHidDeviceManager::sharedInstance());
    EXPECT_EQ(core.hotKeyManager, MacHotKeyManager::sharedInstance());
    ASSERT_TRUE(core.hidManager->macHidDeviceList().has_value());
    EXPECT_TRUE(core.hidManager->macHidDeviceList()->isEmpty());
}

TEST_F(CoreStartUp, WithOnlyASpeakerphoneLooksForNoSpeakerphone)
{
    uvccam::sim::attachSpeakerphone("VOXA760");
    MacUVCCamOC core;
    EXPECT_EQ(core.cameraCount, 0u);
    expectNothingSelected(core);
}

TEST_F(CoreStartUp, SelectsTheMakersCameraAfterAnotherVendors)
{
    uvccam::sim::attachOtherVendorCamera();
    const QString lum = uvccam::sim::attachCamera("LUM610");
    MacUVCCamOC core;
    EXPECT_EQ(core.init(), 0);
    EXPECT_EQ(core.cameraCount, 2u);
    ASSERT_TRUE(core.currentCamera);
    EXPECT_EQ(core.currentCamera->deviceUniqueID(), lum);
    EXPECT_EQ(core.modelName, QStringLiteral("LUM610"));
    EXPECT_EQ(core.deviceId, 10811);
    EXPECT_EQ(core.deviceUniqueId, lum);
    EXPECT_TRUE(core.deviceReady);
}

TEST_F(CoreStartUp, TakesOnlyTheFirstOfTwoMakerCameras)
{
    const QString st470 = uvccam::sim::attachCamera("ST470");
    uvccam::sim::attachCamera("LUM610");
    MacUVCCamOC core;
    ASSERT_TRUE(core.currentCamera);
    EXPECT_EQ(core.deviceUniqueId, st470);
    EXPECT_EQ(core.modelName, QStringLiteral("ST470"));
}

TEST_F(CoreStartUp, GivesUpWhenTheFirstMakerCameraHasNoModel)
{
    uvccam::sim::attachCameraNamed("Prototype 9000");
    uvccam::sim::attachCamera("LUM610");
    MacUVCCamOC core;
    EXPECT_EQ(core.init(), -1);
    EXPECT_EQ(core.cameraCount, 2u);
    // The unnamed camera is not selected and nothing of it is recorded.
    expectNothingSelected(core);
}

TEST_F(CoreStartUp, BuildsTheCaptureChainWithoutStartingIt)
{
    const QString rx710 = uvccam::sim::attachCamera("RX710");
    MacUVCCamOC core;
    ASSERT_TRUE(core.captureSession);
    ASSERT_TRUE(core.videoOutput);
    EXPECT_FALSE(core.captureSession->isRunning());
    EXPECT_EQ(core.videoOutput->videoSettings(), (VideoSettings{640, 360, kPixelFormat2vuy}));
    EXPECT_TRUE(core.videoOutput->alwaysDiscardsLateVideoFrames());
    EXPECT_EQ(core.videoOutput->sampleBufferDelegate(), core.currentCamera);

    const auto sessions = capture().sessions();
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(sessions[0], core.captureSession);
    ASSERT_EQ(sessions[0]->inputs().size(), 1u);
    EXPECT_EQ(sessions[0]->inputs()[0]->device()->uniqueID(), rx710);
    EXPECT_EQ(sessions[0]->outputs(), std::vector<VideoDataOutputPtr>{core.videoOutput});
    EXPECT_FALSE(core.pixelBuffer) << "no frame has arrived yet";
}

TEST_F(CoreStartUp, RunAgainReplacesTheCaptureChainAndSilencesTheOldOne)
{
    uvccam::sim::attachCamera("RX710");
    MacUVCCamOC core;
    const auto oldSession = core.captureSession;
    const auto oldOutput = core.videoOutput;
    oldSession->startRunning();

    EXPECT_EQ(core.init(), 0);
    EXPECT_NE(core.captureSession, oldSession);
    EXPECT_NE(core.videoOutput, oldOutput);
    EXPECT_FALSE(oldSession->isRunning());
    EXPECT_FALSE(oldOutput->sampleBufferDelegate());
}

struct ModeCase {
    int argument;
    bool hidMode;
};

class ProtocolMode : public SimulatedWorld, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ProtocolMode, NonZeroIsHidAndZeroIsUvc)
{
    MacUVCCamOC core;
    core.setProtocolMode(GetParam().argument);
    EXPECT_EQ(core.protocolMode, GetParam().hidMode);
}

INSTANTIATE_TEST_SUITE_P(Arguments, ProtocolMode,
                         ::testing::Values(ModeCase{0, false}, ModeCase{1, true}, ModeCase{2, true}, ModeCase{-1, true}));

void hotKeyA(int) {}
void hotKeyB(int) {}
void deviceIdA(char*) {}
void hidReadyA() {}
void frameA(unsigned char*, int, int, int) {}
void levelA(float) {}

class CallbackSetters : public SimulatedWorld {};

TEST_F(CallbackSetters, StoreAndHandOverAFunction)
{
    MacUVCCamOC core;
    EXPECT_EQ(core.setDeviceConnectedCallback(deviceIdA), 0);
    EXPECT_EQ(core.setDeviceDisconnectedCallback(deviceIdA), 0);
    EXPECT_EQ(core.setHidDeviceReadyCallback(hidReadyA), 0);
    EXPECT_EQ(core.setHidDeviceRemoveCallback(deviceIdA), 0);
    EXPECT_EQ(core.setHotKeyCallback(hotKeyA), 0);
    EXPECT_EQ(core.setVideoCallback(frameA), 0);
    EXPECT_EQ(core.setAudioCallback(levelA), 0);

    EXPECT_EQ(core.cameraManager->deviceConnected(), deviceIdA);
    EXPECT_EQ(core.cameraManager->deviceDisconnected(), deviceIdA);
    EXPECT_EQ(core.hidManager->hidDeviceReady(), hidReadyA);
    EXPECT_EQ(core.hidManager->hidDeviceRemove(), deviceIdA);
    EXPECT_EQ(core.hotKeyManager->hotKeyCallbackFun(), hotKeyA);
    EXPECT_EQ(core.videoCallback, frameA);
    EXPECT_EQ(core.audioCallback, levelA);
}

TEST_F(CallbackSetters, RefuseNoneAndKeepWhatWasThere)
{
    MacUVCCamOC core;
    core.setHotKeyCallback(hotKeyB);
    core.setDeviceConnectedCallback(deviceIdA);
    core.setHidDeviceReadyCallback(hidReadyA);

    EXPECT_EQ(core.setHotKeyCallback(nullptr), -1);
    EXPECT_EQ(core.setDeviceConnectedCallback(nullptr), -1);
    EXPECT_EQ(core.setDeviceDisconnectedCallback(nullptr), -1);
    EXPECT_EQ(core.setHidDeviceReadyCallback(nullptr), -1);
    EXPECT_EQ(core.setHidDeviceRemoveCallback(nullptr), -1);
    EXPECT_EQ(core.setVideoCallback(nullptr), -1);
    EXPECT_EQ(core.setAudioCallback(nullptr), -1);

    EXPECT_EQ(core.hotKeyManager->hotKeyCallbackFun(), hotKeyB);
    EXPECT_EQ(core.hotKeyCallback, hotKeyB);
    EXPECT_EQ(core.cameraManager->deviceConnected(), deviceIdA);
    EXPECT_EQ(core.cameraManager->deviceDisconnected(), nullptr);
    EXPECT_EQ(core.hidManager->hidDeviceReady(), hidReadyA);
}

TEST(PlatformStringConversion, CopiesEveryCodeUnitIncludingSurrogatePairs)
{
    // U+1F4F7 (camera) and U+10000, each two UTF-16 code units.
    const QString text = QString::fromUtf8("cam \xF0\x9F\x93\xB7 \xF0\x90\x80\x80 \xC3\xA9");
    const QString copy = qt_mac_NSStringToQString(&text);
    EXPECT_EQ(copy, text);
    ASSERT_EQ(copy.size(), text.size());
    EXPECT_TRUE(copy.at(4).isHighSurrogate());
    EXPECT_TRUE(copy.at(5).isLowSurrogate());
    EXPECT_EQ(copy.toUcs4().at(4), 0x1F4F7u);

    EXPECT_TRUE(qt_mac_NSStringToQString(nullptr).isEmpty());
    const QString empty;
    EXPECT_TRUE(qt_mac_NSStringToQString(&empty).isEmpty());
}

}  // namespace
