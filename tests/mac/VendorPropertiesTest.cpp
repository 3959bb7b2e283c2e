// Vendor properties: the route each request takes, the report bytes, the HID read's retry
// schedule, and the acknowledgement checks of caller-built reports.
#include "mac/MacUVCCamOC.h"

#include "UVCCamSimulation.h"
#include "support/SimulatedWorld.h"

#include <chrono>

namespace {

using namespace std::chrono_literals;
using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;

QByteArray bytes(std::initializer_list<int> head, int size)
{
    QByteArray out(size, '\0');
    int i = 0;
    for (int v : head)
        out[i++] = static_cast<char>(v);
    return out;
}

class VendorProperties : public SimulatedWorld {
protected:
    // Attaches the device, makes a core and selects it; the device's logs start clean.
    void select(const QString& id)
    {
        device = simulator().findDevice(id);
        core = std::make_unique<MacUVCCamOC>();
        ASSERT_EQ(core->setDevice(id), 1);
        device->hid()->clearSentReports();
        if (device->uvc())
            device->uvc()->clearRequests();
        log().clear();
    }
    // Makes the device answer every report with this one.
    void answerWith(const QByteArray& answer)
    {
        device->hid()->setResponder([answer](const QByteArray&) { return std::optional<QByteArray>(answer); });
    }
    QStringList systemLogWithoutTraffic() const
    {
        QStringList lines;
        for (const QString& line : logged(LogChannel::System)) {
            if (!line.startsWith("READ:") && !line.startsWith("WRITE:"))
                lines << line;
        }
        return lines;
    }
    // Where a set went: "hid <first three bytes>", "uvc unit <n> wValue <v>", or "none".
    QString routeOfLastSet() const
    {
        const auto reports = device->hid()->sentReports();
        if (!reports.empty()) {
            const QByteArray& r = reports.back();
            return QStringLiteral("hid %1").arg(QString::fromLatin1(r.left(3).toHex(' ')));
        }
        if (device->uvc() && !device->uvc()->requests().empty()) {
            const auto& setup = device->uvc()->requests().back().setup;
            return QStringLiteral("uvc unit %1 wValue %2").arg(setup.wIndex >> 8).arg(setup.wValue, 4, 16, QLatin1Char('0'));
        }
        return QStringLiteral("none");
    }

    std::shared_ptr<SimulatedDevice> device;
    std::unique_ptr<MacUVCCamOC> core;
};

struct RouteCase {
    const char* model;  // a camera model, or "VOXA760"
    bool hidMode;
    unsigned short selector;
    int unitIndex;
    const char* route;
    int result;
};

class VendorPropertyRoute : public VendorProperties, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(VendorPropertyRoute, FollowsModeModelSelectorAndUnit)
{
    const RouteCase& c = GetParam();
    const QString model = QString::fromLatin1(c.model);
    select(model.startsWith("VOXA") ? uvccam::sim::attachSpeakerphone(model) : uvccam::sim::attachCamera(model));
    core->setProtocolMode(c.hidMode ? 1 : 0);
    std::uint8_t value[2] = {1, 2};
    const int result = core->setExProperty(c.selector, value, 2, c.unitIndex);
    EXPECT_EQ(routeOfLastSet(), QString::fromLatin1(c.route));
    EXPECT_EQ(result, c.result);
}

INSTANTIATE_TEST_SUITE_P(Table, VendorPropertyRoute, ::testing::Values(
    RouteCase{"RX710", true, 3, 1, "hid 08 10 03", 0},
    RouteCase{"RX710", true, 4, 1, "uvc unit 5 wValue 0400", 0},
    RouteCase{"RX710", false, 3, 1, "uvc unit 5 wValue 0300", 0},
    RouteCase{"RX710", true, 3, 2, "uvc unit 6 wValue 0300", 0},
    RouteCase{"LUM250", true, 4, 1, "uvc unit 4 wValue 0400", 0},
    RouteCase{"ST470", true, 2, 6, "uvc unit 6 wValue 0200", 0},
    RouteCase{"ST410", true, 2, 5, "uvc unit 8 wValue 0200", 0},
    RouteCase{"RX240", true, 2, 6, "uvc unit 7 wValue 0200", 0},
    RouteCase{"RX240", true, 2, 3, "uvc unit 7 wValue 0200", 0},
    // An index outside 1 to 6 lands on the camera terminal, which has no such control.
    RouteCase{"RX240", true, 2, 0, "uvc unit 1 wValue 0200", -1},
    RouteCase{"LUM610", true, 0x105, 4, "uvc unit 8 wValue 0500", 0},
    RouteCase{"VOXA760", true, 5, 1, "hid 08 10 05", 0},
    RouteCase{"VOXA760", true, 7, 1, "none", -1},
    RouteCase{"VOXA760", true, 5, 2, "none", -1},
    RouteCase{"VOXA760", false, 3, 1, "none", -1}));

TEST_F(VendorProperties, ExtensionUnitIndexesMapToUnitIds)
{
    select(uvccam::sim::attachCamera("LUM610"));
    for (int index = 0; index <= 7; ++index)
        core->getExProperty(9, nullptr, 0, index);
    QStringList units;
    for (const auto& request : device->uvc()->requests())
        units << QString::number(request.setup.wIndex >> 8);
    EXPECT_EQ(units, (QStringList{"1", "5", "6", "7", "8", "9", "7", "1"}));
}

TEST_F(VendorProperties, AHidSetCarriesUpTo509ValueBytesInA512ByteReport)
{
    select(uvccam::sim::attachSpeakerphone("VOXA760"));
    QByteArray value(509, '\x5A');
    EXPECT_EQ(core->setExProperty(1, value.data(), 509, 1), 0);
    EXPECT_EQ(device->hid()->sentReports().back(), bytes({8, 0x10, 1}, 3) + value);
    EXPECT_EQ(core->setExProperty(1, value.data(), 2, 1), 0);
    EXPECT_EQ(device->hid()->sentReports().back(), bytes({8, 0x10, 1, 0x5A, 0x5A}, 512));
    QByteArray tooLong(510, '\x01');
    EXPECT_EQ(core->setExProperty(1, tooLong.data(), 510, 1), -1);
    EXPECT_EQ(core->setHidProperty(0x1FF, value.data(), 2, true), 0);
    EXPECT_EQ(device->hid()->sentReports().back(), bytes({8, 0x11, 0xFF, 0x5A, 0x5A}, 512));
    EXPECT_EQ(device->hid()->sentReports().size(), 3u) << "the refused one was never sent";
}

TEST_F(VendorProperties, AHidGetReadsTheNextAnswerWithoutAsking)
{
    select(uvccam::sim::attachSpeakerphone("VOXA760"));
    device->hid()->sendInputReport(bytes({8, 0x10, 4, 0xAB, 0xCD}, 512), 5ms);
    std::uint8_t value[2] = {};
    EXPECT_EQ(core->getExProperty(4, value, 2, 1), 0);
    EXPECT_EQ(value[0], 0xAB);
    EXPECT_EQ(value[1], 0xCD);
    EXPECT_TRUE(device->hid()->sentReports().empty());
}

struct RetryCase {
    unsigned short selector;
    bool uac;
    int result;
    std::chrono::milliseconds took;
    int reads;
    QStringList log;
};

class HidReadRetries : public VendorProperties, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(HidReadRetries, FollowTheBudgetOfTheSelector)
{
    const RetryCase& c = GetParam();
    select(uvccam::sim::attachSpeakerphone("VOXA760"));
    std::uint8_t value[2] = {0x77, 0x77};
    const auto start = clock().now();
    EXPECT_EQ(core->getHidProperty(c.selector, value, 2, c.uac), c.result);
    EXPECT_EQ(clock().now() - start, c.took);
    EXPECT_EQ(logged(LogChannel::System).filter("READ:").size(), c.reads);
    EXPECT_EQ(systemLogWithoutTraffic(), c.log);
    // Selector 3 leaves the value; selector 1 copies the zeros it read.
    if (c.selector == 3 && !c.uac) {
        EXPECT_EQ(value[0], 0x77);
    }
    if (c.selector == 1 && !c.uac) {
        EXPECT_EQ(value[0], 0);
    }
}

QStringList budget50Log()
{
    QStringList log{"!doesGetReportOK(1),ctrlSelectorHid = 7, uacCmd = 1, retry = 50"};
    for (int r = 50; r >= 40; --r)
        log << QStringLiteral("get report error! reTry=%1").arg(r) << "!doesGetReportOK(2) ctrlSelectorHid = 7";
    return log << "Cannot get Hid Value";
}

INSTANTIATE_TEST_SUITE_P(Silence, HidReadRetries, ::testing::Values(
    // Eleven retries, pauses of 0 to 1.0 s: 5.5 s of pauses and twelve 80 ms reads.
    RetryCase{7, true, -1, 6460ms, 12, budget50Log()},
    RetryCase{5, false, -1, 160ms, 2, {"!doesGetReportOK(1),ctrlSelectorHid = 5, uacCmd = 0, retry = 30",
                                       "get report error! reTry=30", "!doesGetReportOK(2) ctrlSelectorHid = 5",
                                       "Cannot get Hid Value"}},
    RetryCase{1, false, 0, 80ms, 1, {"!doesGetReportOK(1),ctrlSelectorHid = 1, uacCmd = 0, retry = 0"}},
    RetryCase{3, false, 0, 80ms, 1, {"!doesGetReportOK(1),ctrlSelectorHid = 3, uacCmd = 0, retry = 50"}}));

TEST_F(VendorProperties, AnAnswerDuringTheRetriesEndsThem)
{
    select(uvccam::sim::attachSpeakerphone("VOXA760"));
    // The first read and two retries (paused 0 and 0.1 s) see nothing; then it answers.
    device->hid()->sendInputReport(bytes({8, 0x10, 7, 0x42}, 512), 300ms);
    std::uint8_t value = 0;
    EXPECT_EQ(core->getHidProperty(7, &value, 1, false), 0);
    EXPECT_EQ(value, 0x42);
    EXPECT_EQ(logged(LogChannel::System).filter("get report error!").size(), 2);
}

TEST_F(VendorProperties, WithoutASelectionOrHidDeviceNothingIsSent)
{
    core = std::make_unique<MacUVCCamOC>();
    std::uint8_t value[2] = {1, 2};
    EXPECT_EQ(core->setHidProperty(1, value, 2, false), -1);
    EXPECT_EQ(core->getHidProperty(1, value, 2, false), -1);
    core->deviceReady = true;
    EXPECT_EQ(core->setHidProperty(1, value, 2, false), -1);
    EXPECT_EQ(core->getHidProperty(1, value, 2, false), -1);
    EXPECT_EQ(logged(LogChannel::QtDebug), QStringList{"hidWrite:hid_write() failed"});
    EXPECT_EQ(logged(LogChannel::System), QStringList{"Hid nil error"});
    EXPECT_EQ(core->setExProperty(4, nullptr, 2, 2), -1) << "no data for a non-zero length";
}

// Caller-built reports and their acknowledgements.
class CallerBuiltReports : public VendorProperties {
protected:
    void SetUp() override { select(uvccam::sim::attachCamera("ST410")); }
    // An answer laid out as the device sends it: the payload from byte 3.
    static QByteArray answer(std::initializer_list<int> payload) { return bytes({9, 0, 0}, 3) + bytes(payload, 509); }
};

TEST_F(CallerBuiltReports, SetExHidPropertyChecksTypeAndStatusButSucceeds)
{
    std::uint8_t report[12] = {8, 7};
    answerWith(answer({9, 3}));
    EXPECT_EQ(core->setExHidProperty(report, 12), 0);
    answerWith(answer({9, 12}));
    EXPECT_EQ(core->setExHidProperty(report, 12), 0);
    answerWith(answer({4, 0}));
    EXPECT_EQ(core->setExHidProperty(report, 12), 0);
    EXPECT_EQ(device->hid()->sentReports().front(), QByteArray(reinterpret_cast<char*>(report), 12));
    EXPECT_EQ(logged(LogChannel::QtDebug),
              (QStringList{"setExHidProperty status out of range", "setExHidProperty unknown report id"}));

    core->modelName = "RX710";
    EXPECT_EQ(core->setExHidProperty(report, 12), -1);
    EXPECT_EQ(device->hid()->sentReports().size(), 3u);
}

TEST_F(CallerBuiltReports, SetExHidReportChecksTheAcknowledgementOfItsMode)
{
    std::uint8_t report[8] = {0x21, 0x42};
    answerWith(answer({9, 0x1A}));
    EXPECT_EQ(core->setExHidReport(report, 8, 1), 0);
    answerWith(answer({9, 0x1B}));
    EXPECT_EQ(core->setExHidReport(report, 8, 1), -1);
    answerWith(answer({9, 0x42, 7}));
    EXPECT_EQ(core->setExHidReport(report, 8, 0), 7);
    answerWith(answer({9, 0x43, 7}));
    EXPECT_EQ(core->setExHidReport(report, 8, 0), -1);
    answerWith(answer({8, 0x42, 7}));
    EXPECT_EQ(core->setExHidReport(report, 8, 0), -1);
    EXPECT_EQ(core->setExHidReport(report, 1, 0), -1) << "mode 0 needs byte 1";
    EXPECT_EQ(logged(LogChannel::QtDebug),
              (QStringList{"setExHidReport ack err", "setExHidReport ack err", "setExHidReport unknown report id"}));
}

TEST_F(CallerBuiltReports, WithoutAnAnswerASetSucceedsAndAGetFails)
{
    device->hid()->setBehaviour(HidDeviceModel::Behaviour::Silent);
    std::uint8_t report[8] = {0x21, 0x42};
    EXPECT_EQ(core->setExHidReport(report, 8, 1), 0);
    EXPECT_EQ(core->getExHidReport(report, 8), -1);
    EXPECT_EQ(logged(LogChannel::QtDebug), (QStringList{"setExHidReport read failed", "getExHidReport read failed"}));
}

TEST_F(CallerBuiltReports, GetExHidReportWritesBackOnlyWhatFits)
{
    answerWith(answer({9, 0x00, 3, 0, 0xAA, 0xBB, 0xCC}));
    std::uint8_t buffer[10] = {0x30, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(core->getExHidReport(buffer, 10), 0);
    const std::uint8_t expected[10] = {0x30, 0x00, 3, 0, 0xAA, 0xBB, 0xCC, 7, 8, 9};
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(buffer), 10), QByteArray(reinterpret_cast<const char*>(expected), 10));

    // A count the buffer cannot take, or the answer cannot hold, writes nothing.
    answerWith(answer({9, 0x00, 7, 0, 1, 2, 3, 4, 5, 6, 7}));
    std::uint8_t small[8] = {};
    EXPECT_EQ(core->getExHidReport(small, 8), -1);
    EXPECT_EQ(small[2], 0);
    answerWith(answer({9, 0x00, 0xFF, 0xFF}));
    std::uint8_t large[600] = {};
    EXPECT_EQ(core->getExHidReport(large, sizeof large), -1);
    EXPECT_EQ(large[2], 0);
}

// Audio properties of a speakerphone.
TEST_F(VendorProperties, AudioPropertiesTravelInABlockOnSpeakerphonesOnly)
{
    select(uvccam::sim::attachSpeakerphone("VOXA760"));
    answerWith(bytes({8, 0x11, 7, 0, 0x12, 0x34}, 512));
    std::uint8_t value[2] = {};
    EXPECT_EQ(core->getUACHidProperty(7, value, 2), 0);
    EXPECT_EQ(device->hid()->sentReports().back(), bytes({8, 0x11, 7}, 512));
    EXPECT_EQ(value[0], 0x12);
    EXPECT_EQ(value[1], 0x34);

    device->hid()->setBehaviour(HidDeviceModel::Behaviour::Silent);
    std::uint8_t set[2] = {0xA1, 0xA2};
    EXPECT_EQ(core->setUACHidProperty(7, set, 2), 0) << "succeeds without an answer";
    EXPECT_EQ(device->hid()->sentReports().back(), bytes({8, 0x11, 7, 1, 0xA1, 0xA2}, 512));
    std::uint8_t tooLong[65] = {};
    EXPECT_EQ(core->setUACHidProperty(7, tooLong, 65), -1);
    EXPECT_EQ(core->getUACHidProperty(7, tooLong, 65), -1);
    EXPECT_EQ(device->hid()->sentReports().size(), 2u);
}

TEST_F(VendorProperties, AudioPropertiesAreRefusedOnCameras)
{
    select(uvccam::sim::attachCamera("RX710"));
    std::uint8_t value[2] = {1, 2};
    EXPECT_EQ(core->getUACHidProperty(7, value, 2), -1);
    EXPECT_EQ(core->setUACHidProperty(7, value, 2), -1);
    EXPECT_TRUE(device->hid()->sentReports().empty());
}

}  // namespace
