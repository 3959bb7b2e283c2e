// The device core's device list, presence check, selection, hot-plug handling and video stream.
#include "mac/MacUVCCamOC.h"

#include "UVCCamSimulation.h"
#include "mac/MacCameraManager.h"
#include "mac/MacHidDeviceManager.h"
#include "platform/Log.h"
#include "platform/sim/PixelBufferSim.h"
#include "support/SimulatedWorld.h"

#include <algorithm>
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
using HidList = MacHidDeviceManager::HidDeviceList;
using Outputs = std::vector<VideoDataOutputPtr>;
using Listed = std::vector<std::tuple<int, QString, QString>>;
// deviceId, modelName, deviceUniqueId, deviceReady, hidDeviceSelected.
using Record = std::tuple<std::int32_t, QString, QString, bool, bool>;
using Results = std::vector<int>;
using Held = std::pair<CaptureSessionPtr, VideoDataOutputPtr>;

constexpr int kMaker = 10811;

HidPtr hid(const QString& name, std::uint32_t productId, const QString& uniqueID, std::uint32_t vendorId = 0x2A3B)
{
    auto device = std::make_shared<MacHidDevice>();
    device->setDeviceName(name);
    device->setProductId(productId);
    device->setVendorId(vendorId);
    device->setDeviceUniqueID(uniqueID);
    return device;
}

// What the HID manager lists; the core's start-up empties the list, so set it afterwards.
void setHids(const HidList& list) { MacHidDeviceManager::sharedInstance()->setMacHidDeviceList(list); }

// The HID unique ID of a camera's own HID interface: the camera's location in hex.
QString keyOf(const QString& cameraID) { return cameraID.mid(2, 8); }

std::shared_ptr<MacCamera> listed(const QString& uniqueID)
{
    const auto cameras = MacCameraManager::sharedInstance()->macCameraList();
    const auto it = std::find_if(cameras.begin(), cameras.end(),
                                 [&](const auto& camera) { return camera->deviceUniqueID() == uniqueID; });
    return it == cameras.end() ? nullptr : *it;
}

Outputs outputsOf(const CaptureSessionPtr& session) { return std::dynamic_pointer_cast<CaptureSessionSim>(session)->outputs(); }
std::shared_ptr<SampleBufferDelegate> asDelegate(std::shared_ptr<MacCamera> camera) { return camera; }

Listed listOf(MacUVCCamOC& core)
{
    Listed result;
    for (const auto& info : core.getDeviceList())
        result.emplace_back(info.deviceId, info.modelName, info.deviceUniqueId);
    return result;
}

Record recordOf(const MacUVCCamOC& core)
{
    return Record(core.deviceId, core.modelName, core.deviceUniqueId, core.deviceReady, core.hidDeviceSelected);
}

void remove(MacUVCCamOC& core, const QString& id) { core.removeDeviceWithUniqueID(id.toLocal8Bit().data()); }

// The lines a HID walk writes for one device: setDevice's search, or (framed) the
// speakerphone search of setCurrentHidDevice.
QStringList walkLines(const HidPtr& device, bool framed)
{
    QStringList lines;
    if (framed)
        lines << "system: ---------------setCurrentHidDevice-----------------";
    lines << "system: Dev:" + device->deviceName()
          << QStringLiteral("system: PID:%1").arg(device->productId(), 4, 16, QLatin1Char('0'))
          << QStringLiteral("system: VID:%1").arg(device->vendorId(), 4, 16, QLatin1Char('0'))
          << "system: UID:" + device->deviceUniqueID()
          << (framed ? "system: ---------------------------------------------------" : "system: ----------------------");
    return lines;
}

// Capture objects as the core builds them: the camera as the one input, one output
// delivering to the camera.
void expectBuiltFor(const MacUVCCamOC& core, const QString& cameraID, bool running = false)
{
    auto session = std::dynamic_pointer_cast<CaptureSessionSim>(core.captureSession);
    ASSERT_TRUE(session && core.currentCamera && core.videoOutput);
    EXPECT_EQ(core.currentCamera, listed(cameraID));
    ASSERT_EQ(session->inputs().size(), 1u);
    EXPECT_EQ(session->inputs()[0]->device()->uniqueID(), cameraID);
    EXPECT_EQ(session->outputs(), Outputs{core.videoOutput});
    EXPECT_EQ(core.videoOutput->sampleBufferDelegate(), asDelegate(core.currentCamera));
    EXPECT_EQ(core.videoOutput->videoSettings(), (VideoSettings{640, 360, kPixelFormat2vuy}));
    EXPECT_TRUE(core.videoOutput->alwaysDiscardsLateVideoFrames());
    EXPECT_EQ(session->isRunning(), running);
}

Held heldBy(const MacUVCCamOC& core) { return {core.captureSession, core.videoOutput}; }

// Capture objects the core has let go of: stopped, the output taken out and silenced.
void expectReleased(const Held& held)
{
    const auto& [session, output] = held;
    ASSERT_TRUE(session && output);
    EXPECT_FALSE(session->isRunning());
    EXPECT_TRUE(outputsOf(session).empty());
    EXPECT_FALSE(output->sampleBufferDelegate());
}

class Core : public SimulatedWorld {
protected:
    // Attachments and unplugs as the camera manager hears of them.
    QString arrived(const QString& id)
    {
        deliverPending();
        return id;
    }
    void unplug(const QString& id)
    {
        sim::detach(id);
        deliverPending();
    }
    // Every message on every channel, in order, as "channel: text".
    QStringList lines()
    {
        QStringList result;
        for (const auto& entry : log().entries())
            result << QStringLiteral("%1: %2").arg(QLatin1String(logChannelName(entry.channel)), entry.message);
        return result;
    }
};

using DeviceListing = Core;
using DeviceSelection = Core;
using HotPlugSelection = Core;
using HidInterfaceSelection = Core;
using VideoStreamControl = Core;

void firstReceiver(unsigned char*, int, int, int) {}
void secondReceiver(unsigned char*, int, int, int) {}

TEST_F(DeviceListing, ListsNamedMakerCamerasThenVoxaHidsAndAnArrivalTakesTheFirstNamedMakerCamera)
{
    MacUVCCamOC core;
    EXPECT_TRUE(core.getDeviceList().isEmpty());
    EXPECT_FALSE(core.findDevice());
    EXPECT_TRUE(log().entries().empty());
    sim::attachOtherVendorCamera();
    arrived(sim::attachCameraNamed("Mystery Cam"));
    core.connectNewDevice();
    EXPECT_FALSE(core.currentCamera);
    EXPECT_EQ(recordOf(core), Record(-1, "", "", false, false));
    EXPECT_TRUE(capture().sessions().empty());

    const QString plus = arrived(sim::attachCamera("RX710+"));
    const auto plusHid = hid("Camera HID", 0x2574, keyOf(plus));
    setHids({hid("VOXA30", 0x0030, "a1"), plusHid, hid("VOXA760", 0x0760, "a3"), hid("VOXAxyz", 0x0099, "a4"),
             hid("voxa760", 0x0761, "a5"), hid("XVOXA760", 0x0762, "a6")});
    core.connectNewDevice();
    EXPECT_EQ(recordOf(core), Record(kMaker, "RX710+", plus, true, true));
    expectBuiltFor(core, plus);
    EXPECT_EQ(core.currentHidDevice, plusHid);
    // Arriving after the speakerphones are known, a camera is still listed before them.
    const QString st = arrived(sim::attachCamera("ST470"));
    EXPECT_EQ(listOf(core), (Listed{{kMaker, "RX710+", plus}, {kMaker, "ST470", st}, {0x0030, "VOXA760", "a1"},
                                    {0x0760, "VOXA760", "a3"}, {0x0099, "VOXA760", "a4"}}));
    // Every camera counts, listed or not.
    EXPECT_EQ(core.cameraCount, 4u);
}

TEST_F(DeviceSelection, StartUpBuildsTheFirstCamerasChainStoppedAndRunAgainReleasesItForANewOne)
{
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    expectBuiltFor(core, rx);
    EXPECT_EQ(capture().sessions().size(), 1u);
    const Held old = heldBy(core);
    old.first->startRunning();
    EXPECT_EQ(core.init(), 0);
    EXPECT_NE(core.captureSession, old.first);
    expectBuiltFor(core, rx);
    expectReleased(old);
}

TEST_F(DeviceSelection, OfAHidDeviceReleasesTheCameraAndPresenceThenComparesTheRecordWithVoxaHidDevices)
{
    const QString rx = sim::attachCamera("RX710");
    const QString lum = sim::attachCamera("LUM610");
    const QString other = sim::attachOtherVendorCamera();
    MacUVCCamOC core;
    const Held old = heldBy(core);
    log().clear();
    EXPECT_TRUE(core.findDevice());
    EXPECT_EQ(lines(), (QStringList{"system: find corvane device", "system: find corvane device"}));
    // Unplugged, but nobody told the core: its camera and record still agree.
    unplug(rx);
    EXPECT_TRUE(core.findDevice());
    EXPECT_EQ(core.cameraCount, 2u);
    // Selecting a HID device releases the camera and logs the HID walk.
    const HidList hids{hid("voxa760", 0x0760, "d1"), hid("VOXA760", 0x0042, "e1")};
    setHids(hids);
    core.hidDeviceSelected = false;  // start-up paired the camera's HID interface; the selection must say so anew
    log().clear();
    ASSERT_EQ(core.setDevice("e1"), 1);
    EXPECT_FALSE(core.currentCamera || core.captureSession);
    expectReleased(old);
    EXPECT_EQ(core.currentHidDevice, hids[1]);
    EXPECT_EQ(recordOf(core), Record(0x0042, "VOXA760", "e1", true, true));
    EXPECT_EQ(lines(), QStringList({"system: setDevicePath = e1",
                                    "qtdebug: i = 0, selectedDevicePath = " + lum + " devicePath = e1",
                                    "qtdebug: i = 1, selectedDevicePath = " + other + " devicePath = e1"})
                           + walkLines(hids[0], false) + walkLines(hids[1], false)
                           + QStringList({"system: dev.deviceUniqueID = e1", "system: Found Voxa760"}));
    // The record names a speakerphone and a refused camera is held: while a maker camera
    // is attached, no HID device is looked at.
    EXPECT_TRUE(core.findDevice());
    ASSERT_EQ(core.setDevice(other), 0);
    ASSERT_TRUE(core.currentCamera);
    EXPECT_FALSE(core.findDevice());
    // Without one, the speakerphones are looked at though a camera is held.
    unplug(lum);
    log().clear();
    EXPECT_TRUE(core.findDevice());
    EXPECT_TRUE(log().entries().empty());
    // Selection by unique ID ignores the name; presence does not.
    ASSERT_EQ(core.setDevice("d1"), 1);
    EXPECT_FALSE(core.findDevice());
    // Once the HID manager no longer lists it, it is gone.
    ASSERT_EQ(core.setDevice("e1"), 1);
    setHids({hids[0]});
    EXPECT_FALSE(core.findDevice());
}

TEST_F(DeviceSelection, OfACameraReleasesThePreviousOneAndBuildsItsOwnButOfTheRecordedPathRebuildsNothing)
{
    const QString lum = sim::attachCamera("LUM610");
    const QString plus = sim::attachCamera("RX710+");
    const QString other = sim::attachOtherVendorCamera();
    MacUVCCamOC core;
    const Held old = heldBy(core);
    ASSERT_EQ(core.startVideoStream(0), 0);
    const auto plusHid = hid("RX710+ HID", 0x2575, keyOf(plus));
    setHids({hid("LUM610 HID", 0x6100, keyOf(lum)), plusHid});
    log().clear();
    EXPECT_EQ(core.setDevice(plus), 1);
    EXPECT_EQ(recordOf(core), Record(kMaker, "RX710+", plus, true, true));
    expectBuiltFor(core, plus);
    expectReleased(old);
    // The HID interface is chosen after the camera.
    EXPECT_EQ(core.currentHidDevice, plusHid);
    EXPECT_EQ(lines(), (QStringList{"system: setDevicePath = " + plus,
                                    "qtdebug: i = 0, selectedDevicePath = " + lum + " devicePath = " + plus,
                                    "qtdebug: i = 1, selectedDevicePath = " + plus + " devicePath = " + plus,
                                    "system: selectedCamera.deviceUniqueID = " + plus,
                                    "qtdebug: i = 2, selectedDevicePath = " + other + " devicePath = " + plus}));

    // The recorded path again: nothing is rebuilt, the HID interface is looked for again.
    ASSERT_EQ(core.startVideoStream(0), 0);
    const auto session = core.captureSession;
    const auto again = hid("RX710+ HID", 0x2575, keyOf(plus));
    setHids({again});
    log().clear();
    EXPECT_EQ(core.setDevice(plus), 1);
    EXPECT_EQ(core.captureSession, session);
    EXPECT_TRUE(session->isRunning());
    EXPECT_EQ(core.currentHidDevice, again);
    EXPECT_EQ(lines(), QStringList{"system: setDevicePath = " + plus});
    // After a failure the record still names it: success, yet nothing is selected.
    ASSERT_EQ(core.setDevice("nowhere"), 0);
    EXPECT_EQ(core.setDevice(plus), 1);
    EXPECT_FALSE(core.currentCamera || core.captureSession);
}

// What attaches the device and gives the path to ask for; whether the refused camera stays
// in currentCamera.
using RefusalCase = std::tuple<QString (*)(), bool>;

class DeviceSelectionRefusal : public Core, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(DeviceSelectionRefusal, ReleasesTheCaptureObjectsAndKeepsTheRecord)
{
    const auto& [attach, holdsTheCamera] = GetParam();
    const QString rx = sim::attachCamera("RX710");
    const QString refused = attach();
    MacUVCCamOC core;
    const Held old = heldBy(core);
    setHids({hid("RX710 HID", 0x2574, keyOf(rx)), hid("Its HID", 1, keyOf(refused)), hid("VOXA760", 0x0760, "g2")});
    core.setCurrentHidDevice();
    ASSERT_TRUE(core.currentHidDevice);
    const Record before = recordOf(core);
    EXPECT_EQ(core.setDevice(refused), 0);
    EXPECT_EQ(core.currentCamera, holdsTheCamera ? listed(refused) : nullptr);
    EXPECT_FALSE(core.captureSession || core.currentHidDevice);
    expectReleased(old);
    EXPECT_EQ(recordOf(core), before);
    if (!holdsTheCamera)
        return;
    // The refused camera counts as a standing selection for an arrival, and streams.
    arrived(sim::attachCamera("LUM610"));
    core.connectNewDevice();
    EXPECT_EQ(core.currentCamera, listed(refused));
    EXPECT_EQ(capture().sessions().size(), 1u);
    ASSERT_EQ(core.setVideoCallback(firstReceiver), 0);
    EXPECT_EQ(core.startVideoStream(0), 0);
    expectBuiltFor(core, refused, true);
    EXPECT_EQ(listed(refused)->videoCallback(), &firstReceiver);
}

INSTANTIATE_TEST_SUITE_P(Paths, DeviceSelectionRefusal,
    // Another vendor's camera is refused even under a name the model table knows.
    ::testing::Values(RefusalCase{[] { return sim::attachOtherVendorCamera("RX710 Conference Camera"); }, true},
                      RefusalCase{[] { return sim::attachCameraNamed("Mystery Cam"); }, true},
                      RefusalCase{[] { return QStringLiteral("0x99999999"); }, false}));

TEST_F(HotPlugSelection, RemovalOfTheSelectedCameraDropsItAndTheNextArrivalReleasesItsCaptureObjects)
{
    const QString rx = sim::attachCamera("RX710");
    MacUVCCamOC core;
    ASSERT_EQ(core.startVideoStream(0), 0);
    setHids({hid("RX710 HID", 0x2574, keyOf(rx)), hid("VOXA760", 0x0760, "k1")});
    core.setCurrentHidDevice();
    ASSERT_TRUE(core.currentHidDevice);
    core.audioStarted = true;
    const auto camera = core.currentCamera;
    const Held held = heldBy(core);
    const Record before = recordOf(core);
    // IDs that only resemble the selected one change nothing.
    for (const QString& id : {rx.toUpper(), rx.left(rx.size() - 1), rx + "0"})
        remove(core, id);
    core.removeDeviceWithUniqueID(nullptr);
    EXPECT_EQ(core.currentCamera, camera);
    EXPECT_TRUE(core.audioStarted);

    unplug(rx);
    remove(core, rx);
    EXPECT_FALSE(core.currentCamera || core.currentHidDevice || core.audioStarted);
    EXPECT_EQ(heldBy(core), held);
    EXPECT_EQ(outputsOf(held.first), Outputs{held.second});
    // A camera was selected, so no speakerphone is looked for.
    EXPECT_EQ(recordOf(core), before);

    const QString st = arrived(sim::attachCamera("ST470"));
    core.connectNewDevice();
    expectReleased(held);
    expectBuiltFor(core, st);
}

// A camera whose unique ID holds no location before the maker's vendor hex.
class KeylessCaptureDevice : public CaptureDevice {
public:
    explicit KeylessCaptureDevice(QString uniqueID) : uniqueID_(std::move(uniqueID)) {}
    QString uniqueID() const override { return uniqueID_; }
    QString localizedName() const override { return {}; }
    QString modelID() const override { return {}; }
    bool hasMediaType(MediaType) const override { return true; }
    bool isConnected() const override { return true; }

private:
    QString uniqueID_;
};

TEST_F(HidInterfaceSelection, PairsTheFirstDeviceBeginningOrEndingWithTheCamerasLocationKey)
{
    const QString rx = sim::attachCamera("RX710");
    const QString k = keyOf(rx);
    MacUVCCamOC core;
    const struct {
        QStringList hidIds;
        int chosen;  // -1 for none
    } cases[] = {{{k}, 0}, {{k + "-hid"}, 0}, {{"hid-" + k}, 0}, {{"x" + k + "y"}, -1}, {{"ffffffff"}, -1}, {{}, -1},
                 {{"x" + k + "y", "ffffffff", "hid-" + k, k, k + "-hid"}, 2}, {{k + "-hid", k}, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hidIds.join(' ').toStdString());
        HidList devices;
        for (const auto& id : c.hidIds)
            devices << hid("VOXA760", 0x0760, id);
        setHids(devices);
        core.hidDeviceSelected = false;  // it outlives a failed search; see below
        log().clear();
        core.setCurrentHidDevice();
        EXPECT_EQ(core.currentHidDevice, c.chosen < 0 ? nullptr : devices.value(c.chosen));
        // The camera's selection stands whatever the HID devices are called.
        EXPECT_EQ(recordOf(core), Record(kMaker, "RX710", rx, true, c.chosen >= 0));
        EXPECT_TRUE(log().entries().empty());
    }
    setHids({hid("VOXA760", 0x0760, "ffffffff")});
    core.setCurrentHidDevice();
    EXPECT_EQ(std::pair(bool(core.currentHidDevice), core.hidDeviceSelected), std::pair(false, true));
    // A camera without a location key has no HID interface, not even an empty-named one.
    for (const QString id : {"0x2a3b2574", "2a3b2574", "0x"}) {
        core.currentCamera = MacCamera::initWithCaptureDevice(std::make_shared<KeylessCaptureDevice>(id));
        ASSERT_TRUE(core.currentCamera);
        setHids({hid("Blank", 1, QString()), hid("RX710 HID", 0x2574, "10100000"), hid("VOXA760", 0x0760, id)});
        core.hidDeviceSelected = false;
        core.setCurrentHidDevice();
        EXPECT_FALSE(core.currentHidDevice || core.hidDeviceSelected) << id.toStdString();
    }
}

TEST_F(HidInterfaceSelection, WithoutACameraLogsEachDeviceUntilAVoxa760OrVoxa30AndOnRemovalLooksAgain)
{
    MacUVCCamOC core;
    const HidList devices{hid("VOXA760x", 0x0761, "p1"), hid("voxa30", 0x0031, "p2", 0x1d50),
                          hid("VOXA30", 0x0030, "p3"), hid("VOXA760", 0x0760, "p4")};
    setHids(devices);
    log().clear();
    core.setCurrentHidDevice();
    EXPECT_EQ(core.currentHidDevice, devices[2]);
    EXPECT_EQ(recordOf(core), Record(0x0030, "VOXA760", "p3", true, true));
    const QStringList expected = walkLines(devices[0], true) + walkLines(devices[1], true) + walkLines(devices[2], true);
    EXPECT_EQ(lines(), expected);
    EXPECT_EQ(expected[9], "system: VID:1d50");
    // Without a match the device stays and only the flag is cleared.
    setHids({devices[0]});
    log().clear();
    core.setCurrentHidDevice();
    EXPECT_EQ(core.currentHidDevice, devices[2]);
    EXPECT_EQ(recordOf(core), Record(0x0030, "VOXA760", "p3", true, false));
    EXPECT_EQ(lines(), walkLines(devices[0], true));

    // Its removal looks for another speakerphone (the HID discovery tests find one through
    // the interface); finding none, only the flag says so.
    setHids({});
    remove(core, "p3");
    EXPECT_FALSE(core.currentHidDevice);
    EXPECT_EQ(recordOf(core), Record(0x0030, "VOXA760", "p3", true, false));
}

TEST_F(VideoStreamControl, NeedsAHeldMakerCameraReusesItsSessionAndTakesFreshOutputsOnAResolutionReset)
{
    MacUVCCamOC core;
    EXPECT_EQ((Results{core.startVideoStream(0), core.stopVideoStream()}), (Results{-1, -1}));
    const QString other = arrived(sim::attachOtherVendorCamera());
    EXPECT_EQ(core.startVideoStream(0), -1);
    // A maker camera is attached, but the core holds none.
    const QString rx = arrived(sim::attachCamera("RX710"));
    EXPECT_EQ(core.startVideoStream(0), -1);
    EXPECT_TRUE(capture().sessions().empty());
    core.connectNewDevice();
    const auto [session, output] = heldBy(core);
    // The index only has to be within the camera count.
    ASSERT_EQ(core.cameraCount, 2u);
    EXPECT_EQ(core.startVideoStream(3), -1);
    EXPECT_FALSE(core.isStreaming || session->isRunning());
    EXPECT_EQ((Results{core.startVideoStream(2), core.startVideoStream(0)}), (Results{0, 0}));
    EXPECT_TRUE(core.isStreaming && session->isRunning());
    EXPECT_EQ((Results{core.stopVideoStream(), core.stopVideoStream()}), (Results{0, -1}));
    EXPECT_FALSE(core.isStreaming || session->isRunning());
    EXPECT_EQ(outputsOf(session), Outputs{output});
    EXPECT_EQ(core.startVideoStream(0), 0);
    EXPECT_EQ(core.captureSession, session);
    EXPECT_TRUE(session->isRunning());

    // A fresh output joins the running session beside the silenced old one.
    core.resetCamResolution();
    EXPECT_EQ(core.captureSession, session);
    ASSERT_TRUE(core.videoOutput);
    EXPECT_FALSE(output->sampleBufferDelegate());
    EXPECT_EQ(outputsOf(session), (Outputs{output, core.videoOutput}));
    EXPECT_EQ(core.videoOutput->videoSettings(), (VideoSettings{640, 360, kPixelFormat2vuy}));
    EXPECT_EQ(core.videoOutput->sampleBufferDelegate(), asDelegate(listed(rx)));
    EXPECT_TRUE(session->isRunning());
    // Without a session there is nothing to reset.
    ASSERT_EQ(core.setDevice(other), 0);
    core.resetCamResolution();
    EXPECT_FALSE(core.videoOutput);
}

TEST_F(VideoStreamControl, StreamsAndCopiesFramesOfTheSelectedCameraAndRefusesOneNotOpened)
{
    const QString lum = sim::attachCamera("LUM610");
    const QString rx = sim::attachCamera("RX710");
    const QString gone = sim::attachCamera("RX240");
    MacUVCCamOC core;
    EXPECT_EQ(core.GetPixelBuffer(), nullptr);
    auto held = std::make_shared<PixelBufferSim>(64, 4);
    held->drawTestFrame(7);
    listed(rx)->setPixelBuffer(held);
    ASSERT_EQ(core.setDevice(rx), 1);
    // A later frame replaces the camera's buffer, not the one the capture objects took.
    listed(rx)->setPixelBuffer(std::make_shared<PixelBufferSim>(64, 4));
    const unsigned char* copy = core.GetPixelBuffer();
    ASSERT_TRUE(copy && copy != held->pixels());
    EXPECT_EQ(std::vector<unsigned char>(copy, copy + held->bytesPerRow() * 4),
              std::vector<unsigned char>(held->pixels(), held->pixels() + held->bytesPerRow() * 4));
    EXPECT_FALSE(held->isLocked());

    ASSERT_EQ(core.startVideoStream(0), 0);
    expectBuiltFor(core, rx, true);
    EXPECT_EQ(listed(rx)->videoCallback(), nullptr);
    ASSERT_EQ((Results{core.stopVideoStream(), core.setVideoCallback(firstReceiver), core.startVideoStream(0)}),
              (Results{0, 0, 0}));
    EXPECT_EQ(listed(rx)->videoCallback(), &firstReceiver);
    // Set during a stream, a receiver takes effect at the next start.
    ASSERT_EQ(core.setVideoCallback(secondReceiver), 0);
    EXPECT_EQ(listed(rx)->videoCallback(), &firstReceiver);
    ASSERT_EQ((Results{core.stopVideoStream(), core.startVideoStream(0), core.stopVideoStream()}), (Results{0, 0, 0}));
    EXPECT_EQ(listed(rx)->videoCallback(), &secondReceiver);
    EXPECT_EQ(listed(lum)->videoCallback(), nullptr);

    // Unplugged, but the camera manager has not heard of it yet: selected, not opened.
    sim::detach(gone);
    listed(gone)->setPixelBuffer(std::make_shared<PixelBufferSim>(64, 0));
    EXPECT_EQ(core.setDevice(gone), 1);
    EXPECT_EQ(core.currentCamera, listed(gone));
    EXPECT_FALSE(core.captureSession);
    EXPECT_EQ(core.GetPixelBuffer(), nullptr);
    EXPECT_EQ((Results{core.startVideoStream(0), core.stopVideoStream()}), (Results{-1, -1}));
}

}  // namespace
