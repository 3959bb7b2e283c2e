// The simulated HID service: answers and their faults, input-report delivery rules, hot-plug.
#include "platform/sim/HidServiceSim.h"

#include "UVCCamSimulation.h"
#include "platform/Platform.h"
#include "support/SimulatedWorld.h"

#include <functional>
#include <numeric>
#include <vector>

namespace {

using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;
using namespace std::chrono_literals;
namespace sim = uvccam::sim;
using Behaviour = HidDeviceModel::Behaviour;
using Bytes = std::vector<QByteArray>;

// Registers a report space on a device and records each delivery's time and bytes.
struct Reports {
    Reports(RunLoop& loop, HidDevice& hidDevice, std::size_t spaceLength)
        : clock(loop), device(&hidDevice), space(spaceLength)
    {
        device->registerInputReportCallback(space.data(), space.size(), &Reports::heard, this);
    }
    static void heard(void* context, HidStatus result, HidDevice* sender, std::uint32_t reportId, std::uint8_t* report,
                      long length)
    {
        auto* self = static_cast<Reports*>(context);
        EXPECT_TRUE(result == kHidSuccess && reportId == 0 && sender == self->device && report == self->space.data());
        self->times.push_back(self->clock.now());
        self->bytes.push_back(QByteArray(reinterpret_cast<const char*>(report), static_cast<int>(length)));
        if (self->onHeard)
            self->onHeard();
    }
    RunLoop& clock;
    HidDevice* device;
    std::vector<std::uint8_t> space;
    std::vector<Duration> times;
    Bytes bytes;
    std::function<void()> onHeard;
};

class SimulatedHidService : public SimulatedWorld {
protected:
    HidServiceSim& hid() { return static_cast<HidServiceSim&>(Platform::current().hid()); }

    // The device's HID function and the HID device a manager lists for it.
    std::pair<HidDeviceModel*, HidDevicePtr> find(const QString& uniqueId)
    {
        auto device = simulator().findDevice(uniqueId);
        const auto listed = manager->copyDevices().value();
        for (const auto& hidDevice : listed)
            if (hidDevice->locationId() == device->profile().locationId)
                return {device->hid(), hidDevice};
        return {device->hid(), nullptr};
    }

    static HidStatus send(HidDevice& device, const QByteArray& report)
    {
        return device.setReport(reinterpret_cast<const std::uint8_t*>(report.constData()), report.size());
    }

    std::shared_ptr<HidManager> manager = hid().createManager();
};

TEST_F(SimulatedHidService, AnswersAndReportsComeOnTheRunLoopWhenDueCutToTheReportSpace)
{
    const auto [model, camera] = find(sim::attachCamera("RX710"));
    ASSERT_TRUE(camera);
    // A plain echo instead of the firmware, whose answers are tested on their own.
    model->setResponder([](const QByteArray& out) { return std::optional<QByteArray>(out); });
    Reports heard(clock(), *camera, 64);
    camera->scheduleWithRunLoop();
    const QByteArray echoed("\x00\x01\x00\x7f", 4);  // byte 0 and inner zeros go as they are
    EXPECT_EQ(send(*camera, echoed), kHidSuccess);
    deliverPending();
    EXPECT_TRUE(heard.bytes.empty());
    clock().advance(2ms);
    EXPECT_EQ(heard.times, std::vector<Duration>{2ms});
    EXPECT_EQ(heard.bytes, Bytes{echoed});
    // The firmware's responder may answer differently, or not at all.
    model->setAnswerDelay(5ms);
    model->setResponder([](const QByteArray& out) {
        return out[1] == 1 ? std::nullopt : std::optional<QByteArray>("ok");
    });
    send(*camera, "\x02\x01");
    send(*camera, "\x02\x02");
    clock().advance(10ms);
    EXPECT_EQ(heard.times, (std::vector<Duration>{2ms, 7ms}));
    EXPECT_EQ(heard.bytes.back(), "ok");
    EXPECT_EQ(model->sentReports(), (Bytes{echoed, "\x02\x01", "\x02\x02"}));
    // The device may send on its own, reports of any length, each cut to the report space.
    const QByteArray longReport = QByteArray("0123456789").repeated(10);
    model->sendInputReport(longReport, 10ms);
    model->sendInputReport("short", 10ms);
    clock().advance(10ms);
    EXPECT_EQ(heard.times.back(), 22ms);
    EXPECT_EQ(heard.bytes, (Bytes{echoed, "ok", longReport.left(64), "short"}));
}

TEST_F(SimulatedHidService, FaultsDelayRepeatOrLoseTheAnswerButTheReportIsAlwaysRecorded)
{
    struct Case {
        Behaviour behaviour;
        bool fails;
        HidStatus status;
        std::vector<Duration> arrivals;  // after the report was sent
    } const cases[] = {{Behaviour::Normal, false, kHidSuccess, {2ms}},
                       {Behaviour::Silent, false, kHidSuccess, {}},
                       {Behaviour::Late, false, kHidSuccess, {100ms}},
                       {Behaviour::Twice, false, kHidSuccess, {2ms, 3ms}},
                       {Behaviour::Normal, true, kHidError, {}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(&c - cases));
        const auto [model, camera] = find(sim::attachCamera("LUM610"));
        Reports heard(clock(), *camera, 64);
        camera->scheduleWithRunLoop();
        model->setBehaviour(c.behaviour);
        model->setReportFails(c.fails);
        const Duration start = clock().now();
        EXPECT_EQ(send(*camera, "\x01\x05"), c.status);
        clock().advance(200ms);
        for (Duration& t : heard.times)
            t -= start;
        EXPECT_EQ(heard.times, c.arrivals);
        EXPECT_EQ(model->sentReports(), Bytes{"\x01\x05"});
    }
}

TEST_F(SimulatedHidService, AnUnscheduledDeviceKeepsTheNewestReportsAndDeliversThemInOrderOneStepEach)
{
    const auto [model, camera] = find(sim::attachCamera("RX240"));
    Reports heard(clock(), *camera, 8);
    QByteArray expected;
    for (int i = 0; i < 70; ++i) {
        model->sendInputReport(QByteArray(1, static_cast<char>(i)), 1ms);
        expected += i < 6 ? "" : QByteArray(1, static_cast<char>(i));
    }
    clock().advance(10ms);
    // Scheduling alone delivers nothing; each report then takes its own run-loop step, so
    // unscheduling from the callback holds back the rest.
    heard.onHeard = [&heard, camera = camera] {
        if (heard.bytes.size() == 3)
            camera->unscheduleFromRunLoop();
    };
    camera->scheduleWithRunLoop();
    EXPECT_TRUE(heard.bytes.empty());
    deliverPending();
    EXPECT_EQ(heard.bytes.size(), 3u);
    // A report arriving now does not overtake those still buffered.
    model->sendInputReport("\x64", 0ms);
    camera->scheduleWithRunLoop();
    deliverPending();
    EXPECT_EQ(std::accumulate(heard.bytes.begin(), heard.bytes.end(), QByteArray()), expected + "\x64");
}

TEST_F(SimulatedHidService, ADetachedDeviceDeliversNothingMoreAndRefusesReports)
{
    const QString id = sim::attachCamera("RX710");
    const auto [model, camera] = find(id);
    Reports heard(clock(), *camera, 64);
    camera->scheduleWithRunLoop();
    send(*camera, "\x01");
    model->sendInputReport("later", 5ms);
    clock().advance(1ms);
    sim::detach(id);
    model->sendInputReport("after", 0ms);
    EXPECT_EQ(send(*camera, "\x02"), kHidNoDevice);
    clock().advance(200ms);
    EXPECT_TRUE(heard.bytes.empty());
    EXPECT_EQ(model->sentReports(), Bytes{"\x01"});
    EXPECT_TRUE(manager->copyDevices().value().empty());
}

TEST_F(SimulatedHidService, ManagersListEveryDeviceAndHearLaterChangesOnTheRunLoopOnceOpenAndScheduled)
{
    QStringList changes;
    std::vector<HidDevicePtr> given;
    auto record = [&](const char* sign) {
        return [&changes, &given, sign](const HidDevicePtr& d) {
            changes << sign + d->productName();
            given.push_back(d);
        };
    };
    manager->setDeviceMatchingCallback(record("+"));
    manager->setDeviceRemovalCallback(record("-"));
    auto gone = hid().createManager();
    int heardByGone = 0;
    gone->setDeviceMatchingCallback([&heardByGone](const HidDevicePtr&) { ++heardByGone; });
    gone->setDeviceRemovalCallback([&heardByGone](const HidDevicePtr&) { ++heardByGone; });
    sim::attachCamera("RX710");  // before open
    EXPECT_EQ(manager->open(), kHidSuccess);
    gone->open();
    sim::attachOtherVendorCamera("Desk Webcam");  // open but not scheduled
    deliverPending();
    manager->scheduleWithRunLoop();
    gone->scheduleWithRunLoop();
    const QString voxa = sim::attachSpeakerphone("VOXA30");
    EXPECT_TRUE(changes.isEmpty());
    deliverPending();
    EXPECT_EQ(changes, QStringList{"+VOXA30"});
    EXPECT_EQ(heardByGone, 1);
    const auto listed = manager->copyDevices().value();
    ASSERT_EQ(listed.size(), 3u);  // every vendor: the library filters
    EXPECT_EQ(manager->copyDevices().value(), listed);
    // The callback set when the device left hears of it, and a manager gone by then not.
    sim::detach(voxa);
    manager->setDeviceRemovalCallback(record("!"));
    gone.reset();
    deliverPending();
    EXPECT_EQ(changes, (QStringList{"+VOXA30", "-VOXA30"}));
    EXPECT_EQ(given, (std::vector<HidDevicePtr>{listed[2], listed[2]}));
    EXPECT_EQ(heardByGone, 1);
    hid().setCopyDevicesGivesNone(true);
    EXPECT_FALSE(manager->copyDevices().has_value());
}

}  // namespace
