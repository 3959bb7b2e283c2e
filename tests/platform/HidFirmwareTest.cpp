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

    // A camera's transfer mode as it reports it, after setting it if asked to.
    std::uint8_t transferMode(SimulatedDevice* camera, std::optional<std::uint8_t> set = std::nullopt)
    {
        std::uint8_t value = set.value_or(0);
        UsbSetupPacket setup{std::uint8_t(set ? 0x21 : 0xA1), set ? UvcCameraModel::SET_CUR : UvcCameraModel::GET_CUR,
                             2 << 8, 6 << 8, 1};
        EXPECT_EQ(camera->uvc()->controlRequest(setup, &value, nullptr), kUsbSuccess);
        return value;
    }

    SimulatedDevice* st470 = simulator().findDevice(uvccam::sim::attachCamera("ST470")).get();
    SimulatedDevice* voxa = simulator().findDevice(uvccam::sim::attachSpeakerphone("VOXA760")).get();
    std::vector<QByteArray> heard;
};

TEST_F(Firmware, PropertyAndUacReportsStoreTheirValuesAndAnswerThemAskedOrUnasked)
{
    EXPECT_EQ(send(voxa, bytes({8, 0x10, 3, 'a', 'b'})), bytes({8, 0x10, 3, 'a', 'b'}));
    EXPECT_EQ(send(voxa, bytes({8, 0x10, 4, 'z'}, 4)), bytes({8, 0x10, 4, 'z'})) << "short reports pad with zeros";
    EXPECT_EQ(voxa->firmware()->property(3), bytes({'a', 'b'}, 509));
    EXPECT_EQ(st470->firmware()->property(3), bytes({}, 509)) << "each device keeps its own values";
    heard.clear();
    voxa->firmware()->reportProperty(3);
    voxa->firmware()->reportProperty(9);
    EXPECT_EQ(heard, (std::vector<QByteArray>{bytes({8, 0x10, 3, 'a', 'b'}), bytes({8, 0x10, 9})}));

    // A UAC set stores 64 bytes; a get stores nothing; both answer the stored value.
    QByteArray set = bytes({8, 0x11, 7, 1, 'v', 'w'});
    set[68] = 'x';
    EXPECT_EQ(send(voxa, set), bytes({8, 0x11, 7, 1, 'v', 'w'}));
    EXPECT_EQ(send(voxa, bytes({8, 0x11, 7, 0, 'i', 'g'})), bytes({8, 0x11, 7, 0, 'v', 'w'}));
    EXPECT_EQ(send(voxa, bytes({8, 0x11, 8, 0})), bytes({8, 0x11, 8, 0}));
    EXPECT_EQ(voxa->firmware()->uacProperty(7), bytes({'v', 'w'}, 64));

    // A replaced responder can be swapped back for the firmware.
    voxa->hid()->setResponder([](const QByteArray&) { return std::nullopt; });
    EXPECT_EQ(send(voxa, bytes({8, 0x10, 1})), std::nullopt);
    voxa->firmware()->install();
    EXPECT_EQ(send(voxa, bytes({8, 0x10, 1})), bytes({8, 0x10, 1}));
}

TEST_F(Firmware, TheApplyCommandMakesTheSt470sPendingTransferModeTakeEffect)
{
    SimulatedDevice* rx710 = simulator().findDevice(uvccam::sim::attachCamera("RX710")).get();
    EXPECT_EQ(transferMode(st470), 0);
    transferMode(st470, 1);
    transferMode(rx710, 1);
    EXPECT_EQ(transferMode(st470), 0) << "pending until applied";
    EXPECT_EQ(transferMode(rx710), 1) << "other cameras take it at once";
    EXPECT_EQ(send(st470, bytes({8, 7}, 12)), bytes({9, 0, 0, 9, 0, 0}));
    EXPECT_EQ(transferMode(st470), 1);
}

// The answer's knobs (type, byte 1, result byte, count) are exercised through the library's
// acknowledgement checks, in the vendor property tests.
TEST_F(Firmware, CallerBuiltReportsAreAcknowledgedAndReadsAnsweredWithEightBytes)
{
    const std::pair<QByteArray, QByteArray> cases[] = {
        {bytes({5, 0x42}, 2), bytes({9, 0, 0, 9, 0x42, 0})},
        {bytes({5, 0x81}, 2), bytes({9, 0, 0, 9, 0x81, 8, 0, 0, 1, 2, 3, 4, 5, 6, 7})},
        {bytes({8, 0x42}, 64), bytes({9, 0, 0, 9, 0x42, 0})},  // an unknown 0x08 command
        {QByteArray(), bytes({9, 0, 0, 9, 0, 0})},
    };
    for (const auto& [request, answer] : cases)
        EXPECT_EQ(send(st470, request), answer) << request.left(2).toHex().toStdString();
}

}  // namespace
