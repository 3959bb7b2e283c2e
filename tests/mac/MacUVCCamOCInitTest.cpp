// The device core's start-up, protocol mode, callback setters and string conversion.
#include "mac/MacUVCCamOC.h"

#include "UVCCamSimulation.h"
#include "mac/MacCameraManager.h"
#include "mac/MacHidDeviceManager.h"
#include "mac/MacHotKeyManager.h"
#include "support/SimulatedWorld.h"

#include <utility>
#include <vector>

namespace {

using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;

// What is attached, in order: a model of the maker ("VOXA760" a speakerphone), "other" for
// another maker's camera, "unnamed" for a camera of the maker whose product name names no model.
struct StartUpCase {
    const char* what;
    QStringList attached;
    int result;
    unsigned cameraCount;
    int selected;  // index into attached; -1 for none
};

// By name: gtest would otherwise print the case's raw bytes, padding included.
void PrintTo(const StartUpCase& c, std::ostream* os) { *os << c.what; }

QString attach(const QString& what)
{
    if (what == QLatin1String("other"))
        return uvccam::sim::attachOtherVendorCamera();
    if (what == QLatin1String("unnamed"))
        return uvccam::sim::attachCameraNamed("Prototype 9000");
    if (what == QLatin1String("VOXA760"))
        return uvccam::sim::attachSpeakerphone(what);
    return uvccam::sim::attachCamera(what);
}

class CoreStartUp : public SimulatedWorld, public ::testing::WithParamInterface<StartUpCase> {};

TEST_P(CoreStartUp, SelectsOnlyTheFirstCameraOfTheMakerAndOnlyIfItHasAModel)
{
    const StartUpCase& c = GetParam();
    SCOPED_TRACE(c.what);
    QStringList ids;
    for (const QString& device : c.attached)
        ids << attach(device);
    MacUVCCamOC core;
    EXPECT_EQ(core.init(), c.result);
    EXPECT_EQ(core.cameraCount, c.cameraCount);
    EXPECT_TRUE(core.hidManager->macHidDeviceList().has_value()) << "the HID service is open";
    // Nothing of an unselected camera is recorded.
    const bool selected = c.selected >= 0;
    const QString id = selected ? ids[c.selected] : QString();
    EXPECT_EQ((QStringList{QString::number(core.deviceId), core.modelName, core.deviceUniqueId}),
              (selected ? QStringList{"10811", c.attached[c.selected], id} : QStringList{"-1", "", ""}));
    EXPECT_EQ(core.currentCamera ? core.currentCamera->deviceUniqueID() : QString(), id);
    EXPECT_EQ(core.deviceReady, selected);
    EXPECT_EQ(bool(core.captureSession), selected);
    EXPECT_EQ(bool(core.videoOutput), selected);
    if (!selected) {
        EXPECT_FALSE(core.currentHidDevice || core.hidDeviceSelected);
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, CoreStartUp, ::testing::Values(
    StartUpCase{"nothing attached", {}, -1, 0, -1},
    StartUpCase{"only a speakerphone", {"VOXA760"}, -1, 0, -1},
    StartUpCase{"another maker's camera first", {"other", "LUM610"}, 0, 2, 1},
    StartUpCase{"two of the maker's cameras", {"ST470", "LUM610"}, 0, 2, 0},
    StartUpCase{"the first of the maker's cameras unnamed", {"unnamed", "LUM610"}, -1, 2, -1}));

class CoreOnTheSimulator : public SimulatedWorld {};

TEST_F(CoreOnTheSimulator, ProtocolModeIsHidUnlessSetToZero)
{
    MacUVCCamOC core;
    EXPECT_TRUE(core.protocolMode);
    for (const auto& [argument, hidMode] : std::initializer_list<std::pair<int, bool>>{
             {0, false}, {2, true}, {0, false}, {-1, true}, {0, false}, {1, true}}) {
        core.setProtocolMode(argument);
        EXPECT_EQ(core.protocolMode, hidMode) << argument;
    }
}

void hotKey(int) {}
void connected(char*) {}
void disconnected(char*) {}
void hidRemoved(char*) {}
void hidReady() {}
void frame(unsigned char*, int, int, int) {}
void level(float) {}

TEST_F(CoreOnTheSimulator, CallbackSettersHandOverAFunctionAndRefuseNoneKeepingWhatWasThere)
{
    MacUVCCamOC core;
    const std::vector<int> stored = {
        core.setDeviceConnectedCallback(connected), core.setDeviceDisconnectedCallback(disconnected),
        core.setHidDeviceReadyCallback(hidReady), core.setHidDeviceRemoveCallback(hidRemoved),
        core.setHotKeyCallback(hotKey), core.setVideoCallback(frame), core.setAudioCallback(level)};
    const std::vector<int> refused = {
        core.setDeviceConnectedCallback(nullptr), core.setDeviceDisconnectedCallback(nullptr),
        core.setHidDeviceReadyCallback(nullptr), core.setHidDeviceRemoveCallback(nullptr),
        core.setHotKeyCallback(nullptr), core.setVideoCallback(nullptr), core.setAudioCallback(nullptr)};
    EXPECT_EQ(stored, std::vector<int>(7, 0));
    EXPECT_EQ(refused, std::vector<int>(7, -1));
    EXPECT_EQ(core.cameraManager->deviceConnected(), connected);
    EXPECT_EQ(core.cameraManager->deviceDisconnected(), disconnected);
    EXPECT_EQ(core.hidManager->hidDeviceReady(), hidReady);
    EXPECT_EQ(core.hidManager->hidDeviceRemove(), hidRemoved);
    EXPECT_EQ(core.hotKeyManager->hotKeyCallbackFun(), hotKey);
    EXPECT_EQ(core.hotKeyCallback, hotKey);
    EXPECT_EQ(core.videoCallback, frame);
    EXPECT_EQ(core.audioCallback, level);
}

TEST(PlatformStringConversion, CopiesEveryCodeUnitIncludingSurrogatePairs)
{
    // U+1F4F7 (camera) and U+10000, each two UTF-16 code units.
    const QString text = QString::fromUtf8("cam \xF0\x9F\x93\xB7 \xF0\x90\x80\x80 \xC3\xA9");
    EXPECT_EQ(qt_mac_NSStringToQString(&text), text);
    EXPECT_TRUE(qt_mac_NSStringToQString(nullptr).isEmpty());
}

}  // namespace
