// The facade: its meta-object, forwarding to the core, and the callbacks that become signals.
#include "mac/MacUVCCam.h"

#include "UVCCamSimulation.h"
#include "mac/MacCameraManager.h"
#include "mac/MacHotKeyManager.h"
#include "support/SimulatedWorld.h"

#include <QMetaMethod>

#include <limits>
#include <type_traits>
#include <memory>

namespace {

using uvccam::testing::SimulatedWorld;
using uvccam::platform::LogChannel;

QStringList g_trace;

// A core that records each call it receives and answers with values a test can tell apart.
class RecordingCore : public MacUVCCamOC {
public:
    bool selectionAttached = true;

    int setDevice(QString path) override { return record("setDevice " + path, 1); }
    int getExProperty(unsigned short s, void* d, unsigned int l, int u) override { return record(args("getExProperty", s, d, l, u), 2); }
    int setExProperty(unsigned short s, void* d, unsigned int l, int u) override { return record(args("setExProperty", s, d, l, u), 3); }
    int getProperty(int p, int* v) override { return record(args("getProperty", p, v), 4); }
    int setProperty(int p, int v, bool a) override { return record(args("setProperty", p, v, a), 5); }
    int getUACHidProperty(unsigned short s, void* d, unsigned int l) override { return record(args("getUACHidProperty", s, d, l), 6); }
    int setUACHidProperty(unsigned short s, void* d, unsigned int l) override { return record(args("setUACHidProperty", s, d, l), 7); }
    int setExHidProperty(void* d, unsigned int l) override { return record(args("setExHidProperty", d, l), 8); }
    int setExHidReport(void* d, unsigned int l, int m) override { return record(args("setExHidReport", d, l, m), 9); }
    int getExHidReport(void* d, unsigned int l) override { return record(args("getExHidReport", d, l), 10); }
    int getPropertyRange(int p, int* a, int* b, int* c) override { return record(args("getPropertyRange", p, a, b, c), 11); }
    int startVideoStream(unsigned int i) override { return record(args("startVideoStream", i), 12); }
    int stopVideoStream() override { return record("stopVideoStream", 13); }
    int setVideoCallback(VideoFrameCallback) override { return record("setVideoCallback", 14); }
    unsigned char* GetPixelBuffer() override { record("GetPixelBuffer", 0); return pixels; }
    bool findDevice() override { record("findDevice", 0); return selectionAttached; }
    void setProtocolMode(int m) override { record(args("setProtocolMode", m), 0); }
    QList<DeviceInfo> getDeviceList() override { record("getDeviceList", 0); return {DeviceInfo{7, "RX240", "id"}}; }
    QString getCameraSerialNum() override { record("getCameraSerialNum", 0); return "SN-1"; }
    void resetCamResolution() override { record("resetCamResolution", 0); }
    int startAudioRecording(int v, QString t) override { return record(args("startAudioRecording", v) + " " + t, audioResult); }
    int startAudioPlaying(QString t) override { return record("startAudioPlaying " + t, 16); }
    int getSpeakerVol() override { return record("getSpeakerVol", 17); }
    int getMicVol() override { return record("getMicVol", 18); }
    void registerHotKey() override { record("registerHotKey", 0); }
    void unregisterHotKey() override { record("unregisterHotKey", 0); }
    void connectNewDevice() override { record("core connectNewDevice", 0); }
    void removeDeviceWithUniqueID(char* id) override { record(QStringLiteral("core removeDeviceWithUniqueID ") + id, 0); }
    void setCurrentHidDevice() override { record("core setCurrentHidDevice", 0); }
    int init() override { return record("core init", 19); }

    int audioResult = 0;
    unsigned char pixels[4] = {1, 2, 3, 4};

private:
    int record(const QString& call, int result)
    {
        g_trace << call;
        return result;
    }
    template <typename... Args>
    static QString args(const char* name, Args... values)
    {
        QString text = QLatin1String(name);
        ((text += " " + describe(values)), ...);
        return text;
    }
    template <typename T>
    static QString describe(T value)
    {
        if constexpr (std::is_pointer_v<T>)
            return QString::number(reinterpret_cast<quintptr>(value), 16);
        else
            return QString::number(value);
    }
};

// Records the facade's signals in the order they arrive.
void recordSignals(MacUVCCam* facade, const QString& who = QString())
{
    const QString prefix = who.isEmpty() ? QStringLiteral("signal ") : QStringLiteral("signal %1 ").arg(who);
    QObject::connect(facade, &MacUVCCam::deviceAdd, [prefix] { g_trace << prefix + "deviceAdd"; });
    QObject::connect(facade, &MacUVCCam::deviceRemove, [prefix] { g_trace << prefix + "deviceRemove"; });
    QObject::connect(facade, &MacUVCCam::deviceChange, [prefix] { g_trace << prefix + "deviceChange"; });
    QObject::connect(facade, &MacUVCCam::updateVolume, [prefix](int v) { g_trace << prefix + "updateVolume " + QString::number(v); });
    QObject::connect(facade, &MacUVCCam::keyPressed, [prefix](int k, bool p) {
        g_trace << prefix + QStringLiteral("keyPressed %1 %2").arg(k).arg(p ? "true" : "false");
    });
}

class Facade : public SimulatedWorld {
protected:
    Facade() { g_trace.clear(); }
};

TEST(FacadeMetaObject, NamesTheClassAndItsFiveSignalsInSignalOrder)
{
    const QMetaObject& meta = MacUVCCam::staticMetaObject;
    EXPECT_STREQ(meta.className(), "MacUVCCam");
    EXPECT_EQ(meta.superClass(), &QObject::staticMetaObject);
    EXPECT_EQ(meta.methodCount() - meta.methodOffset(), 5);
    EXPECT_EQ(meta.propertyCount() - meta.propertyOffset(), 0);
    EXPECT_EQ(meta.enumeratorCount() - meta.enumeratorOffset(), 0);
    EXPECT_EQ(meta.classInfoCount() - meta.classInfoOffset(), 0);

    const char* signatures[] = {"deviceAdd()", "deviceRemove()", "deviceChange()", "updateVolume(int)", "keyPressed(int,bool)"};
    const QList<QList<QByteArray>> names = {{}, {}, {}, {"volume"}, {"key", "pressed"}};
    for (int i = 0; i < 5; ++i) {
        const QMetaMethod method = meta.method(meta.methodOffset() + i);
        EXPECT_EQ(method.methodType(), QMetaMethod::Signal);
        EXPECT_EQ(method.methodSignature(), QByteArray(signatures[i]));
        EXPECT_EQ(method.parameterNames(), names[i]) << signatures[i];
        EXPECT_EQ(meta.indexOfSignal(signatures[i]) - meta.methodOffset(), i);
    }
}

TEST_F(Facade, CastsByItsOwnNameAndDefersToQObject)
{
    std::unique_ptr<UVCCam> camera(acquireUVCCam());
    EXPECT_EQ(camera->qt_metacast("MacUVCCam"), camera.get());
    EXPECT_EQ(camera->qt_metacast("QObject"), static_cast<QObject*>(camera.get()));
    EXPECT_EQ(camera->qt_metacast("UVCCam"), nullptr);
    EXPECT_EQ(qobject_cast<MacUVCCam*>(camera.get()), camera.get());
    EXPECT_STREQ(camera->metaObject()->className(), "MacUVCCam");
    EXPECT_EQ(camera->parent(), nullptr);
}

TEST_F(Facade, ForwardsEveryOperationUnchanged)
{
    std::unique_ptr<MacUVCCam> camera(static_cast<MacUVCCam*>(acquireUVCCam()));
    RecordingCore core;
    MacUVCCamOC* own = macUVCCamOC;
    macUVCCamOC = &core;
    g_trace.clear();

    int value = 0, lo = 0, hi = 0, def = 0;
    unsigned char buffer[8] = {};
    const QString b = QString::number(reinterpret_cast<quintptr>(buffer), 16);
    EXPECT_EQ(camera->setDevice("dev"), 1);
    EXPECT_EQ(camera->getExProperty(3, buffer, 8, 6), 2);
    EXPECT_EQ(camera->setExProperty(4, buffer, 7, 5), 3);
    EXPECT_EQ(camera->getProperty(9, &value), 4);
    EXPECT_EQ(camera->setProperty(9, -3, true), 5);
    EXPECT_EQ(camera->getUACHidProperty(2, buffer, 2), 6);
    EXPECT_EQ(camera->setUACHidProperty(2, buffer, 3), 7);
    EXPECT_EQ(camera->setExHidProperty(buffer, 12), 8);
    EXPECT_EQ(camera->setExHidReport(buffer, 5, 1), 9);
    EXPECT_EQ(camera->getExHidReport(buffer, 6), 10);
    EXPECT_EQ(camera->getPropertyRange(1, &lo, &hi, &def), 11);
    EXPECT_EQ(camera->startVideoStream(2), 12);
    EXPECT_EQ(camera->stopVideoStream(), 13);
    EXPECT_EQ(camera->setVideoCallback([](unsigned char*, int, int, int) {}), 14);
    EXPECT_EQ(camera->GetPixelBuffer(), core.pixels);
    EXPECT_TRUE(camera->findDevice());
    camera->setProtocolMode(0);
    camera->setKeyboardConnected(true);
    camera->setKeyboardConnected(false);
    EXPECT_EQ(camera->getDeviceList().first().modelName, QStringLiteral("RX240"));
    EXPECT_EQ(camera->getDeviceSN(), QStringLiteral("SN-1"));
    camera->resetCamResolution();
    EXPECT_EQ(camera->startAudioPlaying("clip"), 16);
    EXPECT_EQ(camera->getSpeakerVol(), 17);
    EXPECT_EQ(camera->getMicVol(), 18);
    EXPECT_EQ(camera->init(), 19);
    camera->connectNewDevice();
    camera->setCurrentHidDevice();
    char id[] = "0xabc";
    camera->removeDeviceWithUniqueID(id);

    const QString v = QString::number(reinterpret_cast<quintptr>(&value), 16);
    const QString l = QString::number(reinterpret_cast<quintptr>(&lo), 16);
    const QString h = QString::number(reinterpret_cast<quintptr>(&hi), 16);
    const QString d = QString::number(reinterpret_cast<quintptr>(&def), 16);
    EXPECT_EQ(g_trace, (QStringList{
        "setDevice dev", "getExProperty 3 " + b + " 8 6", "setExProperty 4 " + b + " 7 5", "getProperty 9 " + v,
        "setProperty 9 -3 1", "getUACHidProperty 2 " + b + " 2", "setUACHidProperty 2 " + b + " 3",
        "setExHidProperty " + b + " 12", "setExHidReport " + b + " 5 1", "getExHidReport " + b + " 6",
        "getPropertyRange 1 " + l + " " + h + " " + d, "startVideoStream 2", "stopVideoStream", "setVideoCallback",
        "GetPixelBuffer", "findDevice", "setProtocolMode 0", "registerHotKey", "unregisterHotKey", "getDeviceList",
        "getCameraSerialNum", "resetCamResolution", "startAudioPlaying clip", "getSpeakerVol", "getMicVol",
        "core init", "core connectNewDevice", "core setCurrentHidDevice", "core removeDeviceWithUniqueID 0xabc"}));
    macUVCCamOC = own;
}

TEST_F(Facade, ReportsNoDeviceBeforeOneIsSelected)
{
    std::unique_ptr<UVCCam> camera(acquireUVCCam());
    const DeviceInfo none = camera->getDeviceInfo();
    EXPECT_EQ(none.deviceId, -1);
    EXPECT_TRUE(none.modelName.isEmpty());
    EXPECT_TRUE(none.deviceUniqueId.isEmpty());
}

TEST_F(Facade, ReportsTheNewestCoresSelection)
{
    const QString id = uvccam::sim::attachCamera("RX710+");
    std::unique_ptr<UVCCam> first(acquireUVCCam());
    std::unique_ptr<UVCCam> second(acquireUVCCam());
    const DeviceInfo info = second->getDeviceInfo();
    EXPECT_EQ(info.deviceId, 10811);
    EXPECT_EQ(info.modelName, QStringLiteral("RX710+"));
    EXPECT_EQ(info.deviceUniqueId, id);
    macUVCCamOC->deviceId = 77;
    EXPECT_EQ(first->getDeviceInfo().deviceId, 77) << "both objects drive the newest core";
}

TEST_F(Facade, InstallsTheLevelCallbackOnlyAfterARecordingStarts)
{
    std::unique_ptr<MacUVCCam> camera(static_cast<MacUVCCam*>(acquireUVCCam()));
    RecordingCore core;
    MacUVCCamOC* own = macUVCCamOC;
    macUVCCamOC = &core;

    core.audioResult = -1;
    EXPECT_EQ(camera->startAudioRecording(5, "x"), -1);
    EXPECT_EQ(core.audioCallback, nullptr);

    core.audioResult = 0;
    EXPECT_EQ(camera->startAudioRecording(5, "x"), 0);
    EXPECT_EQ(core.audioCallback, &onUpdateVol);
    macUVCCamOC = own;
}

TEST_F(Facade, RefusesARecordingWithNothingSelected)
{
    std::unique_ptr<UVCCam> camera(acquireUVCCam());
    EXPECT_EQ(camera->startAudioRecording(0, QString()), -1);
    EXPECT_EQ(macUVCCamOC->audioCallback, nullptr);
}

class FacadeCallbacks : public Facade {
protected:
    void SetUp() override
    {
        camera.reset(static_cast<MacUVCCam*>(acquireUVCCam()));
        own = macUVCCamOC;
        macUVCCamOC = &core;
        recordSignals(camera.get());
        g_trace.clear();
    }
    void TearDown() override { macUVCCamOC = own; }

    std::unique_ptr<MacUVCCam> camera;
    RecordingCore core;
    MacUVCCamOC* own = nullptr;
};

TEST_F(FacadeCallbacks, CameraArrivalSelectsThenAddsThenChanges)
{
    char id[] = "0x1";
    onDeviceConnected(id);
    EXPECT_EQ(g_trace, (QStringList{"core connectNewDevice", "signal deviceAdd", "signal deviceChange"}));
}

TEST_F(FacadeCallbacks, RemovalOfTheSelectionStopsTheStreamBeforeTelling)
{
    core.selectionAttached = false;
    char id[] = "0xgone";
    onDeviceDisconnected(id);
    EXPECT_EQ(g_trace, (QStringList{"findDevice", "stopVideoStream", "signal deviceRemove",
                                    "core removeDeviceWithUniqueID 0xgone", "signal deviceChange"}));
}

TEST_F(FacadeCallbacks, RemovalOfAnotherDeviceOnlyChanges)
{
    core.selectionAttached = true;
    char id[] = "0xother";
    onDeviceDisconnected(id);
    EXPECT_EQ(g_trace, (QStringList{"findDevice", "core removeDeviceWithUniqueID 0xother", "signal deviceChange"}));
}

TEST_F(FacadeCallbacks, HidArrivalSelectsAddsChangesThenPairs)
{
    onHidDeviceReady();
    EXPECT_EQ(g_trace, (QStringList{"core connectNewDevice", "signal deviceAdd", "signal deviceChange",
                                    "core setCurrentHidDevice"}));
    EXPECT_EQ(logged(LogChannel::System), QStringList{"onHidDeviceReady"});
}

TEST_F(FacadeCallbacks, HidRemovalDropsThenRemovesThenChanges)
{
    char id[] = "ff";
    onHidDeviceRemoved(id);
    EXPECT_EQ(g_trace, (QStringList{"core removeDeviceWithUniqueID ff", "signal deviceRemove", "signal deviceChange"}));
    EXPECT_EQ(logged(LogChannel::System), QStringList{"hidRemoved"});
}

TEST_F(FacadeCallbacks, HotKeysArriveAsPressesOnly)
{
    onHotKeyPressed(0x01000012);
    EXPECT_EQ(g_trace, QStringList{"signal keyPressed 16777234 true"});
}

TEST_F(FacadeCallbacks, LevelsAreTruncatedTowardZero)
{
    onUpdateVol(4.9f);
    onUpdateVol(0.7f);
    onUpdateVol(-3.9f);
    camera->emitUpdateVolume(99.99f);
    onUpdateVol(std::numeric_limits<float>::quiet_NaN());
    onUpdateVol(1e30f);
    EXPECT_EQ(g_trace, (QStringList{"signal updateVolume 4", "signal updateVolume 0", "signal updateVolume -3",
                                    "signal updateVolume 99", "signal updateVolume 0",
                                    "signal updateVolume 2147483647"}));
}

TEST_F(FacadeCallbacks, HostEmittersEmitTheirSignal)
{
    camera->emitDeviceConnectedSignals();
    camera->emitDeviceRemovedSignals();
    camera->emitDeviceChangedSignals();
    camera->emitKeyPressed(42);
    EXPECT_EQ(g_trace, (QStringList{"signal deviceAdd", "signal deviceRemove", "signal deviceChange",
                                    "signal keyPressed 42 true"}));
}

TEST_F(FacadeCallbacks, ASlotThatDestroysTheObjectEndsTheEmissions)
{
    QObject::connect(camera.get(), &MacUVCCam::deviceAdd, [this] { camera.reset(); });
    char id[] = "0x1";
    onDeviceConnected(id);
    EXPECT_EQ(calbackObject, nullptr);
    EXPECT_EQ(g_trace, (QStringList{"core connectNewDevice", "signal deviceAdd"}));
}

class FacadeOnSimulator : public Facade {};

TEST_F(FacadeOnSimulator, ACameraArrivalReachesTheHostAsSignals)
{
    std::unique_ptr<MacUVCCam> camera(static_cast<MacUVCCam*>(acquireUVCCam()));
    recordSignals(camera.get());
    const QString id = uvccam::sim::attachCamera("LUM630");
    EXPECT_TRUE(g_trace.isEmpty()) << "announced through the run loop, not at once";
    deliverPending();
    // Once for the camera, once for its HID interface.
    EXPECT_EQ(g_trace, (QStringList{"signal deviceAdd", "signal deviceChange", "signal deviceAdd", "signal deviceChange"}));
    EXPECT_EQ(camera->getDeviceInfo().deviceUniqueId, id);
    EXPECT_EQ(camera->getDeviceInfo().modelName, QStringLiteral("LUM630"));
}

TEST_F(FacadeOnSimulator, RemovingTheStreamingCameraStopsItAndTellsTheHost)
{
    const QString id = uvccam::sim::attachCamera("RX710");
    std::unique_ptr<MacUVCCam> camera(static_cast<MacUVCCam*>(acquireUVCCam()));
    recordSignals(camera.get());
    ASSERT_EQ(camera->startVideoStream(0), 0);
    const auto session = macUVCCamOC->captureSession;
    ASSERT_TRUE(session->isRunning());

    uvccam::sim::detach(id);
    deliverPending();
    // The camera's removal, then its HID interface's, which then asks for a new pairing.
    EXPECT_EQ(g_trace, (QStringList{"signal deviceRemove", "signal deviceChange", "signal deviceRemove",
                                    "signal deviceChange", "signal deviceAdd", "signal deviceChange"}));
    EXPECT_FALSE(session->isRunning());
    EXPECT_FALSE(macUVCCamOC->isStreaming);
    EXPECT_FALSE(macUVCCamOC->currentCamera);
    EXPECT_FALSE(camera->findDevice());
}

TEST_F(FacadeOnSimulator, OnlyTheNewestObjectEmitsAndBothDriveItsCore)
{
    std::unique_ptr<MacUVCCam> first(static_cast<MacUVCCam*>(acquireUVCCam()));
    MacUVCCamOC* firstCore = macUVCCamOC;
    std::unique_ptr<MacUVCCam> second(static_cast<MacUVCCam*>(acquireUVCCam()));
    EXPECT_NE(macUVCCamOC, firstCore);
    EXPECT_EQ(calbackObject, second.get());
    recordSignals(first.get(), "first");
    recordSignals(second.get(), "second");

    uvccam::sim::attachCamera("RX240");
    deliverPending();
    EXPECT_EQ(g_trace, (QStringList{"signal second deviceAdd", "signal second deviceChange", "signal second deviceAdd",
                                    "signal second deviceChange"}));
    EXPECT_EQ(first->getDeviceInfo().modelName, QStringLiteral("RX240"));
    EXPECT_FALSE(firstCore->currentCamera) << "the first core is no longer reached";
}

TEST_F(FacadeOnSimulator, NoCallbackReachesADestroyedObject)
{
    auto* camera = static_cast<MacUVCCam*>(acquireUVCCam());
    MacUVCCamOC* core = macUVCCamOC;
    delete camera;
    EXPECT_EQ(calbackObject, nullptr);
    EXPECT_EQ(macUVCCamOC, core) << "the core stays";

    // Every callback still finds the core and no object; the sanitizers catch any use.
    const QString id = uvccam::sim::attachCamera("ST410");
    deliverPending();
    EXPECT_EQ(core->modelName, QStringLiteral("ST410"));
    onHotKeyPressed(1);
    onUpdateVol(3.0f);
    onHidDeviceReady();
    char hidId[] = "1";
    onHidDeviceRemoved(hidId);
    uvccam::sim::detach(id);
    deliverPending();
    EXPECT_FALSE(core->currentCamera);
}

TEST_F(FacadeOnSimulator, InstallsTheDeviceAndHotKeyCallbacks)
{
    std::unique_ptr<UVCCam> camera(acquireUVCCam());
    EXPECT_EQ(MacCameraManager::sharedInstance()->deviceConnected(), &onDeviceConnected);
    EXPECT_EQ(MacCameraManager::sharedInstance()->deviceDisconnected(), &onDeviceDisconnected);
    EXPECT_EQ(macUVCCamOC->hidDeviceReadyCallback, &onHidDeviceReady);
    EXPECT_EQ(macUVCCamOC->hidDeviceRemoveCallback, &onHidDeviceRemoved);
    EXPECT_EQ(MacHotKeyManager::sharedInstance()->hotKeyCallbackFun(), &onHotKeyPressed);
    EXPECT_EQ(macUVCCamOC->audioCallback, nullptr);

    camera->setKeyboardConnected(true);
    EXPECT_TRUE(MacHotKeyManager::sharedInstance()->isRegistered());
    camera->setKeyboardConnected(false);
    EXPECT_FALSE(MacHotKeyManager::sharedInstance()->isRegistered());
}

}  // namespace
