// The simulated HID service: answers and their faults, input-report delivery rules, hot-plug.
#include "platform/sim/HidServiceSim.h"

#include "UVCCamSimulation.h"
#include "platform/Platform.h"
#include "support/SimulatedWorld.h"

#include <numeric>
#include <vector>

namespace {

using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;
using namespace std::chrono_literals;
namespace sim = uvccam::sim;
using Behaviour = HidDeviceModel::Behaviour;
using Bytes = std::vector<QByteArray>;

// Finds the HID device a manager lists and records what reaches its report space, and when.
class SimulatedHidService : public SimulatedWorld {
protected:
    HidServiceSim& hid() { return static_cast<HidServiceSim&>(Platform::current().hid()); }
    void attach(const QString& uniqueId, std::size_t spaceLength = 64, bool scheduled = true)
    {
        auto device = simulator().findDevice(uniqueId);
        model = device->hid();
        camera = nullptr;
        for (const auto& hidDevice : manager->copyDevices().value_or(std::vector<HidDevicePtr>()))
            if (hidDevice->locationId() == device->profile().locationId)
                camera = hidDevice;
        ASSERT_TRUE(camera);
        times.clear();
        bytes.clear();
        origin = clock().now();
        camera->registerInputReportCallback(space, spaceLength, &SimulatedHidService::heard, this);
        if (scheduled)
            camera->scheduleWithRunLoop();
    }
    static void heard(void* me, HidStatus result, HidDevice* sender, std::uint32_t id, std::uint8_t* report, long length)
    {
        auto* self = static_cast<SimulatedHidService*>(me);
        EXPECT_TRUE(result == kHidSuccess && id == 0 && sender == self->camera.get() && report == self->space);
        self->times.push_back(self->clock().now() - self->origin);
        self->bytes.push_back(QByteArray(reinterpret_cast<const char*>(report), static_cast<int>(length)));
        if (self->bytes.size() == self->unscheduleAfter)
            self->camera->unscheduleFromRunLoop();
    }
    HidStatus send(const QByteArray& r) { return camera->setReport(reinterpret_cast<const std::uint8_t*>(r.data()), r.size()); }
    std::shared_ptr<HidManager> manager = hid().createManager();
    HidDeviceModel* model = nullptr;
    HidDevicePtr camera;
    std::uint8_t space[64] = {};
    Duration origin{};
    std::vector<Duration> times;
    Bytes bytes;
    std::size_t unscheduleAfter = 0;
};

TEST_F(SimulatedHidService, FaultsDelayRepeatOrLoseTheAnswerButTheReportIsAlwaysRecorded)
{
    const struct Case { Behaviour behaviour; bool fails; HidStatus status; std::vector<Duration> arrivals; } cases[] = {{Behaviour::Normal, false, kHidSuccess, {2ms}}, {Behaviour::Silent, false, kHidSuccess, {}},
                          {Behaviour::Late, false, kHidSuccess, {100ms}}, {Behaviour::Twice, false, kHidSuccess, {2ms, 3ms}},
                          {Behaviour::Normal, true, kHidError, {}}};
    // Echoed, not answered by the firmware (tested on its own); byte 0 and inner zeros go as they are.
    const QByteArray report("\x00\x01\x00\x7f", 4);
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(&c - cases));
        attach(sim::attachCamera("LUM610"));
        model->setResponder([](const QByteArray& out) { return std::optional<QByteArray>(out); });
        model->setBehaviour(c.behaviour);
        model->setReportFails(c.fails);
        EXPECT_EQ(send(report), c.status);
        clock().advance(200ms);
        EXPECT_EQ(times, c.arrivals);
        EXPECT_EQ(bytes, Bytes(c.arrivals.size(), report));
        EXPECT_EQ(model->sentReports(), Bytes{report});
    }
}

TEST_F(SimulatedHidService, AnUnscheduledDeviceKeepsTheNewestReportsAndDeliversThemInOrderCutToTheSpace)
{
    attach(sim::attachCamera("RX240"), 8, false);
    QByteArray sent(70, 0);
    std::iota(sent.begin(), sent.end(), char(0));
    for (char c : sent)
        model->sendInputReport(QByteArray(1, c), 1ms);
    clock().advance(10ms);
    // Scheduling alone delivers nothing; each report takes a run-loop step, so unscheduling holds back the rest.
    unscheduleAfter = 3;
    camera->scheduleWithRunLoop();
    EXPECT_TRUE(bytes.empty());
    deliverPending();
    EXPECT_EQ(bytes.size(), 3u);
    // A report arriving now does not overtake those still buffered.
    const QByteArray longReport = QByteArray("0123456789").repeated(10);
    model->sendInputReport(longReport, 0ms);
    camera->scheduleWithRunLoop();
    deliverPending();
    EXPECT_EQ(std::accumulate(bytes.begin(), bytes.end(), QByteArray()), sent.mid(6) + longReport.left(8));
}

TEST_F(SimulatedHidService, ManagersHearChangesOnTheRunLoopOnceOpenAndScheduledAndADetachedDeviceGoesQuiet)
{
    QStringList changes;
    auto record = [&changes](const char* sign) {
        return [&changes, sign](const HidDevicePtr& d) { changes << sign + d->productName(); };
    };
    manager->setDeviceMatchingCallback(record("+"));
    manager->setDeviceRemovalCallback(record("-"));
    auto gone = hid().createManager();
    gone->setDeviceRemovalCallback(record("gone-"));
    sim::attachCamera("RX710");  // before open
    EXPECT_EQ(manager->open(), kHidSuccess);
    gone->open();
    sim::attachOtherVendorCamera("Desk Webcam");  // open but not scheduled
    deliverPending();
    for (auto* each : {manager.get(), gone.get()})
        each->scheduleWithRunLoop();
    const QString voxa = sim::attachSpeakerphone("VOXA30");
    EXPECT_TRUE(changes.isEmpty());
    deliverPending();
    EXPECT_EQ(changes, QStringList{"+VOXA30"});
    EXPECT_EQ(manager->copyDevices().value().size(), 3u);  // every vendor: the library filters

    // A device that leaves refuses reports and delivers nothing more, not even answers due.
    attach(voxa);
    send("\x01");
    model->sendInputReport("later", 5ms);
    clock().advance(1ms);
    sim::detach(voxa);
    EXPECT_EQ(send("\x02"), kHidNoDevice);
    // The callback set when the device left hears of it, and a manager gone by then not.
    manager->setDeviceRemovalCallback(record("!"));
    gone.reset();
    clock().advance(200ms);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(model->sentReports(), Bytes{"\x01"});
    EXPECT_EQ(changes, (QStringList{"+VOXA30", "-VOXA30"}));
    EXPECT_EQ(manager->copyDevices().value().size(), 2u);
    hid().setCopyDevicesGivesNone(true);
    EXPECT_FALSE(manager->copyDevices().has_value());
}

}  // namespace
