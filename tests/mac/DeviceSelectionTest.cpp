// The device core's device list, presence check, selection, hot-plug handling and video stream.
#include "mac/MacUVCCamOC.h"

#include "UVCCamSimulation.h"
#include "mac/MacCameraManager.h"
#include "mac/MacHidDeviceManager.h"
#include "platform/Log.h"
#include "support/SimulatedWorld.h"

#include <QStringList>

#include <cstdint>
#include <memory>
#include <ostream>
#include <tuple>
#include <vector>

namespace {

using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;
namespace sim = uvccam::sim;

using HidPtr = std::shared_ptr<MacHidDevice>;
using Record = std::tuple<int, QString, QString>;

constexpr int kMakerVendorId = 10811;

HidPtr hidDevice(const QString& name, std::uint32_t productId, const QString& uniqueID, std::uint32_t vendorId = 0x2A3B)
{
    auto device = std::make_shared<MacHidDevice>();
    device->setDeviceName(name);
    device->setProductId(productId);
    device->setVendorId(vendorId);
    device->setDeviceUniqueID(uniqueID);
    return device;
}

// What the HID manager would list; the core's start-up empties the list, so tests set it
// after the core exists.
void setHidDevices(const std::vector<HidPtr>& devices)
{
    MacHidDeviceManager::HidDeviceList list;
    for (const auto& device : devices)
        list.append(device);
    MacHidDeviceManager::sharedInstance()->setMacHidDeviceList(list);
}

// The HID unique ID under which a camera's own HID interface is known: its location in hex.
QString locationKeyOf(const QString& cameraUniqueID)
{
    return cameraUniqueID.mid(2, 8);
}

std::shared_ptr<MacCamera> listedCamera(const QString& uniqueID)
{
    for (const auto& camera : MacCameraManager::sharedInstance()->macCameraList()) {
        if (camera->deviceUniqueID() == uniqueID)
            return camera;
    }
    return nullptr;
}

std::shared_ptr<CaptureSessionSim> simSession(const CaptureSessionPtr& session)
{
    return std::dynamic_pointer_cast<CaptureSessionSim>(session);
}

// The unique ID of the core's HID device, or "(none)".
QString hidIdOf(const MacUVCCamOC& core)
{
    return core.currentHidDevice ? core.currentHidDevice->deviceUniqueID() : QStringLiteral("(none)");
}

std::vector<Record> records(const QList<DeviceInfo>& list)
{
    std::vector<Record> result;
    for (const auto& info : list)
        result.emplace_back(info.deviceId, info.modelName, info.deviceUniqueId);
    return result;
}

// Every message on every channel, in order, as "channel: text".
QStringList channelLines(const LogSinkRecorder& recorder)
{
    QStringList lines;
    for (const auto& entry : recorder.entries())
        lines << QStringLiteral("%1: %2").arg(QLatin1String(logChannelName(entry.channel)), entry.message);
    return lines;
}

// The six lines the no-camera HID walk writes for one device.
QStringList speakerphoneWalkLines(const HidPtr& device)
{
    return {
        QStringLiteral("system: ---------------setCurrentHidDevice-----------------"),
        QStringLiteral("system: Dev:%1").arg(device->deviceName()),
        QStringLiteral("system: PID:%1").arg(device->productId(), 4, 16, QLatin1Char('0')),
        QStringLiteral("system: VID:%1").arg(device->vendorId(), 4, 16, QLatin1Char('0')),
        QStringLiteral("system: UID:%1").arg(device->deviceUniqueID()),
        QStringLiteral("system: ---------------------------------------------------"),
    };
}

// The five lines setDevice's HID search writes for one device.
QStringList selectionWalkLines(const HidPtr& device)
{
    return {
        QStringLiteral("system: Dev:%1").arg(device->deviceName()),
        QStringLiteral("system: PID:%1").arg(device->productId(), 4, 16, QLatin1Char('0')),
        QStringLiteral("system: VID:%1").arg(device->vendorId(), 4, 16, QLatin1Char('0')),
        QStringLiteral("system: UID:%1").arg(device->deviceUniqueID()),
        QStringLiteral("system: ----------------------"),
    };
}

// A session as the core builds it for a camera: the camera as input, one output of the
// core's settings delivering to the camera, not started.
void expectBuiltFor(const MacUVCCamOC& core, const QString& cameraID)
{
    auto session = simSession(core.captureSession);
    ASSERT_TRUE(session);
    ASSERT_TRUE(core.currentCamera);
    EXPECT_EQ(core.currentCamera->deviceUniqueID(), cameraID);
    EXPECT_EQ(session->preset(), SessionPreset::Photo);
    ASSERT_EQ(session->inputs().size(), 1u);
    EXPECT_EQ(session->inputs()[0]->device()->uniqueID(), cameraID);
    ASSERT_EQ(session->outputs().size(), 1u);
    ASSERT_TRUE(core.videoOutput);
    EXPECT_EQ(session->outputs()[0], core.videoOutput);
    EXPECT_EQ(core.videoOutput->videoSettings(), (VideoSettings{640, 360, kPixelFormat2vuy}));
    EXPECT_TRUE(core.videoOutput->alwaysDiscardsLateVideoFrames());
    EXPECT_EQ(core.videoOutput->sampleBufferDelegate(), std::static_pointer_cast<SampleBufferDelegate>(core.currentCamera));
    EXPECT_FALSE(session->isRunning());
}

// Capture objects the core has let go of: stopped, the output taken out and silenced.
void expectReleased(const CaptureSessionPtr& session, const VideoDataOutputPtr& output)
{
    auto simulated = simSession(session);
    ASSERT_TRUE(simulated);
    EXPECT_FALSE(simulated->isRunning());
    EXPECT_TRUE(simulated->outputs().empty());
    EXPECT_FALSE(output->sampleBufferDelegate());
}

struct SelectionRecord {
    std::int32_t deviceId;
    QString modelName;
    QString deviceUniqueId;
    bool deviceReady;
    bool hidDeviceSelected;
};

SelectionRecord recordOf(const MacUVCCamOC& core)
{
    return {core.deviceId, core.modelName, core.deviceUniqueId, core.deviceReady, core.hidDeviceSelected};
}

void expectSameRecord(const SelectionRecord& before, const MacUVCCamOC& core)
{
    EXPECT_EQ(core.deviceId, before.deviceId);
    EXPECT_EQ(core.modelName, before.modelName);
    EXPECT_EQ(core.deviceUniqueId, before.deviceUniqueId);
    EXPECT_EQ(core.deviceReady, before.deviceReady);
    EXPECT_EQ(core.hidDeviceSelected, before.hidDeviceSelected);
}

// ---------------------------------------------------------------------------------------
// Device list

class DeviceListing : public SimulatedWorld {};

TEST_F(DeviceListing, WithNothingAttachedIsEmpty)
{
    MacUVCCamOC core;
    EXPECT_TRUE(core.getDeviceList().isEmpty());
    EXPECT_EQ(core.cameraCount, 0u);
}

TEST_F(DeviceListing, KeepsOnlyTheMakersCamerasWithAModel)
{
    sim::attachOtherVendorCamera();
    const QString plus = sim::attachCamera("RX710+");
    sim::attachCameraNamed("Mystery Cam");
    MacUVCCamOC core;

    EXPECT_EQ(records(core.getDeviceList()), (std::vector<Record>{{kMakerVendorId, "RX710+", plus}}));
    // Every camera counts, listed or not.
    EXPECT_EQ(core.cameraCount, 3u);
}

struct ListedNameCase {
    const char* productName;
    const char* modelName;  // nullptr: not listed
};

void PrintTo(const ListedNameCase& c, std::ostream* os) { *os << '"' << c.productName << '"'; }

class DeviceListingByName : public DeviceListing, public ::testing::WithParamInterface<ListedNameCase> {};

TEST_P(DeviceListingByName, ListsTheModelOfTheProductName)
{
    const QString id = sim::attachCameraNamed(GetParam().productName);
    MacUVCCamOC core;
    const auto list = core.getDeviceList();
    if (!GetParam().modelName) {
        EXPECT_TRUE(list.isEmpty());
        return;
    }
    EXPECT_EQ(records(list), (std::vector<Record>{{kMakerVendorId, GetParam().modelName, id}}));
}

INSTANTIATE_TEST_SUITE_P(Names, DeviceListingByName,
    ::testing::Values(ListedNameCase{"Studio Caster LUM 470", "ST470"},
                      ListedNameCase{"Corvane ST410", "ST410"},
                      // The row's prefix is the whole "Corvane ST410".
                      ListedNameCase{"ST410", nullptr},
                      ListedNameCase{"RX7100", "RX710"},
                      ListedNameCase{"RX710+ Pro", "RX710+"},
                      ListedNameCase{"rx710", nullptr},
                      ListedNameCase{" LUM610", nullptr}));

TEST_F(DeviceListing, ListsACameraWhicheverIsSelectedAndWhenNoneIs)
{
    const QString lum = sim::attachCamera("LUM610");
    const QString st470 = sim::attachCamera("ST470");
    MacUVCCamOC core;
    const std::vector<Record> both{{kMakerVendorId, "LUM610", lum}, {kMakerVendorId, "ST470", st470}};

    ASSERT_EQ(core.deviceUniqueId, lum);
    EXPECT_EQ(records(core.getDeviceList()), both);

    ASSERT_EQ(core.setDevice(st470), 1);
    EXPECT_EQ(records(core.getDeviceList()), both);

    QByteArray departed = st470.toLocal8Bit();
    core.removeDeviceWithUniqueID(departed.data());
    ASSERT_FALSE(core.currentCamera);
    EXPECT_EQ(records(core.getDeviceList()), both);
}

TEST_F(DeviceListing, ListsEveryHidDeviceNamedVoxaAsTheVoxa760WithItsOwnProductID)
{
    MacUVCCamOC core;
    setHidDevices({
        hidDevice("VOXA30", 0x0030, "a1"),
        hidDevice("Camera HID", 0x2574, "a2"),
        hidDevice("VOXA760", 0x0760, "a3"),
        hidDevice("VOXAxyz", 0x0099, "a4"),
        hidDevice("voxa760", 0x0761, "a5"),
        hidDevice("XVOXA760", 0x0762, "a6"),
    });

    EXPECT_EQ(records(core.getDeviceList()), (std::vector<Record>{
                                                 {0x0030, "VOXA760", "a1"},
                                                 {0x0760, "VOXA760", "a3"},
                                                 {0x0099, "VOXA760", "a4"},
                                             }));
}

TEST_F(DeviceListing, PutsEveryCameraBeforeEverySpeakerphone)
{
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    setHidDevices({hidDevice("VOXA760", 0x0760, "b1")});
    const QString st = sim::attachCamera("ST470");
    deliverPending();

    EXPECT_EQ(records(core.getDeviceList()), (std::vector<Record>{
                                                 {kMakerVendorId, "RX710", rx},
                                                 {kMakerVendorId, "ST470", st},
                                                 {0x0760, "VOXA760", "b1"},
                                             }));
}

TEST_F(DeviceListing, RefreshesTheCameraCountAndChangesNothingElse)
{
    const QString first = sim::attachCamera("RX710");
    MacUVCCamOC core;
    ASSERT_EQ(core.cameraCount, 1u);
    const SelectionRecord before = recordOf(core);
    const auto session = core.captureSession;
    ASSERT_TRUE(session);

    sim::attachOtherVendorCamera();
    sim::attachCamera("LUM250");
    deliverPending();
    EXPECT_EQ(core.cameraCount, 1u);
    EXPECT_EQ(core.getDeviceList().size(), 2);
    EXPECT_EQ(core.cameraCount, 3u);

    sim::detach(first);
    deliverPending();
    EXPECT_EQ(core.getDeviceList().size(), 1);
    EXPECT_EQ(core.cameraCount, 2u);

    expectSameRecord(before, core);
    EXPECT_EQ(core.captureSession, session);
    ASSERT_TRUE(core.currentCamera);
    EXPECT_EQ(core.currentCamera->deviceUniqueID(), first);
}

// ---------------------------------------------------------------------------------------
// Presence of the selected device

class DevicePresence : public SimulatedWorld {};

TEST_F(DevicePresence, LogsOnceForEachMakerCameraBeforeAnythingElse)
{
    sim::attachCamera("RX710");
    sim::attachOtherVendorCamera();
    sim::attachCameraNamed("Mystery Cam");
    MacUVCCamOC core;
    log().clear();

    core.findDevice();

    EXPECT_EQ(channelLines(log()), (QStringList{"system: find corvane device", "system: find corvane device"}));
    EXPECT_EQ(core.cameraCount, 3u);
}

TEST_F(DevicePresence, WithNothingAttachedIsFalse)
{
    MacUVCCamOC core;
    EXPECT_FALSE(core.findDevice());
    EXPECT_TRUE(log().entries().empty());
}

TEST_F(DevicePresence, FindsTheSelectedCamera)
{
    sim::attachCamera("LUM630");
    MacUVCCamOC core;
    EXPECT_TRUE(core.findDevice());
}

TEST_F(DevicePresence, ComparesTheRecordWithTheSelectedCameraNotWithTheAttachedOnes)
{
    const QString gone = sim::attachCamera("RX710");
    MacUVCCamOC core;
    sim::detach(gone);
    sim::attachCamera("ST470");
    deliverPending();
    ASSERT_EQ(core.cameraManager->macCameraList().size(), 1);

    // Nobody told the core of the departure: its camera and record still agree.
    EXPECT_TRUE(core.findDevice());
}

TEST_F(DevicePresence, AfterTheLastMakerCameraLeftIsFalseThoughTheCoreStillHoldsIt)
{
    const QString rx = sim::attachCamera("RX710");
    sim::attachOtherVendorCamera();
    MacUVCCamOC core;
    sim::detach(rx);
    deliverPending();
    ASSERT_EQ(core.currentCamera->deviceUniqueID(), core.deviceUniqueId);

    // No maker camera is attached, so the record is looked for among the speakerphones.
    EXPECT_FALSE(core.findDevice());
    EXPECT_EQ(core.cameraCount, 1u);
}

TEST_F(DevicePresence, WithoutAMakerCameraLooksAtTheSpeakerphonesEvenWithACameraHeld)
{
    const QString other = sim::attachOtherVendorCamera();
    MacUVCCamOC core;
    setHidDevices({hidDevice("VOXA760", 0x0760, "s1")});
    ASSERT_EQ(core.setDevice("s1"), 1);
    ASSERT_EQ(core.setDevice(other), 0);
    ASSERT_TRUE(core.currentCamera);

    EXPECT_TRUE(core.findDevice());
}

TEST_F(DevicePresence, FindsASelectedSpeakerphoneWhenNoMakerCameraIsAttached)
{
    sim::attachOtherVendorCamera();
    MacUVCCamOC core;
    setHidDevices({hidDevice("VOXA30", 0x0030, "c1"), hidDevice("VOXA760", 0x0760, "c2")});
    ASSERT_EQ(core.setDevice("c2"), 1);
    log().clear();

    EXPECT_TRUE(core.findDevice());
    EXPECT_TRUE(log().entries().empty());

    // Once the HID manager no longer lists it, it is gone.
    setHidDevices({hidDevice("VOXA30", 0x0030, "c1")});
    EXPECT_FALSE(core.findDevice());
}

TEST_F(DevicePresence, IgnoresAHidDeviceNotNamedVoxa)
{
    MacUVCCamOC core;
    setHidDevices({hidDevice("voxa760", 0x0760, "d1")});
    // Selection by unique ID does not look at the name; presence does.
    ASSERT_EQ(core.setDevice("d1"), 1);
    EXPECT_FALSE(core.findDevice());
}

TEST_F(DevicePresence, WithAMakerCameraAndACameraSelectedLooksAtNoHidDevice)
{
    sim::attachCamera("RX710");
    const QString other = sim::attachOtherVendorCamera();
    MacUVCCamOC core;
    setHidDevices({hidDevice("VOXA760", 0x0760, "e1")});
    ASSERT_EQ(core.setDevice("e1"), 1);
    // Refused: the other vendor's camera stays in currentCamera, the record says "e1".
    ASSERT_EQ(core.setDevice(other), 0);
    ASSERT_TRUE(core.currentCamera);
    ASSERT_EQ(core.deviceUniqueId, "e1");

    EXPECT_FALSE(core.findDevice());
}

// ---------------------------------------------------------------------------------------
// Selection by the host

class DeviceSelection : public SimulatedWorld {};

TEST_F(DeviceSelection, OfTheSelectedDeviceKeepsTheCaptureObjectsAndLooksForTheHidInterfaceAgain)
{
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    ASSERT_EQ(core.startVideoStream(0), 0);
    const auto session = core.captureSession;
    ASSERT_TRUE(session);
    const auto output = core.videoOutput;
    const auto hid = hidDevice("RX710 HID", 0x2574, locationKeyOf(rx));
    setHidDevices({hid});
    ASSERT_FALSE(core.currentHidDevice);
    log().clear();

    EXPECT_EQ(core.setDevice(rx), 1);

    EXPECT_EQ(core.captureSession, session);
    EXPECT_EQ(core.videoOutput, output);
    ASSERT_TRUE(core.captureSession);
    EXPECT_TRUE(core.captureSession->isRunning());
    EXPECT_EQ(capture().sessions().size(), 1u);
    EXPECT_EQ(core.currentHidDevice, hid);
    EXPECT_TRUE(core.hidDeviceSelected);
    EXPECT_EQ(channelLines(log()), QStringList{"system: setDevicePath = " + rx});
}

TEST_F(DeviceSelection, OfAnEmptyPathBeforeAnySelectionSucceedsAndSelectsNothing)
{
    sim::attachOtherVendorCamera();
    MacUVCCamOC core;
    log().clear();

    EXPECT_EQ(core.setDevice(QString()), 1);

    EXPECT_FALSE(core.currentCamera);
    EXPECT_FALSE(core.currentHidDevice);
    EXPECT_FALSE(core.captureSession);
    EXPECT_FALSE(core.deviceReady);
    EXPECT_EQ(core.deviceId, -1);
    EXPECT_EQ(channelLines(log()), QStringList{"system: setDevicePath = "});
}

TEST_F(DeviceSelection, OfACameraReleasesThePreviousOneAndBuildsItsCaptureObjects)
{
    const QString lum = sim::attachCamera("LUM610");
    const QString plus = sim::attachCamera("RX710+");
    MacUVCCamOC core;
    ASSERT_EQ(core.deviceUniqueId, lum);
    const auto oldSession = core.captureSession;
    const auto oldOutput = core.videoOutput;
    ASSERT_EQ(core.startVideoStream(0), 0);
    const auto hid = hidDevice("RX710+ HID", 0x2575, locationKeyOf(plus));
    setHidDevices({hidDevice("LUM610 HID", 0x6100, locationKeyOf(lum)), hid});

    EXPECT_EQ(core.setDevice(plus), 1);

    EXPECT_EQ(core.currentCamera, listedCamera(plus));
    EXPECT_EQ(core.modelName, "RX710+");
    EXPECT_EQ(core.deviceId, kMakerVendorId);
    EXPECT_EQ(core.deviceUniqueId, plus);
    EXPECT_TRUE(core.deviceReady);
    EXPECT_NE(core.captureSession, oldSession);
    expectBuiltFor(core, plus);
    expectReleased(oldSession, oldOutput);
    // The HID interface is chosen after the camera.
    EXPECT_EQ(core.currentHidDevice, hid);
    EXPECT_TRUE(core.hidDeviceSelected);
}

TEST_F(DeviceSelection, OfACameraLogsThePathAndEachCameraVisited)
{
    const QString rx = sim::attachCamera("RX710");
    const QString st = sim::attachCamera("ST470");
    const QString other = sim::attachOtherVendorCamera();
    MacUVCCamOC core;
    log().clear();

    ASSERT_EQ(core.setDevice(st), 1);

    EXPECT_EQ(channelLines(log()), (QStringList{
                                       "system: setDevicePath = " + st,
                                       "qtdebug: i = 0, selectedDevicePath = " + rx + " devicePath = " + st,
                                       "qtdebug: i = 1, selectedDevicePath = " + st + " devicePath = " + st,
                                       "system: selectedCamera.deviceUniqueID = " + st,
                                       "qtdebug: i = 2, selectedDevicePath = " + other + " devicePath = " + st,
                                   }));
}

TEST_F(DeviceSelection, OfASpeakerphoneReleasesTheCameraAndLogsTheHidWalk)
{
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    const auto oldSession = core.captureSession;
    const auto oldOutput = core.videoOutput;
    const QString voxaID = sim::attachSpeakerphone("VOXA760");
    const auto cameraHid = hidDevice("RX710 HID", 0x2574, locationKeyOf(rx));
    const auto voxa = hidDevice("VOXA760", 0x0760, voxaID);
    setHidDevices({cameraHid, voxa});
    ASSERT_EQ(core.setDevice(rx), 1);
    ASSERT_EQ(core.currentHidDevice, cameraHid);
    log().clear();

    EXPECT_EQ(core.setDevice(voxaID), 1);

    EXPECT_FALSE(core.currentCamera);
    EXPECT_FALSE(core.captureSession);
    EXPECT_FALSE(core.videoOutput);
    expectReleased(oldSession, oldOutput);
    EXPECT_EQ(core.currentHidDevice, voxa);
    EXPECT_EQ(core.modelName, "VOXA760");
    EXPECT_EQ(core.deviceId, 0x0760);
    EXPECT_EQ(core.deviceUniqueId, voxaID);
    EXPECT_TRUE(core.deviceReady);
    EXPECT_TRUE(core.hidDeviceSelected);

    QStringList expected{"system: setDevicePath = " + voxaID,
                         "qtdebug: i = 0, selectedDevicePath = " + rx + " devicePath = " + voxaID};
    expected << selectionWalkLines(cameraHid) << selectionWalkLines(voxa);
    expected << "system: dev.deviceUniqueID = " + voxaID << "system: Found Voxa760";
    EXPECT_EQ(channelLines(log()), expected);
}

TEST_F(DeviceSelection, OfAHidDeviceDoesNotLookAtItsName)
{
    MacUVCCamOC core;
    setHidDevices({hidDevice("VOXA30", 0x0030, "f1"), hidDevice("Desk Phone", 0x0042, "f2")});

    EXPECT_EQ(core.setDevice("f2"), 1);
    EXPECT_EQ(core.modelName, "VOXA760");
    EXPECT_EQ(core.deviceId, 0x0042);
    EXPECT_EQ(hidIdOf(core), "f2");
}

TEST_F(DeviceSelection, OfAnUnknownPathSelectsNothingAndKeepsTheRecord)
{
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    const auto oldSession = core.captureSession;
    const auto oldOutput = core.videoOutput;
    const auto cameraHid = hidDevice("RX710 HID", 0x2574, locationKeyOf(rx));
    const auto voxa = hidDevice("VOXA760", 0x0760, "g2");
    setHidDevices({cameraHid, voxa});
    core.setCurrentHidDevice();
    ASSERT_TRUE(core.hidDeviceSelected);
    const SelectionRecord before = recordOf(core);
    log().clear();

    EXPECT_EQ(core.setDevice("nowhere"), 0);

    EXPECT_FALSE(core.currentCamera);
    EXPECT_FALSE(core.currentHidDevice);
    EXPECT_FALSE(core.captureSession);
    EXPECT_FALSE(core.videoOutput);
    expectReleased(oldSession, oldOutput);
    expectSameRecord(before, core);

    QStringList expected{"system: setDevicePath = nowhere",
                         "qtdebug: i = 0, selectedDevicePath = " + rx + " devicePath = nowhere"};
    expected << selectionWalkLines(cameraHid) << selectionWalkLines(voxa);
    EXPECT_EQ(channelLines(log()), expected);
}

TEST_F(DeviceSelection, OfASpeakerphoneWithAnEmptyHidListFails)
{
    const QString voxaID = sim::attachSpeakerphone("VOXA760");
    MacUVCCamOC core;
    EXPECT_EQ(core.setDevice(voxaID), 0);
    EXPECT_FALSE(core.currentHidDevice);
}

// Each returns the unique ID of a camera the core must not select.
struct RefusedCameraCase {
    const char* name;
    QString (*attach)();
};

void PrintTo(const RefusedCameraCase& c, std::ostream* os) { *os << c.name; }

class DeviceSelectionRefusal : public DeviceSelection, public ::testing::WithParamInterface<RefusedCameraCase> {};

TEST_P(DeviceSelectionRefusal, KeepsTheCameraWithoutCaptureObjectsAndKeepsTheRecord)
{
    const QString rx = sim::attachCamera("RX710");
    const QString refused = GetParam().attach();
    MacUVCCamOC core;
    const auto oldSession = core.captureSession;
    const auto oldOutput = core.videoOutput;
    setHidDevices({hidDevice("RX710 HID", 0x2574, locationKeyOf(rx)), hidDevice("Its HID", 1, locationKeyOf(refused))});
    core.setCurrentHidDevice();
    ASSERT_TRUE(core.currentHidDevice);
    const SelectionRecord before = recordOf(core);

    EXPECT_EQ(core.setDevice(refused), 0);

    EXPECT_EQ(core.currentCamera, listedCamera(refused));
    EXPECT_FALSE(core.captureSession);
    EXPECT_FALSE(core.videoOutput);
    EXPECT_FALSE(core.currentHidDevice);
    expectReleased(oldSession, oldOutput);
    expectSameRecord(before, core);
    EXPECT_EQ(core.deviceUniqueId, rx);
    EXPECT_EQ(capture().sessions().size(), 1u);

    // The refused camera counts as a standing selection for an arrival.
    sim::attachCamera("LUM610");
    deliverPending();
    core.connectNewDevice();
    EXPECT_EQ(core.currentCamera, listedCamera(refused));
    EXPECT_FALSE(core.captureSession);
}

INSTANTIATE_TEST_SUITE_P(Cameras, DeviceSelectionRefusal,
    ::testing::Values(RefusedCameraCase{"OtherVendor", [] { return sim::attachOtherVendorCamera(); }},
                      RefusedCameraCase{"UnknownModel", [] { return sim::attachCameraNamed("Mystery Cam"); }}));

TEST_F(DeviceSelection, OfTheRecordedPathAfterAFailureTakesTheSameDevicePath)
{
    const QString a = sim::attachCamera("RX710");
    const QString b = sim::attachCamera("LUM610");
    MacUVCCamOC core;
    ASSERT_EQ(core.deviceUniqueId, a);
    ASSERT_EQ(core.setDevice("nowhere"), 0);

    // The record still names A, so nothing is rebuilt.
    EXPECT_EQ(core.setDevice(a), 1);
    EXPECT_FALSE(core.currentCamera);
    EXPECT_FALSE(core.captureSession);

    ASSERT_EQ(core.setDevice(b), 1);
    EXPECT_EQ(core.setDevice(a), 1);
    expectBuiltFor(core, a);
    EXPECT_EQ(core.modelName, "RX710");
}

TEST_F(DeviceSelection, OfACameraThatCannotBeOpenedSucceedsWithoutASession)
{
    sim::attachCamera("RX710");
    const QString gone = sim::attachCamera("RX240");
    MacUVCCamOC core;
    // Unplugged, but the camera manager has not heard of it yet.
    sim::detach(gone);

    EXPECT_EQ(core.setDevice(gone), 1);
    EXPECT_EQ(core.currentCamera, listedCamera(gone));
    EXPECT_EQ(core.modelName, "RX240");
    EXPECT_FALSE(core.captureSession);
}

// ---------------------------------------------------------------------------------------
// Arrival and departure

class HotPlugSelection : public SimulatedWorld {};

TEST_F(HotPlugSelection, AnArrivalLeavesAStandingSelection)
{
    const QString lum = sim::attachCamera("LUM630");
    MacUVCCamOC core;
    const auto session = core.captureSession;
    ASSERT_TRUE(session);
    sim::attachOtherVendorCamera();
    sim::attachCamera("RX240");
    deliverPending();

    core.connectNewDevice();

    EXPECT_EQ(core.cameraCount, 3u);
    EXPECT_EQ(core.currentCamera, listedCamera(lum));
    EXPECT_EQ(core.modelName, "LUM630");
    EXPECT_EQ(core.captureSession, session);
}

TEST_F(HotPlugSelection, WithNothingSelectedSelectsTheFirstMakerCameraWithAModel)
{
    MacUVCCamOC core;
    sim::attachOtherVendorCamera();
    sim::attachCameraNamed("Mystery Cam");
    const QString lum = sim::attachCamera("LUM610");
    sim::attachCamera("RX240");
    deliverPending();
    const auto hid = hidDevice("LUM610 HID", 0x6100, locationKeyOf(lum));
    setHidDevices({hidDevice("VOXA760", 0x0760, "h1"), hid});

    core.connectNewDevice();

    EXPECT_EQ(core.cameraCount, 4u);
    EXPECT_EQ(core.modelName, "LUM610");
    EXPECT_EQ(core.deviceId, kMakerVendorId);
    EXPECT_EQ(core.deviceUniqueId, lum);
    EXPECT_TRUE(core.deviceReady);
    expectBuiltFor(core, lum);
    EXPECT_EQ(capture().sessions().size(), 1u);
    EXPECT_EQ(core.currentHidDevice, hid);
}

TEST_F(HotPlugSelection, PassesOverAMakerCameraWithoutAModelRecordingNothing)
{
    MacUVCCamOC core;
    sim::attachCameraNamed("Mystery Cam");
    deliverPending();

    core.connectNewDevice();

    EXPECT_EQ(core.cameraCount, 1u);
    EXPECT_FALSE(core.currentCamera);
    EXPECT_EQ(core.deviceId, -1);
    EXPECT_TRUE(core.deviceUniqueId.isEmpty());
    EXPECT_TRUE(core.modelName.isEmpty());
    EXPECT_FALSE(core.deviceReady);
    EXPECT_FALSE(core.captureSession);
    EXPECT_FALSE(core.videoOutput);
    EXPECT_TRUE(capture().sessions().empty());
}

TEST_F(HotPlugSelection, WithoutAUsableCameraSelectsASpeakerphone)
{
    MacUVCCamOC core;
    sim::attachOtherVendorCamera();
    deliverPending();
    setHidDevices({hidDevice("VOXA30", 0x0030, "i1")});

    core.connectNewDevice();

    EXPECT_FALSE(core.currentCamera);
    EXPECT_EQ(hidIdOf(core), "i1");
    EXPECT_EQ(core.modelName, "VOXA760");
    EXPECT_EQ(core.deviceId, 0x0030);
}

TEST_F(HotPlugSelection, AnArrivalLeavesASelectedSpeakerphone)
{
    MacUVCCamOC core;
    setHidDevices({hidDevice("VOXA760", 0x0760, "j1")});
    ASSERT_EQ(core.setDevice("j1"), 1);
    const SelectionRecord before = recordOf(core);
    sim::attachCamera("RX710");
    deliverPending();

    core.connectNewDevice();

    EXPECT_EQ(core.cameraCount, 1u);
    EXPECT_FALSE(core.currentCamera);
    EXPECT_EQ(hidIdOf(core), "j1");
    EXPECT_FALSE(core.captureSession);
    expectSameRecord(before, core);
}

TEST_F(HotPlugSelection, AfterTheSelectedCameraLeftAnArrivalReleasesItsCaptureObjects)
{
    const QString a = sim::attachCamera("RX710");
    MacUVCCamOC core;
    ASSERT_EQ(core.startVideoStream(0), 0);
    const auto oldSession = core.captureSession;
    const auto oldOutput = core.videoOutput;
    sim::detach(a);
    deliverPending();
    QByteArray departed = a.toLocal8Bit();
    core.removeDeviceWithUniqueID(departed.data());
    ASSERT_EQ(core.captureSession, oldSession);

    const QString b = sim::attachCamera("ST470");
    deliverPending();
    core.connectNewDevice();

    expectReleased(oldSession, oldOutput);
    expectBuiltFor(core, b);
    EXPECT_EQ(core.modelName, "ST470");
}

TEST_F(HotPlugSelection, RemovalOfTheSelectedCameraDropsItAndKeepsTheRest)
{
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    setHidDevices({hidDevice("RX710 HID", 0x2574, locationKeyOf(rx)), hidDevice("VOXA760", 0x0760, "k1")});
    core.setCurrentHidDevice();
    ASSERT_TRUE(core.currentHidDevice);
    core.audioStarted = true;
    const auto session = core.captureSession;
    ASSERT_TRUE(session);
    const auto output = core.videoOutput;
    const SelectionRecord before = recordOf(core);
    log().clear();

    QByteArray departed = rx.toLocal8Bit();
    core.removeDeviceWithUniqueID(departed.data());

    EXPECT_FALSE(core.currentCamera);
    EXPECT_FALSE(core.currentHidDevice);
    EXPECT_FALSE(core.audioStarted);
    EXPECT_EQ(core.captureSession, session);
    EXPECT_EQ(core.videoOutput, output);
    ASSERT_EQ(simSession(session)->outputs().size(), 1u);
    expectSameRecord(before, core);
    // A camera was selected, so no speakerphone is looked for.
    EXPECT_TRUE(log().entries().empty());
}

struct ForeignIdCase {
    const char* name;
    QByteArray (*from)(const QString& selected);  // empty: a null pointer
};

void PrintTo(const ForeignIdCase& c, std::ostream* os) { *os << c.name; }

class HotPlugForeignRemoval : public HotPlugSelection, public ::testing::WithParamInterface<ForeignIdCase> {};

TEST_P(HotPlugForeignRemoval, HasNoEffect)
{
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    core.audioStarted = true;
    const auto camera = core.currentCamera;
    const SelectionRecord before = recordOf(core);
    log().clear();

    QByteArray id = GetParam().from(rx);
    core.removeDeviceWithUniqueID(id.isEmpty() ? nullptr : id.data());

    EXPECT_EQ(core.currentCamera, camera);
    EXPECT_TRUE(core.audioStarted);
    expectSameRecord(before, core);
    EXPECT_TRUE(log().entries().empty());
}

INSTANTIATE_TEST_SUITE_P(Ids, HotPlugForeignRemoval,
    ::testing::Values(ForeignIdCase{"UpperCase", [](const QString& s) { return s.toUpper().toLocal8Bit(); }},
                      ForeignIdCase{"Prefix", [](const QString& s) { return s.left(s.size() - 1).toLocal8Bit(); }},
                      ForeignIdCase{"Longer", [](const QString& s) { return (s + "0").toLocal8Bit(); }},
                      ForeignIdCase{"Null", [](const QString&) { return QByteArray(); }}));

TEST_F(HotPlugSelection, RemovalOfTheSelectedSpeakerphoneSelectsAnotherOne)
{
    MacUVCCamOC core;
    const auto first = hidDevice("VOXA760", 0x0760, "m1");
    const auto second = hidDevice("VOXA30", 0x0030, "m2");
    setHidDevices({first, second});
    ASSERT_EQ(core.setDevice("m1"), 1);
    // The HID manager lets go of it first, then the core hears of it.
    setHidDevices({second});

    char departed[] = "m1";
    core.removeDeviceWithUniqueID(departed);

    EXPECT_EQ(core.currentHidDevice, second);
    EXPECT_EQ(core.modelName, "VOXA760");
    EXPECT_EQ(core.deviceId, 0x0030);
    EXPECT_EQ(core.deviceUniqueId, "m2");
    EXPECT_TRUE(core.hidDeviceSelected);
}

TEST_F(HotPlugSelection, RemovalOfTheLastSpeakerphoneKeepsTheRecord)
{
    MacUVCCamOC core;
    setHidDevices({hidDevice("VOXA760", 0x0760, "n1")});
    ASSERT_EQ(core.setDevice("n1"), 1);
    setHidDevices({});

    char departed[] = "n1";
    core.removeDeviceWithUniqueID(departed);

    EXPECT_FALSE(core.currentHidDevice);
    EXPECT_EQ(core.modelName, "VOXA760");
    EXPECT_EQ(core.deviceId, 0x0760);
    EXPECT_EQ(core.deviceUniqueId, "n1");
    EXPECT_TRUE(core.deviceReady);
    // The search for another speakerphone found none.
    EXPECT_FALSE(core.hidDeviceSelected);
}

// ---------------------------------------------------------------------------------------
// The selected camera's HID interface, or a speakerphone

class HidInterfaceSelection : public SimulatedWorld {};

// How a HID unique ID is made from the camera's location key.
struct PairingCase {
    const char* name;
    std::vector<QString (*)(const QString& key)> hidIds;
    int chosen;  // index into hidIds, -1 for none
};

void PrintTo(const PairingCase& c, std::ostream* os) { *os << c.name; }

class HidInterfacePairing : public HidInterfaceSelection, public ::testing::WithParamInterface<PairingCase> {};

TEST_P(HidInterfacePairing, ChoosesTheFirstDeviceBeginningOrEndingWithTheLocationKey)
{
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    const QString key = locationKeyOf(rx);
    std::vector<HidPtr> devices;
    for (auto make : GetParam().hidIds)
        devices.push_back(hidDevice("VOXA760", 0x0760, make(key)));
    setHidDevices(devices);
    const SelectionRecord before = recordOf(core);
    log().clear();

    core.setCurrentHidDevice();

    if (GetParam().chosen < 0) {
        EXPECT_FALSE(core.currentHidDevice);
        EXPECT_FALSE(core.hidDeviceSelected);
    } else {
        EXPECT_EQ(core.currentHidDevice, devices[static_cast<std::size_t>(GetParam().chosen)]);
        EXPECT_TRUE(core.hidDeviceSelected);
    }
    // The camera's selection stands whatever the HID devices are called.
    EXPECT_EQ(core.modelName, "RX710");
    EXPECT_EQ(core.deviceUniqueId, before.deviceUniqueId);
    EXPECT_TRUE(log().entries().empty());
}

QString exactKey(const QString& key) { return key; }
QString keyFirst(const QString& key) { return key + "-hid"; }
QString keyLast(const QString& key) { return "hid-" + key; }
QString keyInside(const QString& key) { return "x" + key + "y"; }
QString unrelated(const QString&) { return QStringLiteral("ffffffff"); }

INSTANTIATE_TEST_SUITE_P(HidIds, HidInterfacePairing,
    ::testing::Values(PairingCase{"Exact", {exactKey}, 0},
                      PairingCase{"Prefix", {keyFirst}, 0},
                      PairingCase{"Suffix", {keyLast}, 0},
                      PairingCase{"Inside", {keyInside}, -1},
                      PairingCase{"Unrelated", {unrelated}, -1},
                      PairingCase{"Empty", {}, -1},
                      PairingCase{"FirstMatchInListOrder", {keyInside, unrelated, keyLast, exactKey, keyFirst}, 2},
                      PairingCase{"PrefixBeforeExact", {keyFirst, exactKey}, 0}));

TEST_F(HidInterfaceSelection, WithoutAMatchClearsTheDeviceButNotTheFlag)
{
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    setHidDevices({hidDevice("RX710 HID", 0x2574, locationKeyOf(rx))});
    core.setCurrentHidDevice();
    ASSERT_TRUE(core.currentHidDevice);

    setHidDevices({hidDevice("Other HID", 1, "ffffffff")});
    core.setCurrentHidDevice();

    EXPECT_FALSE(core.currentHidDevice);
    EXPECT_TRUE(core.hidDeviceSelected);
}

// A camera whose unique ID holds no location before the maker's vendor hex.
class KeylessCaptureDevice : public CaptureDevice {
public:
    explicit KeylessCaptureDevice(QString uniqueID) : uniqueID_(std::move(uniqueID)) {}
    QString uniqueID() const override { return uniqueID_; }
    QString localizedName() const override { return QStringLiteral("RX710 Conference Camera"); }
    QString modelID() const override { return QStringLiteral("UVC Camera VendorID_10811 ProductID_9588"); }
    bool hasMediaType(MediaType type) const override { return type == MediaType::Video; }
    bool isConnected() const override { return true; }

private:
    QString uniqueID_;
};

class HidInterfaceWithoutKey : public HidInterfaceSelection, public ::testing::WithParamInterface<const char*> {};

TEST_P(HidInterfaceWithoutKey, ChoosesNoHidDevice)
{
    const QString uniqueID = QString::fromLatin1(GetParam());
    MacUVCCamOC core;
    auto camera = MacCamera::initWithCaptureDevice(std::make_shared<KeylessCaptureDevice>(uniqueID));
    MacCameraManager::sharedInstance()->setMacCameraList({camera});
    ASSERT_EQ(core.setDevice(uniqueID), 1);
    setHidDevices({hidDevice("RX710 HID", 0x2574, "10100000"), hidDevice("Blank", 1, QString()),
                   hidDevice("VOXA760", 0x0760, uniqueID)});

    core.setCurrentHidDevice();

    EXPECT_EQ(core.currentCamera, camera);
    EXPECT_FALSE(core.currentHidDevice);
    EXPECT_FALSE(core.hidDeviceSelected);
}

INSTANTIATE_TEST_SUITE_P(UniqueIds, HidInterfaceWithoutKey, ::testing::Values("0x2a3b2574", "2a3b2574", "0x"));

TEST_F(HidInterfaceSelection, WithoutACameraLogsEachDeviceUntilAVoxa760OrVoxa30)
{
    MacUVCCamOC core;
    const std::vector<HidPtr> devices{
        hidDevice("VOXA760x", 0x0761, "p1"),
        hidDevice("voxa30", 0x0031, "p2", 0x1d50),
        hidDevice("VOXA30", 0x0030, "p3"),
        hidDevice("VOXA760", 0x0760, "p4"),
    };
    setHidDevices(devices);
    log().clear();

    core.setCurrentHidDevice();

    EXPECT_EQ(core.currentHidDevice, devices[2]);
    EXPECT_TRUE(core.hidDeviceSelected);
    EXPECT_TRUE(core.deviceReady);
    EXPECT_EQ(core.modelName, "VOXA760");
    EXPECT_EQ(core.deviceId, 0x0030);
    EXPECT_EQ(core.deviceUniqueId, "p3");
    QStringList expected;
    for (int i = 0; i < 3; ++i)
        expected << speakerphoneWalkLines(devices[static_cast<std::size_t>(i)]);
    EXPECT_EQ(channelLines(log()), expected);
    EXPECT_EQ(expected[9], "system: VID:1d50");
}

TEST_F(HidInterfaceSelection, WithoutACameraOrAMatchKeepsTheDeviceButClearsTheFlag)
{
    MacUVCCamOC core;
    const auto chosen = hidDevice("VOXA760", 0x0760, "q1");
    setHidDevices({chosen});
    ASSERT_EQ(core.setDevice("q1"), 1);
    const auto unnamed = hidDevice("Desk Phone", 0x0042, "q2");
    setHidDevices({unnamed});
    log().clear();

    core.setCurrentHidDevice();

    EXPECT_EQ(core.currentHidDevice, chosen);
    EXPECT_FALSE(core.hidDeviceSelected);
    EXPECT_EQ(core.deviceUniqueId, "q1");
    EXPECT_EQ(channelLines(log()), speakerphoneWalkLines(unnamed));
}

// ---------------------------------------------------------------------------------------
// A fresh video output

class CaptureResolution : public SimulatedWorld {};

TEST_F(CaptureResolution, WithoutASessionDoesNothing)
{
    sim::attachCamera("RX710");
    const QString other = sim::attachOtherVendorCamera();
    MacUVCCamOC core;
    ASSERT_EQ(core.setDevice(other), 0);
    ASSERT_FALSE(core.captureSession);

    core.resetCamResolution();

    EXPECT_FALSE(core.captureSession);
    EXPECT_FALSE(core.videoOutput);
}

TEST_F(CaptureResolution, AddsANewOutputBesideTheSilencedOldOneWithoutStopping)
{
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    ASSERT_EQ(core.startVideoStream(0), 0);
    const auto session = core.captureSession;
    ASSERT_TRUE(session);
    const auto oldOutput = core.videoOutput;

    core.resetCamResolution();

    EXPECT_EQ(core.captureSession, session);
    ASSERT_TRUE(core.videoOutput);
    EXPECT_NE(core.videoOutput, oldOutput);
    EXPECT_FALSE(oldOutput->sampleBufferDelegate());
    EXPECT_EQ(simSession(session)->outputs(), (std::vector<VideoDataOutputPtr>{oldOutput, core.videoOutput}));
    EXPECT_EQ(core.videoOutput->videoSettings(), (VideoSettings{640, 360, kPixelFormat2vuy}));
    EXPECT_TRUE(core.videoOutput->alwaysDiscardsLateVideoFrames());
    EXPECT_EQ(core.videoOutput->sampleBufferDelegate(), std::static_pointer_cast<SampleBufferDelegate>(listedCamera(rx)));
    EXPECT_TRUE(session->isRunning());
    EXPECT_TRUE(core.isStreaming);
}

// ---------------------------------------------------------------------------------------
// The video stream

class VideoStreamControl : public SimulatedWorld {};

void firstReceiver(unsigned char*, int, int, int) {}
void secondReceiver(unsigned char*, int, int, int) {}

TEST_F(VideoStreamControl, AcceptsAnIndexUpToTheCameraCount)
{
    sim::attachCamera("RX710");
    sim::attachOtherVendorCamera();
    MacUVCCamOC core;
    ASSERT_EQ(core.cameraCount, 2u);
    ASSERT_TRUE(core.captureSession);

    EXPECT_EQ(core.startVideoStream(3), -1);
    EXPECT_FALSE(core.isStreaming);
    EXPECT_FALSE(core.captureSession->isRunning());

    EXPECT_EQ(core.startVideoStream(2), 0);
    EXPECT_TRUE(core.isStreaming);
    EXPECT_TRUE(core.captureSession->isRunning());
}

TEST_F(VideoStreamControl, IsRefusedWithoutCameras)
{
    MacUVCCamOC core;
    EXPECT_EQ(core.startVideoStream(0), -1);
    EXPECT_FALSE(core.isStreaming);
}

TEST_F(VideoStreamControl, IsRefusedWithoutAMakerCamera)
{
    sim::attachOtherVendorCamera();
    MacUVCCamOC core;
    EXPECT_EQ(core.startVideoStream(0), -1);
    EXPECT_FALSE(core.isStreaming);
    EXPECT_TRUE(capture().sessions().empty());
}

TEST_F(VideoStreamControl, IsRefusedWhileASpeakerphoneIsSelected)
{
    sim::attachCamera("RX710");
    MacUVCCamOC core;
    const auto session = core.captureSession;
    ASSERT_TRUE(session);
    setHidDevices({hidDevice("VOXA760", 0x0760, "r1")});
    ASSERT_EQ(core.setDevice("r1"), 1);

    EXPECT_EQ(core.startVideoStream(0), -1);
    EXPECT_FALSE(core.isStreaming);
    EXPECT_FALSE(core.captureSession);
    EXPECT_FALSE(session->isRunning());
}

TEST_F(VideoStreamControl, StartedTwiceReusesTheSession)
{
    sim::attachCamera("RX710");
    MacUVCCamOC core;
    const auto session = core.captureSession;
    ASSERT_TRUE(session);

    EXPECT_EQ(core.startVideoStream(0), 0);
    EXPECT_EQ(core.startVideoStream(0), 0);

    EXPECT_EQ(core.captureSession, session);
    EXPECT_EQ(capture().sessions().size(), 1u);
    EXPECT_TRUE(session->isRunning());
    EXPECT_TRUE(core.isStreaming);
}

TEST_F(VideoStreamControl, StoppedTwiceRefusesTheSecondAndKeepsTheCaptureObjects)
{
    sim::attachCamera("RX710");
    MacUVCCamOC core;
    const auto session = core.captureSession;
    ASSERT_TRUE(session);
    const auto output = core.videoOutput;
    EXPECT_EQ(core.stopVideoStream(), -1);
    ASSERT_EQ(core.startVideoStream(0), 0);

    EXPECT_EQ(core.stopVideoStream(), 0);
    EXPECT_EQ(core.stopVideoStream(), -1);

    EXPECT_FALSE(core.isStreaming);
    EXPECT_FALSE(session->isRunning());
    EXPECT_EQ(core.captureSession, session);
    EXPECT_EQ(core.videoOutput, output);
    EXPECT_EQ(simSession(session)->outputs().size(), 1u);

    EXPECT_EQ(core.startVideoStream(0), 0);
    EXPECT_EQ(core.captureSession, session);
    EXPECT_TRUE(session->isRunning());
}

TEST_F(VideoStreamControl, AFrameReceiverSetDuringAStreamTakesEffectAtTheNextStart)
{
    sim::attachCamera("RX710");
    MacUVCCamOC core;
    ASSERT_TRUE(core.currentCamera);
    ASSERT_EQ(core.startVideoStream(0), 0);
    // None was set, so the camera has none.
    EXPECT_EQ(core.currentCamera->videoCallback(), nullptr);
    ASSERT_EQ(core.stopVideoStream(), 0);

    ASSERT_EQ(core.setVideoCallback(firstReceiver), 0);
    ASSERT_EQ(core.startVideoStream(0), 0);
    EXPECT_EQ(core.currentCamera->videoCallback(), &firstReceiver);

    ASSERT_EQ(core.setVideoCallback(secondReceiver), 0);
    EXPECT_EQ(core.currentCamera->videoCallback(), &firstReceiver);

    ASSERT_EQ(core.stopVideoStream(), 0);
    ASSERT_EQ(core.startVideoStream(0), 0);
    EXPECT_EQ(core.currentCamera->videoCallback(), &secondReceiver);
}

TEST_F(VideoStreamControl, StreamsTheSelectedCameraWhateverTheIndex)
{
    const QString lum = sim::attachCamera("LUM610");
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    const auto first = core.captureSession;
    ASSERT_TRUE(first);
    ASSERT_EQ(core.setDevice(rx), 1);
    ASSERT_EQ(core.setVideoCallback(firstReceiver), 0);

    EXPECT_EQ(core.startVideoStream(0), 0);

    auto session = simSession(core.captureSession);
    ASSERT_TRUE(session);
    EXPECT_TRUE(session->isRunning());
    ASSERT_EQ(session->inputs().size(), 1u);
    EXPECT_EQ(session->inputs()[0]->device()->uniqueID(), rx);
    EXPECT_FALSE(first->isRunning());
    EXPECT_EQ(listedCamera(rx)->videoCallback(), &firstReceiver);
    EXPECT_EQ(listedCamera(lum)->videoCallback(), nullptr);
}

TEST_F(VideoStreamControl, OfACameraWithoutCaptureObjectsBuildsAndStartsThem)
{
    sim::attachCamera("RX710");
    const QString mystery = sim::attachCameraNamed("Mystery Cam");
    MacUVCCamOC core;
    // Refused as a selection, yet it is the current camera.
    ASSERT_EQ(core.setDevice(mystery), 0);
    ASSERT_FALSE(core.captureSession);
    ASSERT_EQ(core.setVideoCallback(firstReceiver), 0);

    EXPECT_EQ(core.startVideoStream(0), 0);

    auto session = simSession(core.captureSession);
    ASSERT_TRUE(session);
    EXPECT_TRUE(session->isRunning());
    EXPECT_TRUE(core.isStreaming);
    ASSERT_EQ(session->inputs().size(), 1u);
    EXPECT_EQ(session->inputs()[0]->device()->uniqueID(), mystery);
    EXPECT_EQ(session->outputs(), std::vector<VideoDataOutputPtr>{core.videoOutput});
    ASSERT_TRUE(core.videoOutput);
    EXPECT_EQ(core.videoOutput->videoSettings(), (VideoSettings{640, 360, kPixelFormat2vuy}));
    EXPECT_TRUE(core.videoOutput->alwaysDiscardsLateVideoFrames());
    EXPECT_EQ(core.videoOutput->sampleBufferDelegate(), std::static_pointer_cast<SampleBufferDelegate>(listedCamera(mystery)));
    EXPECT_EQ(listedCamera(mystery)->videoCallback(), &firstReceiver);
}

TEST_F(VideoStreamControl, OfACameraThatCannotBeOpenedIsRefused)
{
    sim::attachCamera("RX710");
    const QString gone = sim::attachCamera("LUM250");
    MacUVCCamOC core;
    const auto first = core.captureSession;
    ASSERT_TRUE(first);
    sim::detach(gone);
    ASSERT_EQ(core.setDevice(gone), 1);
    ASSERT_FALSE(core.captureSession);

    EXPECT_EQ(core.startVideoStream(0), -1);

    EXPECT_FALSE(core.isStreaming);
    EXPECT_FALSE(core.captureSession);
    EXPECT_FALSE(first->isRunning());
    EXPECT_EQ(core.stopVideoStream(), -1);
}

// A frame's pixels whose base address is readable only while locked.
class FramePixels : public PixelBuffer {
public:
    FramePixels(std::size_t bytesPerRow, std::size_t height, unsigned char fill)
        : bytes_(bytesPerRow * height, fill), bytesPerRow_(bytesPerRow), height_(height)
    {
        if (!bytes_.empty())
            bytes_.back() = static_cast<unsigned char>(fill + 1);
    }
    void lockBaseAddress() override { ++locks; }
    void unlockBaseAddress() override { ++unlocks; }
    std::uint8_t* baseAddress() override { return locks > unlocks ? bytes_.data() : nullptr; }
    std::size_t bytesPerRow() const override { return bytesPerRow_; }
    std::size_t width() const override { return bytesPerRow_ / 2; }
    std::size_t height() const override { return height_; }

    const std::vector<unsigned char>& bytes() const { return bytes_; }
    int locks = 0;
    int unlocks = 0;

private:
    std::vector<unsigned char> bytes_;
    std::size_t bytesPerRow_;
    std::size_t height_;
};

TEST_F(VideoStreamControl, PixelBufferIsNoneWithoutAFrame)
{
    sim::attachCamera("RX710");
    MacUVCCamOC core;
    EXPECT_EQ(core.GetPixelBuffer(), nullptr);
    ASSERT_EQ(core.startVideoStream(0), 0);
    EXPECT_EQ(core.GetPixelBuffer(), nullptr);
}

TEST_F(VideoStreamControl, PixelBufferCopiesTheFrameHeldWhenTheCaptureObjectsWereBuilt)
{
    sim::attachCamera("LUM610");
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    auto held = std::make_shared<FramePixels>(1280, 3, 0x40);
    listedCamera(rx)->setPixelBuffer(held);
    ASSERT_EQ(core.setDevice(rx), 1);
    // A later frame replaces the camera's buffer, not the core's.
    auto later = std::make_shared<FramePixels>(1280, 3, 0x70);
    listedCamera(rx)->setPixelBuffer(later);

    const unsigned char* copy = core.GetPixelBuffer();

    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, held->bytes().data());
    EXPECT_EQ(std::vector<unsigned char>(copy, copy + held->bytes().size()), held->bytes());
    EXPECT_EQ(held->locks, 1);
    EXPECT_EQ(held->unlocks, 1);
    EXPECT_EQ(later->locks, 0);
}

TEST_F(VideoStreamControl, PixelBufferOfAnEmptyFrameIsNone)
{
    sim::attachCamera("LUM610");
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    auto empty = std::make_shared<FramePixels>(1280, 0, 0);
    listedCamera(rx)->setPixelBuffer(empty);
    ASSERT_EQ(core.setDevice(rx), 1);

    EXPECT_EQ(core.GetPixelBuffer(), nullptr);
    EXPECT_EQ(empty->locks, empty->unlocks);
}

}  // namespace
