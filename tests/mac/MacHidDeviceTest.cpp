// Raw HID report exchange: the 80 ms read on the run loop, its logs and its bounds.
#include "mac/MacHidDevice.h"

#include "UVCCamSimulation.h"
#include "mac/MacHidDeviceManager.h"
#include "platform/Platform.h"
#include "support/SimulatedWorld.h"

#include <array>
#include <chrono>

namespace {

using namespace std::chrono_literals;
using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;
using Buffer = std::array<std::uint8_t, 512>;

QByteArray report(std::initializer_list<int> head, int size = 512)
{
    QByteArray bytes(size, '\0');
    int i = 0;
    for (int v : head)
        bytes[i++] = static_cast<char>(v);
    return bytes;
}

class HidExchange : public SimulatedWorld {
protected:
    HidExchange()
    {
        const QString id = uvccam::sim::attachSpeakerphone("VOXA760");
        MacHidDeviceManager* manager = MacHidDeviceManager::sharedInstance();
        manager->initHIDManager();
        device = manager->hidDevices().first();
        model = simulator().findDevice(id)->hid();
    }

    // Sends a report and reads the answer into `in`, as the vendor protocol does.
    bool exchange(const QByteArray& out)
    {
        device->setReport(reinterpret_cast<const std::uint8_t*>(out.constData()), out.size());
        return device->getReport(in.data(), 512);
    }

    std::shared_ptr<MacHidDevice> device;
    HidDeviceModel* model = nullptr;
    Buffer in{};
};

TEST_F(HidExchange, AReadEndsAtTheAnswerOrAfter80msOfSilenceAndAllButSelector3IsLogged)
{
    model->setAnswerDelay(2ms);
    auto start = clock().now();
    EXPECT_TRUE(exchange(report({8, 0x10, 7, 'h', 'i'})));
    EXPECT_EQ(clock().now() - start, 2ms) << "not after the whole wait";
    EXPECT_EQ(in[3], 'h');
    EXPECT_EQ(model->sentReports().front(), report({8, 0x10, 7, 'h', 'i'}));
    exchange(report({8, 0x10, 3, 'q'}));

    model->setBehaviour(HidDeviceModel::Behaviour::Silent);
    const std::uint8_t shortReport[2] = {5, 6};
    device->setReport(shortReport, 2);
    in.fill(0xEE);
    start = clock().now();
    EXPECT_FALSE(device->getReport(in.data(), 512));
    EXPECT_EQ(clock().now() - start, 80ms);
    EXPECT_EQ(in, Buffer{});
    model->setReportFails(true);
    device->setReport(shortReport, 2);

    EXPECT_EQ(logged(LogChannel::System), (QStringList{
        "WRITE:ioRet:0, len:512, 0:8 1:16 2:7(hi)", "READ:bRet:1, len:512, 0:8 1:16 2:7(hi)",
        "WRITE:ioRet:0, len:2, 0:5 1:6 2:0()", "READ:bRet:0, len:512, 0:0 1:0 2:0()",
        "WRITE:ioRet:-536870212, len:2, 0:5 1:6 2:0()"}));
}

TEST_F(HidExchange, AReplyMarked0x10EndsTheDevicesTurnOnTheRunLoop)
{
    ASSERT_TRUE(exchange(report({8, 0x10, 7})));
    model->sendInputReport(report({9, 1, 1}), 1ms);
    clock().advance(10ms);
    EXPECT_EQ(input_buffer[0], 8) << "off the run loop, the device's report waits";

    // The next read puts the device back and finds the waiting report at once.
    const auto start = clock().now();
    EXPECT_TRUE(device->readReport(in.data(), 512));
    EXPECT_EQ(clock().now(), start);
    EXPECT_EQ(in[0], 9);

    // That reply was not marked, so the device stays on the run loop: a later report
    // reaches the buffer without a read.
    model->sendInputReport(report({9, 2, 2}), 1ms);
    clock().advance(10ms);
    EXPECT_EQ(input_buffer[1], 2);
}

TEST_F(HidExchange, AReadStartedDuringAReadIsRefused)
{
    model->setAnswerDelay(10ms);
    bool innerResult = true;
    Buffer inner;
    inner.fill(0x55);
    clock().dispatchAfter(1ms, [&] { innerResult = device->readReport(inner.data(), 512); });
    EXPECT_TRUE(exchange(report({8, 0x11, 7, 'x'})));
    EXPECT_FALSE(innerResult);
    EXPECT_EQ(inner[0], 0x55) << "the refused read writes nothing";
    EXPECT_EQ(in[3], 'x') << "the first read got its answer";
}

TEST_F(HidExchange, ArgumentsAreCheckedAndNothingGoesPast512Bytes)
{
    MacHidDevice empty;
    std::array<std::uint8_t, 4> bytes{8, 1, 2, 3};
    EXPECT_FALSE(empty.setReport(bytes.data(), 4));
    EXPECT_FALSE(empty.readReport(bytes.data(), 4));
    EXPECT_EQ(bytes[0], 8) << "destination untouched";
    EXPECT_FALSE(device->setReport(nullptr, 4));
    EXPECT_FALSE(device->setReport(bytes.data(), -1));
    EXPECT_TRUE(model->sentReports().empty());

    model->setResponder([](const QByteArray&) { return std::optional<QByteArray>(QByteArray(1000, '\x07')); });
    std::vector<std::uint8_t> longIn(700, 0xAB);
    device->setReport(reinterpret_cast<const std::uint8_t*>(report({8}).constData()), 512);
    EXPECT_TRUE(device->readReport(longIn.data(), 700));
    EXPECT_EQ(longIn[511], 0x07);
    EXPECT_EQ(longIn[512], 0xAB) << "nothing copied past the input buffer's 512 bytes";
}

}  // namespace
