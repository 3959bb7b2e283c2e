// The simulated firmware: property and UAC values, the ST470's apply command, acks and their faults.
#include "platform/sim/HidFirmware.h"

#include "UVCCamSimulation.h"
#include "support/SimulatedWorld.h"

#include <optional>
#include <vector>

namespace {

using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;

// A report of `size` bytes that starts with `head`, zeros after.
QByteArray bytes(std::initializer_list<int> head, int size = 512)
{
    QByteArray out(size, '\0');
    int i = 0;
    for (int v : head)
        out[i++] = static_cast<char>(v);
    return out;
}

class Firmware : public SimulatedWorld {
protected:
    Firmware()
    {
        for (SimulatedDevice* device : {st470, voxa})
            device->hid()->addInputListener([this](const QByteArray& report, Duration) { heard.push_back(report); });
    }

    // Sends one output report and returns the answer, if any: the firmware answers at once.
    std::optional<QByteArray> send(SimulatedDevice* device, const QByteArray& report)
    {
        heard.clear();
        device->hid()->receiveOutputReport(report);
        return heard.empty() ? std::nullopt : std::optional<QByteArray>(heard.front());
    }

    // One byte of the ST470's transfer mode as the camera reports it, or sets it.
    std::uint8_t transferMode(std::optional<std::uint8_t> set = std::nullopt)
    {
        std::uint8_t value = set.value_or(0);
        UsbSetupPacket setup{std::uint8_t(set ? 0x21 : 0xA1), set ? UvcCameraModel::SET_CUR : UvcCameraModel::GET_CUR,
                             2 << 8, 6 << 8, 1};
        EXPECT_EQ(st470->uvc()->controlRequest(setup, &value, nullptr), kUsbSuccess);
        return value;
    }

    SimulatedDevice* st470 = simulator().findDevice(uvccam::sim::attachCamera("ST470")).get();
    SimulatedDevice* voxa = simulator().findDevice(uvccam::sim::attachSpeakerphone("VOXA760")).get();
    std::vector<QByteArray> heard;
};

TEST_F(Firmware, PropertyReportsStoreTheValueAndEchoItAndTheDeviceCanReportItUnasked)
{
    EXPECT_EQ(send(voxa, bytes({8, 0x10, 3, 'a', 'b'})), bytes({8, 0x10, 3, 'a', 'b'}));
    EXPECT_EQ(send(voxa, bytes({8, 0x10, 4, 'z'}, 4)), bytes({8, 0x10, 4, 'z'})) << "short reports pad with zeros";
    EXPECT_EQ(voxa->firmware()->property(3), bytes({'a', 'b'}, 509));
    heard.clear();
    voxa->firmware()->reportProperty(3);
    voxa->firmware()->reportProperty(9);
    EXPECT_EQ(heard, (std::vector<QByteArray>{bytes({8, 0x10, 3, 'a', 'b'}), bytes({8, 0x10, 9})}));
    EXPECT_EQ(st470->firmware()->property(3), bytes({}, 509)) << "each device keeps its own values";
}

TEST_F(Firmware, UacSetStoresSixtyFourBytesAndBothDirectionsAnswerTheStoredValue)
{
    QByteArray set = bytes({8, 0x11, 7, 1, 'v', 'w'});
    set[68] = 'x';  // past the 64-byte value
    EXPECT_EQ(send(voxa, set), bytes({8, 0x11, 7, 1, 'v', 'w'}));
    EXPECT_EQ(send(voxa, bytes({8, 0x11, 7, 0, 'i', 'g'})), bytes({8, 0x11, 7, 0, 'v', 'w'})) << "a get stores nothing";
    EXPECT_EQ(send(voxa, bytes({8, 0x11, 8, 0})), bytes({8, 0x11, 8, 0}));
    EXPECT_EQ(voxa->firmware()->uacProperty(7), bytes({'v', 'w'}, 64));
}

TEST_F(Firmware, TheApplyCommandMakesTheSt470sPendingTransferModeTakeEffect)
{
    EXPECT_EQ(transferMode(), 0);
    transferMode(1);
    EXPECT_EQ(transferMode(), 0) << "pending until applied";
    EXPECT_EQ(send(st470, bytes({8, 7}, 12)), bytes({9, 0, 0, 9, 0, 0}));
    EXPECT_EQ(transferMode(), 1);
    EXPECT_EQ(st470->uvc()->extensionBytes(6, 2, 1), QByteArray(1, '\1'));
    // Other properties, and the same property on another camera, take effect at once.
    SimulatedDevice* rx710 = simulator().findDevice(uvccam::sim::attachCamera("RX710")).get();
    std::uint8_t one = 1;
    rx710->uvc()->controlRequest({0x21, UvcCameraModel::SET_CUR, 2 << 8, 6 << 8, 1}, &one, nullptr);
    EXPECT_EQ(rx710->uvc()->extensionBytes(6, 2, 1), QByteArray(1, '\1'));
}

TEST_F(Firmware, CallerBuiltReportsAreAcknowledgedAndEachFaultKnobBendsTheAnswer)
{
    struct Case {
        const char* name;
        QByteArray request;
        int answerType = 9;
        std::optional<int> payloadByte1;
        int resultByte = 0;
        std::optional<int> count;
        QByteArray payload;  // the answer from byte 3 on, zeros after
    } const cases[] = {
        {"write", bytes({5, 0x42}, 2), 9, {}, 0, {}, bytes({9, 0x42, 0}, 3)},
        {"read", bytes({5, 0x81}, 2), 9, {}, 0, {}, bytes({9, 0x81, 8, 0, 0, 1, 2, 3, 4, 5, 6, 7}, 12)},
        {"unknown 0x08 command", bytes({8, 0x42}, 64), 9, {}, 0, {}, bytes({9, 0x42, 0}, 3)},
        {"empty", QByteArray(), 9, {}, 0, {}, bytes({9, 0, 0}, 3)},
        {"answer type", bytes({5, 0x42}, 2), 7, {}, 0, {}, bytes({7, 0x42, 0}, 3)},
        {"ack/status", bytes({5, 0x42}, 2), 9, 12, 0, {}, bytes({9, 12, 0}, 3)},
        {"apply status", bytes({8, 7}, 12), 9, 0x1A, 0, {}, bytes({9, 0x1A, 0}, 3)},
        {"result byte", bytes({5, 0x42}, 2), 9, {}, 0xC3, {}, bytes({9, 0x42, 0xC3}, 3)},
        {"count", bytes({5, 0x80}, 2), 9, {}, 0xC3, 600, bytes({9, 0x80, 0x58, 2, 0, 1, 2, 3, 4, 5, 6, 7}, 12)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HidFirmware& firmware = *st470->firmware();
        firmware.setAnswerType(c.answerType);
        firmware.setPayloadByte1Override(c.payloadByte1);
        firmware.setResultByte(c.resultByte);
        firmware.setCountOverride(c.count);
        QByteArray expected = bytes({9, 0, 0});
        expected.replace(3, c.payload.size(), c.payload);
        EXPECT_EQ(send(st470, c.request), expected);
    }
}

TEST_F(Firmware, AReplacedResponderCanBeSwappedBackForTheFirmware)
{
    voxa->hid()->setResponder([](const QByteArray&) { return std::nullopt; });
    EXPECT_EQ(send(voxa, bytes({8, 0x10, 1})), std::nullopt);
    voxa->firmware()->install();
    EXPECT_EQ(send(voxa, bytes({8, 0x10, 1})), bytes({8, 0x10, 1}));
}

}  // namespace
