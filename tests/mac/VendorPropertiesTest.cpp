// Vendor properties: the route each request takes, the report bytes, the HID read's retry
// schedule, and the acknowledgement checks of caller-built reports.
#include "mac/MacUVCCamOC.h"

#include "UVCCamSimulation.h"
#include "platform/sim/HidFirmware.h"
#include "support/SimulatedWorld.h"
#include "support/WireText.h"

#include <QRegularExpression>

#include <chrono>
#include <optional>
#include <tuple>
#include <vector>

namespace {

using namespace std::chrono_literals;
using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;
using Results = std::vector<int>;
using Reports = std::vector<QByteArray>;

QByteArray bytes(std::initializer_list<int> head, int size)
{
    QByteArray out(size, '\0');
    int i = 0;
    for (int v : head)
        out[i++] = static_cast<char>(v);
    return out;
}

QByteArray raw(const std::uint8_t* data, int size) { return QByteArray(reinterpret_cast<const char*>(data), size); }

class VendorProperties : public SimulatedWorld {
protected:
    // Attaches the device, makes a core and selects it; the device's logs start clean.
    void select(const QString& id)
    {
        deliverPending();  // a second device arrives while the first core still stands
        device = simulator().findDevice(id);
        core = std::make_unique<MacUVCCamOC>();
        ASSERT_EQ(core->setDevice(id), 1);
        device->hid()->clearSentReports();
        if (device->uvc())
            device->uvc()->clearRequests();
        log().clear();
    }
    QStringList systemLogWithoutTraffic() const
    {
        return logged(LogChannel::System).filter(QRegularExpression(QStringLiteral("^(?!READ:|WRITE:)")));
    }
    Reports sent() const { return device->hid()->sentReports(); }
    // Where a set went: "hid <first three bytes>", the UVC request ("21 01 0400 0500 2
    // [01 02]": bmRequestType, bRequest, wValue, wIndex, wLength, data), or "none".
    QString routeOfLastSet() const
    {
        if (!sent().empty())
            return QStringLiteral("hid ") + QString::fromLatin1(sent().back().left(3).toHex(' '));
        if (!device->uvc() || device->uvc()->requests().empty())
            return QStringLiteral("none");
        return uvccam::testing::wire(device->uvc()->requests().back());
    }

    std::shared_ptr<SimulatedDevice> device;
    std::unique_ptr<MacUVCCamOC> core;
};

// Model (a camera's, or "VOXA760"), HID mode, selector, unit index; the route taken and the result.
using RouteCase = std::tuple<const char*, bool, unsigned short, int, const char*, int>;

class VendorPropertyRoute : public VendorProperties, public ::testing::WithParamInterface<RouteCase> {};

TEST_P(VendorPropertyRoute, FollowsModeModelSelectorAndUnit)
{
    const auto& [model, hidMode, selector, unitIndex, route, result] = GetParam();
    const QString name = QString::fromLatin1(model);
    select(name.startsWith("VOXA") ? uvccam::sim::attachSpeakerphone(name) : uvccam::sim::attachCamera(name));
    core->setProtocolMode(hidMode ? 1 : 0);
    std::uint8_t value[2] = {1, 2};
    EXPECT_EQ(core->setExProperty(selector, value, 2, unitIndex), result);
    EXPECT_EQ(routeOfLastSet(), QString::fromLatin1(route));
}

INSTANTIATE_TEST_SUITE_P(Table, VendorPropertyRoute, ::testing::Values(
    RouteCase{"RX710", true, 3, 1, "hid 08 10 03", 0},
    RouteCase{"RX710", true, 4, 1, "21 01 0400 0500 2 [01 02]", 0},
    RouteCase{"RX710", false, 3, 1, "21 01 0300 0500 2 [01 02]", 0},
    RouteCase{"RX710", true, 3, 2, "21 01 0300 0600 2 [01 02]", 0},
    RouteCase{"LUM250", true, 4, 1, "21 01 0400 0400 2 [01 02]", 0},
    RouteCase{"ST470", true, 2, 6, "21 01 0200 0600 2 [01 02]", 0},
    RouteCase{"ST410", true, 2, 5, "21 01 0200 0800 2 [01 02]", 0},
    RouteCase{"RX240", true, 2, 6, "21 01 0200 0700 2 [01 02]", 0},
    RouteCase{"RX240", true, 2, 3, "21 01 0200 0700 2 [01 02]", 0},
    // An index outside 1 to 6 lands on the camera terminal, which has no such control.
    RouteCase{"RX240", true, 2, 0, "21 01 0200 0100 2 [01 02]", -1},
    RouteCase{"LUM610", true, 0x105, 4, "21 01 0500 0800 2 [01 02]", 0},
    RouteCase{"VOXA760", true, 5, 1, "hid 08 10 05", 0},
    RouteCase{"VOXA760", true, 7, 1, "none", -1},
    RouteCase{"VOXA760", true, 5, 2, "none", -1},
    RouteCase{"VOXA760", false, 3, 1, "none", -1}));

TEST_F(VendorProperties, AGetOverUvcAsksGetCurOfTheMappedUnitIntoTheCallersBuffer)
{
    select(uvccam::sim::attachCamera("LUM610"));
    std::uint8_t value[3] = {0xA1, 0xB2, 0xC3};
    ASSERT_EQ(core->setExProperty(9, value, 3, 5), 0);
    QStringList results;
    for (int index = 0; index <= 7; ++index) {
        std::uint8_t read[3] = {};
        const int result = core->getExProperty(9, read, 3, index);
        results << QString::number(result) + " " + raw(read, 3).toHex();
    }
    EXPECT_EQ(results, (QStringList{"-1 000000", "0 000000", "0 000000", "0 000000", "0 000000", "0 a1b2c3",
                                    "0 000000", "-1 000000"}));
    QStringList wire;
    for (const auto& request : device->uvc()->requests())
        wire << uvccam::testing::wire(request);
    // Unit indexes 1 to 6 are units 5 to 9 and 7 again; any other is the camera terminal.
    EXPECT_EQ(wire, (QStringList{"21 01 0900 0900 3 [a1 b2 c3]", "a1 81 0900 0100 3 []", "a1 81 0900 0500 3 [00 00 00]",
                                 "a1 81 0900 0600 3 [00 00 00]", "a1 81 0900 0700 3 [00 00 00]",
                                 "a1 81 0900 0800 3 [00 00 00]", "a1 81 0900 0900 3 [a1 b2 c3]",
                                 "a1 81 0900 0700 3 [00 00 00]", "a1 81 0900 0100 3 []"}));
}

TEST_F(VendorProperties, AHidSetCarriesUpTo509ValueBytesInA512ByteReport)
{
    select(uvccam::sim::attachSpeakerphone("VOXA760"));
    QByteArray value(510, '\x5A');
    EXPECT_EQ((Results{core->setExProperty(1, value.data(), 509, 1), core->setExProperty(1, value.data(), 2, 1),
                       core->setExProperty(1, value.data(), 510, 1), core->setHidProperty(0x1FF, value.data(), 2, true)}),
              (Results{0, 0, -1, 0}));
    // The refused one is never sent; selectors keep their low byte.
    EXPECT_EQ(sent(), (Reports{bytes({8, 0x10, 1}, 3) + value.left(509), bytes({8, 0x10, 1, 0x5A, 0x5A}, 512),
                               bytes({8, 0x11, 0xFF, 0x5A, 0x5A}, 512)}));
}

// Selector, audio command; the result, the time taken, the reads, the log and value byte 0
// afterwards (selector 3 leaves the value, selector 1 copies the zeros it read).
using RetryCase = std::tuple<unsigned short, bool, int, std::chrono::milliseconds, int, QStringList, int>;

class HidReadRetries : public VendorProperties, public ::testing::WithParamInterface<RetryCase> {};

TEST_P(HidReadRetries, FollowTheBudgetOfTheSelector)
{
    const auto& [selector, uac, result, took, reads, log, valueAfter] = GetParam();
    select(uvccam::sim::attachSpeakerphone("VOXA760"));
    std::uint8_t value[2] = {0x77, 0x77};
    const auto start = clock().now();
    EXPECT_EQ(core->getHidProperty(selector, value, 2, uac), result);
    EXPECT_EQ(clock().now() - start, took);
    EXPECT_EQ(logged(LogChannel::System).filter("READ:").size(), reads);
    EXPECT_EQ(systemLogWithoutTraffic(), log);
    EXPECT_EQ(value[0], valueAfter);
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
    RetryCase{7, true, -1, 6460ms, 12, budget50Log(), 0x77},
    RetryCase{5, false, -1, 160ms, 2, {"!doesGetReportOK(1),ctrlSelectorHid = 5, uacCmd = 0, retry = 30",
                                       "get report error! reTry=30", "!doesGetReportOK(2) ctrlSelectorHid = 5",
                                       "Cannot get Hid Value"}, 0x77},
    RetryCase{1, false, 0, 80ms, 1, {"!doesGetReportOK(1),ctrlSelectorHid = 1, uacCmd = 0, retry = 0"}, 0},
    RetryCase{3, false, 0, 80ms, 1, {"!doesGetReportOK(1),ctrlSelectorHid = 3, uacCmd = 0, retry = 50"}, 0x77}));

TEST_F(VendorProperties, AHidGetReadsTheNextAnswerWithoutAskingAndAnAnswerDuringTheRetriesEndsThem)
{
    select(uvccam::sim::attachSpeakerphone("VOXA760"));
    device->hid()->sendInputReport(bytes({8, 0x10, 4, 0xAB, 0xCD}, 512), 5ms);
    std::uint8_t value[2] = {};
    EXPECT_EQ(core->getExProperty(4, value, 2, 1), 0);
    EXPECT_EQ(raw(value, 2), "\xAB\xCD");
    // The first read and two retries (paused 0 and 0.1 s) see nothing; then it answers.
    device->hid()->sendInputReport(bytes({8, 0x10, 7, 0x42}, 512), 300ms);
    EXPECT_EQ(core->getHidProperty(7, value, 1, false), 0);
    EXPECT_EQ(value[0], 0x42);
    EXPECT_EQ(logged(LogChannel::System).filter("get report error!").size(), 2);
    EXPECT_TRUE(sent().empty());
}

TEST_F(VendorProperties, WithoutASelectionOrHidDeviceNothingIsSent)
{
    core = std::make_unique<MacUVCCamOC>();
    std::uint8_t value[2] = {1, 2};
    EXPECT_EQ((Results{core->setHidProperty(1, value, 2, false), core->getHidProperty(1, value, 2, false)}), (Results{-1, -1}));
    core->deviceReady = true;
    EXPECT_EQ((Results{core->setHidProperty(1, value, 2, false), core->getHidProperty(1, value, 2, false)}), (Results{-1, -1}));
    EXPECT_EQ(logged(LogChannel::QtDebug), QStringList{"hidWrite:hid_write() failed"});
    EXPECT_EQ(logged(LogChannel::System), QStringList{"Hid nil error"});
    EXPECT_EQ(core->setExProperty(4, nullptr, 2, 2), -1) << "no data for a non-zero length";
}

// Caller-built reports and their acknowledgements, the answers bent by the firmware's knobs.
class CallerBuiltReports : public VendorProperties {
protected:
    void SetUp() override { select(uvccam::sim::attachCamera("ST410")); }
    HidFirmware& firmware() { return *device->firmware(); }
};

TEST_F(CallerBuiltReports, AcknowledgementsAreCheckedByTypeAndMode)
{
    // The answer's type, byte 1 (none: the report's own byte 1) and result byte; mode -1
    // stands for setExHidProperty, which checks type and status, yet succeeds.
    const struct {
        int type;
        std::optional<int> byte1;
        int resultByte, mode, result;
    } cases[] = {{9, 3, 0, -1, 0},     {9, 12, 0, -1, 0}, {4, 0, 0, -1, 0},    {9, 0x1A, 0, 1, 0},
                 {9, 0x1B, 0, 1, -1}, {9, {}, 7, 0, 7},   {9, 0x43, 7, 0, -1}, {8, {}, 7, 0, -1}};
    std::uint8_t report[12] = {0x21, 0x42};
    for (const auto& c : cases) {
        firmware().setAnswerType(c.type);
        firmware().setPayloadByte1Override(c.byte1);
        firmware().setResultByte(c.resultByte);
        EXPECT_EQ(c.mode < 0 ? core->setExHidProperty(report, 12) : core->setExHidReport(report, 8, c.mode), c.result);
    }
    EXPECT_EQ(sent().front(), raw(report, 12));
    EXPECT_EQ(core->setExHidReport(report, 1, 0), -1) << "mode 0 needs byte 1";
    EXPECT_EQ(logged(LogChannel::QtDebug),
              (QStringList{"setExHidProperty status out of range", "setExHidProperty unknown report id", "setExHidReport ack err",
                           "setExHidReport ack err", "setExHidReport unknown report id"}));
    // Only the ST410 and ST470 take caller-built property reports.
    core->modelName = "RX710";
    EXPECT_EQ(core->setExHidProperty(report, 12), -1);
    EXPECT_EQ(sent().size(), 8u);
}

TEST_F(CallerBuiltReports, GetExHidReportWritesBackOnlyWhatFitsAndFailsWithoutAnAnswer)
{
    // A read (byte 1 with 0x80) is answered with its count and the bytes 0 to 7.
    firmware().setCountOverride(3);
    std::uint8_t buffer[10] = {0x30, 0x81, 2, 3, 4, 5, 6, 7, 8, 9};
    EXPECT_EQ(core->getExHidReport(buffer, 10), 0);
    EXPECT_EQ(raw(buffer, 10), bytes({0x30, 0x81, 3, 0, 0, 1, 2, 7, 8, 9}, 10));

    // A count the buffer cannot take, or the answer cannot hold (505 bytes), writes nothing.
    firmware().setCountOverride(5);
    std::uint8_t small[8] = {0x30, 0x81};
    EXPECT_EQ(core->getExHidReport(small, 8), -1);
    EXPECT_EQ(small[2], 0);
    firmware().setCountOverride(506);
    std::uint8_t large[600] = {0x30, 0x81};
    EXPECT_EQ(core->getExHidReport(large, sizeof large), -1);
    EXPECT_EQ(large[2], 0);

    // Without an answer a set succeeds and a get fails.
    device->hid()->setBehaviour(HidDeviceModel::Behaviour::Silent);
    EXPECT_EQ(core->setExHidReport(buffer, 8, 1), 0);
    EXPECT_EQ(core->getExHidReport(buffer, 8), -1);
    EXPECT_EQ(logged(LogChannel::QtDebug), (QStringList{"setExHidReport read failed", "getExHidReport read failed"}));
}

TEST_F(VendorProperties, AudioPropertiesTravelInABlockOnSpeakerphonesOnly)
{
    select(uvccam::sim::attachSpeakerphone("VOXA760"));
    device->hid()->setResponder([](const QByteArray&) { return std::optional(bytes({8, 0x11, 7, 0, 0x12, 0x34}, 512)); });
    std::uint8_t value[2] = {};
    EXPECT_EQ(core->getUACHidProperty(7, value, 2), 0);
    EXPECT_EQ(raw(value, 2), "\x12\x34");
    // A set succeeds without an answer; more than 64 bytes are refused before anything is sent.
    device->hid()->setBehaviour(HidDeviceModel::Behaviour::Silent);
    std::uint8_t set[2] = {0xA1, 0xA2}, tooLong[65] = {};
    EXPECT_EQ((Results{core->setUACHidProperty(7, set, 2), core->setUACHidProperty(7, tooLong, 65),
                       core->getUACHidProperty(7, tooLong, 65)}),
              (Results{0, -1, -1}));
    EXPECT_EQ(sent(), (Reports{bytes({8, 0x11, 7}, 512), bytes({8, 0x11, 7, 1, 0xA1, 0xA2}, 512)}));

    select(uvccam::sim::attachCamera("RX710"));
    EXPECT_EQ((Results{core->getUACHidProperty(7, set, 2), core->setUACHidProperty(7, set, 2)}), (Results{-1, -1}));
    EXPECT_TRUE(sent().empty());
}

}  // namespace
