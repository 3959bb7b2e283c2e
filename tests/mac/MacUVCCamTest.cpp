// The facade: its calling interface, its meta-object, forwarding to the core, and the
// callbacks that become signals.
#include "mac/MacUVCCam.h"
#include "mac/MacUVCCamCallbacks.h"

#include "UVCCamSimulation.h"
#include "support/SimulatedWorld.h"

#include <QMetaMethod>

#include <limits>
#include <memory>
#include <utility>

namespace {

using uvccam::testing::SimulatedWorld;
using uvccam::platform::LogChannel;

QStringList g_trace;

QString hex(const void* p) { return QString::number(reinterpret_cast<quintptr>(p), 16); }

// A core that records each call it receives and answers with values a test can tell apart.
class RecordingCore : public MacUVCCamOC {
public:
    bool selectionAttached = true;
    int audioResult = -1;
    unsigned char pixels[4] = {1, 2, 3, 4};

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

private:
    static int record(const QString& call, int result) { return g_trace << call, result; }
    static QString describe(const void* p) { return hex(p); }
    static QString describe(qlonglong v) { return QString::number(v); }
    template <typename... Args>
    static QString args(const char* name, Args... values) { return (QString(name) + ... + (" " + describe(values))); }
};

// The calling interface as a host binary compiled against it sees the object: QObject's
// virtual functions, then these, slot by slot. Such a host calls by position, never by name,
// so the interface must keep exactly this order.
class HostCalls : public QObject {
public:
    virtual int setDevice(QString) = 0;
    virtual int getExProperty(unsigned short, void*, unsigned int, int) = 0;
    virtual int setExProperty(unsigned short, void*, unsigned int, int) = 0;
    virtual int getProperty(int, int*) = 0;
    virtual int setProperty(int, int, bool) = 0;
    virtual int getUACHidProperty(unsigned short, void*, unsigned int) = 0;
    virtual int setUACHidProperty(unsigned short, void*, unsigned int) = 0;
    virtual int setExHidProperty(void*, unsigned int) = 0;
    virtual int setExHidReport(void*, unsigned int, int) = 0;
    virtual int getExHidReport(void*, unsigned int) = 0;
    virtual int getPropertyRange(int, int*, int*, int*) = 0;
    virtual int startVideoStream(unsigned int) = 0;
    virtual int stopVideoStream() = 0;
    virtual int setVideoCallback(VideoFrameCallback) = 0;
    virtual unsigned char* GetPixelBuffer() = 0;
    virtual bool findDevice() = 0;
    virtual void setProtocolMode(int) = 0;
    virtual void setKeyboardConnected(bool) = 0;
    virtual QList<DeviceInfo> getDeviceList() = 0;
    virtual QString getDeviceSN() = 0;
    virtual DeviceInfo getDeviceInfo() = 0;
    virtual void resetCamResolution() = 0;
    virtual int startAudioRecording(int, QString) = 0;
    virtual int startAudioPlaying(QString) = 0;
    virtual int getSpeakerVol() = 0;
    virtual int getMicVol() = 0;
    virtual void deviceAdd() = 0;
    virtual void deviceRemove() = 0;
    virtual void deviceChange() = 0;
    virtual void keyPressed(int, bool) = 0;
    virtual void updateVolume(int) = 0;
};

// Calls the operation in this slot of an object known only as a UVCCam, as such a host does.
// The object is no HostCalls, which the sanitizer's type check would report; that is the point.
template <typename R, typename... P, typename... A>
__attribute__((no_sanitize("vptr"))) R bySlot(R (HostCalls::*operation)(P...), UVCCam* object, A&&... args)
{
    return (reinterpret_cast<HostCalls*>(object)->*operation)(std::forward<A>(args)...);
}

// Starts a fresh trace, to which the facade's signals are added in the order they arrive.
void recordSignals(MacUVCCam* facade, const QString& who = QString())
{
    g_trace.clear();
    const QString prefix = who.isEmpty() ? QStringLiteral("signal ") : QStringLiteral("signal %1 ").arg(who);
    QObject::connect(facade, &MacUVCCam::deviceAdd, [prefix] { g_trace << prefix + "deviceAdd"; });
    QObject::connect(facade, &MacUVCCam::deviceRemove, [prefix] { g_trace << prefix + "deviceRemove"; });
    QObject::connect(facade, &MacUVCCam::deviceChange, [prefix] { g_trace << prefix + "deviceChange"; });
    QObject::connect(facade, &MacUVCCam::updateVolume, [prefix](int v) { g_trace << prefix + "updateVolume " + QString::number(v); });
    QObject::connect(facade, &MacUVCCam::keyPressed, [prefix](int k, bool p) {
        g_trace << prefix + QStringLiteral("keyPressed %1 %2").arg(k).arg(p ? "true" : "false");
    });
}

TEST(FacadeMetaObject, NamesTheClassAndItsFiveSignalsInSignalOrderWithTheirParameterNames)
{
    const QMetaObject& meta = MacUVCCam::staticMetaObject;
    EXPECT_STREQ(meta.className(), "MacUVCCam");
    EXPECT_EQ(meta.superClass(), &QObject::staticMetaObject);
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        methods << QString::fromLatin1((method.methodType() == QMetaMethod::Signal ? "signal " : "other ") +
                                       method.methodSignature() + " " + method.parameterNames().join(','));
    }
    EXPECT_EQ(methods, (QStringList{"signal deviceAdd() ", "signal deviceRemove() ", "signal deviceChange() ",
                                    "signal updateVolume(int) volume", "signal keyPressed(int,bool) key,pressed"}));
}

// The facade in front of a recording core, its signals traced after the core's calls.
class FacadeOnRecordingCore : public SimulatedWorld {
protected:
    void SetUp() override
    {
        camera.reset(static_cast<MacUVCCam*>(acquireUVCCam()));
        own = macUVCCamOC;
        macUVCCamOC = &core;
        recordSignals(camera.get());
    }
    void TearDown() override { macUVCCamOC = own; }

    std::unique_ptr<MacUVCCam> camera;
    RecordingCore core;
    MacUVCCamOC* own = nullptr;
};

TEST_F(FacadeOnRecordingCore, AHostCallingEachSlotReachesItsOperationUnchanged)
{
    UVCCam* host = camera.get();
    int value = 0, lo = 0, hi = 0, def = 0;
    unsigned char buffer[8] = {};
    char id[] = "0xabc";
    const QList<int> results = {
        bySlot(&HostCalls::setDevice, host, "dev"), bySlot(&HostCalls::getExProperty, host, 3, buffer, 8, 6),
        bySlot(&HostCalls::setExProperty, host, 4, buffer, 7, 5), bySlot(&HostCalls::getProperty, host, 9, &value),
        bySlot(&HostCalls::setProperty, host, 9, -3, true), bySlot(&HostCalls::getUACHidProperty, host, 2, buffer, 2),
        bySlot(&HostCalls::setUACHidProperty, host, 2, buffer, 3), bySlot(&HostCalls::setExHidProperty, host, buffer, 12),
        bySlot(&HostCalls::setExHidReport, host, buffer, 5, 1), bySlot(&HostCalls::getExHidReport, host, buffer, 6),
        bySlot(&HostCalls::getPropertyRange, host, 1, &lo, &hi, &def), bySlot(&HostCalls::startVideoStream, host, 2),
        bySlot(&HostCalls::stopVideoStream, host),
        bySlot(&HostCalls::setVideoCallback, host, [](unsigned char*, int, int, int) {})};
    EXPECT_EQ(bySlot(&HostCalls::GetPixelBuffer, host), core.pixels);
    EXPECT_TRUE(bySlot(&HostCalls::findDevice, host));
    bySlot(&HostCalls::setProtocolMode, host, 0);
    bySlot(&HostCalls::setKeyboardConnected, host, true);
    bySlot(&HostCalls::setKeyboardConnected, host, false);
    EXPECT_EQ(bySlot(&HostCalls::getDeviceList, host).first().modelName, QStringLiteral("RX240"));
    EXPECT_EQ(bySlot(&HostCalls::getDeviceSN, host), QStringLiteral("SN-1"));
    core.deviceId = 42;
    EXPECT_EQ(bySlot(&HostCalls::getDeviceInfo, host).deviceId, 42);
    bySlot(&HostCalls::resetCamResolution, host);
    const QList<int> more = {bySlot(&HostCalls::startAudioPlaying, host, "clip"), bySlot(&HostCalls::getSpeakerVol, host),
                             bySlot(&HostCalls::getMicVol, host), camera->init()};
    bySlot(&HostCalls::deviceAdd, host);
    bySlot(&HostCalls::deviceRemove, host);
    bySlot(&HostCalls::deviceChange, host);
    bySlot(&HostCalls::keyPressed, host, 7, false);
    bySlot(&HostCalls::updateVolume, host, 9);
    camera->connectNewDevice();
    camera->setCurrentHidDevice();
    camera->removeDeviceWithUniqueID(id);
    camera->emitDeviceConnectedSignals();
    camera->emitDeviceRemovedSignals();
    camera->emitDeviceChangedSignals();
    camera->emitKeyPressed(42);
    // The level callback is installed only once a recording has started.
    EXPECT_EQ(bySlot(&HostCalls::startAudioRecording, host, 5, "x"), -1);
    EXPECT_EQ(core.audioCallback, nullptr);
    core.audioResult = 0;
    EXPECT_EQ(bySlot(&HostCalls::startAudioRecording, host, 6, "y"), 0);
    EXPECT_EQ(core.audioCallback, &onUpdateVol);

    EXPECT_EQ(results, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14}));
    EXPECT_EQ(more, (QList<int>{16, 17, 18, 19}));
    const QString b = hex(buffer);
    EXPECT_EQ(g_trace, (QStringList{
        "setDevice dev", "getExProperty 3 " + b + " 8 6", "setExProperty 4 " + b + " 7 5", "getProperty 9 " + hex(&value),
        "setProperty 9 -3 1", "getUACHidProperty 2 " + b + " 2", "setUACHidProperty 2 " + b + " 3",
        "setExHidProperty " + b + " 12", "setExHidReport " + b + " 5 1", "getExHidReport " + b + " 6",
        "getPropertyRange 1 " + hex(&lo) + " " + hex(&hi) + " " + hex(&def), "startVideoStream 2", "stopVideoStream",
        "setVideoCallback", "GetPixelBuffer", "findDevice", "setProtocolMode 0", "registerHotKey", "unregisterHotKey",
        "getDeviceList", "getCameraSerialNum", "resetCamResolution", "startAudioPlaying clip", "getSpeakerVol",
        "getMicVol", "core init", "signal deviceAdd", "signal deviceRemove", "signal deviceChange",
        "signal keyPressed 7 false", "signal updateVolume 9", "core connectNewDevice", "core setCurrentHidDevice",
        "core removeDeviceWithUniqueID 0xabc", "signal deviceAdd", "signal deviceRemove", "signal deviceChange",
        "signal keyPressed 42 true", "startAudioRecording 5 x", "startAudioRecording 6 y"}));
}

// Each callback: the core's steps and the signals, in order (a hot key's, with no steps, is checked
// for every shortcut by the global hot-key tests).
using Camera = std::unique_ptr<MacUVCCam>;

struct CallbackCase {
    const char* what;
    bool selectionAttached;
    void (*fire)(Camera& camera);
    QStringList trace;
    QStringList systemLog;
};

// By name: gtest would otherwise print the case's raw bytes, padding included.
void PrintTo(const CallbackCase& c, std::ostream* os) { *os << c.what; }

class Callback : public FacadeOnRecordingCore, public ::testing::WithParamInterface<CallbackCase> {};

TEST_P(Callback, RunsItsStepsAndSignalsInOrder)
{
    const CallbackCase& c = GetParam();
    core.selectionAttached = c.selectionAttached;
    c.fire(camera);
    EXPECT_EQ(g_trace, c.trace);
    EXPECT_EQ(logged(LogChannel::System), c.systemLog);
}

INSTANTIATE_TEST_SUITE_P(All, Callback, ::testing::Values(
    CallbackCase{"camera arrival", true, [](Camera&) { char id[] = "0x1"; onDeviceConnected(id); },
                 {"core connectNewDevice", "signal deviceAdd", "signal deviceChange"}, {}},
    CallbackCase{"removal of the selection", false, [](Camera&) { char id[] = "0xgone"; onDeviceDisconnected(id); },
                 {"findDevice", "stopVideoStream", "signal deviceRemove", "core removeDeviceWithUniqueID 0xgone",
                  "signal deviceChange"}, {}},
    CallbackCase{"removal of another device", true, [](Camera&) { char id[] = "0xother"; onDeviceDisconnected(id); },
                 {"findDevice", "core removeDeviceWithUniqueID 0xother", "signal deviceChange"}, {}},
    CallbackCase{"HID arrival", true, [](Camera&) { onHidDeviceReady(); },
                 {"core connectNewDevice", "signal deviceAdd", "signal deviceChange", "core setCurrentHidDevice"},
                 {"onHidDeviceReady"}},
    CallbackCase{"HID removal", true, [](Camera&) { char id[] = "ff"; onHidDeviceRemoved(id); },
                 {"core removeDeviceWithUniqueID ff", "signal deviceRemove", "signal deviceChange"}, {"hidRemoved"}},
    CallbackCase{"a slot that destroys the object", true,
                 [](Camera& c) {
                     QObject::connect(c.get(), &MacUVCCam::deviceAdd, [&c] { c.reset(); });
                     onDeviceConnected(nullptr);
                 },
                 {"core connectNewDevice", "signal deviceAdd"}, {}},
    // Levels are truncated toward zero; what an int cannot hold is clamped.
    CallbackCase{"levels", true,
                 [](Camera& c) {
                     for (float level : {4.9f, 0.7f, -3.9f, std::numeric_limits<float>::quiet_NaN(), 1e30f, -1e30f})
                         onUpdateVol(level);
                     c->emitUpdateVolume(99.99f);
                 },
                 {"signal updateVolume 4", "signal updateVolume 0", "signal updateVolume -3", "signal updateVolume 0",
                  "signal updateVolume 2147483647", "signal updateVolume -2147483648", "signal updateVolume 99"}, {}}));

// On the simulator (arrivals and removals as signals are covered by the HID discovery tests,
// hot-key registration by the hot-key manager's).
class FacadeOnTheSimulator : public SimulatedWorld {};

TEST_F(FacadeOnTheSimulator, OnlyTheNewestLivingObjectEmitsWhileEveryObjectDrivesTheNewestCore)
{
    std::unique_ptr<MacUVCCam> first(static_cast<MacUVCCam*>(acquireUVCCam()));
    MacUVCCamOC* firstCore = macUVCCamOC;
    std::unique_ptr<MacUVCCam> second(static_cast<MacUVCCam*>(acquireUVCCam()));
    recordSignals(second.get(), "second");
    recordSignals(first.get(), "first");

    const QString id = uvccam::sim::attachCamera("RX710+");
    deliverPending();
    const QStringList signalsOfTheArrival{"signal second deviceAdd", "signal second deviceChange",
                                          "signal second deviceAdd", "signal second deviceChange"};
    EXPECT_EQ(g_trace, signalsOfTheArrival);
    const DeviceInfo info = first->getDeviceInfo();
    EXPECT_EQ((QStringList{QString::number(info.deviceId), info.modelName, info.deviceUniqueId}),
              (QStringList{"10811", "RX710+", id})) << "the first object reads the newest core";
    EXPECT_FALSE(firstCore->currentCamera) << "the first core is no longer reached";

    // Without the newest object the core still follows the devices and nobody is told;
    // the sanitizers catch any use of the destroyed object.
    second.reset();
    EXPECT_EQ(calbackObject, nullptr);
    uvccam::sim::detach(id);
    uvccam::sim::attachCamera("ST410");
    deliverPending();
    EXPECT_EQ(first->getDeviceInfo().modelName, QStringLiteral("ST410"));
    onHotKeyPressed(1);
    onUpdateVol(3.0f);
    onHidDeviceReady();
    char hidId[] = "1";
    onHidDeviceRemoved(hidId);
    EXPECT_EQ(g_trace, signalsOfTheArrival);
}

}  // namespace
