// The ST470 transfer-mode switch through the plain entry points, with its virtual timings.
#include "UvccamEntryPoints.h"

#include "UVCCamSimulation.h"
#include "mac/MacUVCCam.h"
#include "support/SimulatedWorld.h"

#include <chrono>
#include <deque>

namespace {

using namespace std::chrono_literals;
using uvccam::testing::SimulatedWorld;

// A core whose answers a test scripts, recording each call with its virtual time.
class ScriptedCore : public MacUVCCamOC {
public:
    explicit ScriptedCore(uvccam::platform::RunLoop& clock) : clock_(clock) {}

    QList<DeviceInfo> devices;
    std::deque<int> setDeviceResults;  // then 1
    std::deque<int> readResults;       // then 0
    std::deque<std::uint8_t> modes;    // the byte each read gives, then 1
    int writeResult = 0;
    int applyResult = 0;
    QStringList trace;

    QList<DeviceInfo> getDeviceList() override { return devices; }
    int setDevice(QString path) override
    {
        note("select " + path);
        return take(setDeviceResults, 1);
    }
    int getExProperty(unsigned short selector, void* data, unsigned int length, int unit) override
    {
        note(QStringLiteral("read %1 %2 %3").arg(selector).arg(length).arg(unit));
        *static_cast<std::uint8_t*>(data) = take(modes, std::uint8_t(1));
        return take(readResults, 0);
    }
    int setExProperty(unsigned short selector, void* data, unsigned int length, int unit) override
    {
        note(QStringLiteral("write %1 %2 %3 = %4").arg(selector).arg(length).arg(unit).arg(*static_cast<std::uint8_t*>(data)));
        return writeResult;
    }
    int setExHidProperty(void* data, unsigned int length) override
    {
        const QByteArray report(static_cast<const char*>(data), static_cast<int>(length));
        note("apply " + QString::fromLatin1(report.toHex(' ')));
        return applyResult;
    }

    std::chrono::milliseconds elapsed() const
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(clock_.now());
    }

private:
    template <typename T>
    static T take(std::deque<T>& queue, T otherwise)
    {
        if (queue.empty())
            return otherwise;
        T value = queue.front();
        queue.pop_front();
        return value;
    }
    void note(const QString& what) { trace << QStringLiteral("%1 %2").arg(elapsed().count()).arg(what); }

    uvccam::platform::RunLoop& clock_;
};

const DeviceInfo kSt470{10811, "ST470", "0x141000002a3b470a"};
const DeviceInfo kOther{10811, "RX710", "0x142000002a3b2574"};

class TransferMode : public SimulatedWorld {
protected:
    TransferMode() : core(clock())
    {
        handle = createUvcCamControl();
        own = macUVCCamOC;
        macUVCCamOC = &core;
    }
    ~TransferMode() override
    {
        macUVCCamOC = own;
        disposeUvcCamControl(handle);
    }

    ScriptedCore core;
    Uvccam* handle = nullptr;
    MacUVCCamOC* own = nullptr;
};

TEST_F(TransferMode, SwitchesACameraInMode0InOnePass)
{
    core.devices = {kOther, kSt470};
    core.modes = {0};
    EXPECT_TRUE(updateUvcCamTransferMode(handle));
    EXPECT_EQ(core.trace, (QStringList{"0 select 0x141000002a3b470a", "0 read 2 1 6", "100 write 2 1 6 = 1",
                                       "600 apply 08 07 00 00 00 00 00 00 00 00 00 00"}));
}

TEST_F(TransferMode, LeavesACameraAlreadyInMode1)
{
    core.devices = {kSt470};
    EXPECT_FALSE(updateUvcCamTransferMode(handle));
    EXPECT_EQ(core.trace, (QStringList{"0 select 0x141000002a3b470a", "0 read 2 1 6"}));
}

TEST_F(TransferMode, MatchesOnlyTheModelsAndTheMakersHexIds)
{
    core.devices = {DeviceInfo{1, "X", "0x14100000ffff470a"}, DeviceInfo{1, "X", "0X14100000 2A3B 470A"}};
    core.modes = {0};
    EXPECT_TRUE(updateUvcCamTransferMode(handle));
    EXPECT_EQ(core.trace.first(), QStringLiteral("0 select 0X14100000 2A3B 470A")) << "matched in upper case, passed unchanged";
}

TEST_F(TransferMode, GivesUpOnACameraSelectedOnlyAtThe301stCall)
{
    core.devices = {kSt470};
    core.setDeviceResults = std::deque<int>(300, 0);
    EXPECT_FALSE(updateUvcCamTransferMode(handle));
    EXPECT_EQ(core.trace.size(), 301);
    EXPECT_EQ(core.trace.last(), QStringLiteral("3000 select 0x141000002a3b470a"));

    core.trace.clear();
    core.setDeviceResults = std::deque<int>(299, 0);
    core.modes = {0};
    EXPECT_TRUE(updateUvcCamTransferMode(handle)) << "the 300th call still counts";
    EXPECT_EQ(core.trace.at(300), QStringLiteral("5990 read 2 1 6"));
}

TEST_F(TransferMode, SkipsACameraWhoseModeCannotBeRead)
{
    core.devices = {kSt470};
    core.readResults = {-1};
    core.modes = {0};
    EXPECT_FALSE(updateUvcCamTransferMode(handle));
    EXPECT_EQ(core.trace.size(), 2);
}

TEST_F(TransferMode, AFailingApplyCommandRepeatsThePassesUpTo100)
{
    core.devices = {kSt470};
    core.applyResult = -1;
    core.modes = std::deque<std::uint8_t>(101, 0);  // the first read and every read-back
    EXPECT_TRUE(updateUvcCamTransferMode(handle));
    EXPECT_EQ(core.trace.filter(" write ").size(), 100);
    // Each pass: 100 ms, write, 500 ms, apply, 500 ms, read back.
    EXPECT_EQ(core.trace.last(), QStringLiteral("110000 read 2 1 6"));
}

TEST_F(TransferMode, AFailingWriteEndsThePassesAtOnce)
{
    core.devices = {kSt470};
    core.writeResult = -1;
    core.modes = {0};
    EXPECT_TRUE(updateUvcCamTransferMode(handle));
    EXPECT_EQ(core.trace.last(), QStringLiteral("100 write 2 1 6 = 1"));
}

TEST_F(TransferMode, SelectsEveryMatchingCameraInTurn)
{
    const DeviceInfo second{10811, "ST470", "0x143000002a3b470a"};
    core.devices = {kSt470, second};
    core.modes = {1, 0};
    EXPECT_TRUE(updateUvcCamTransferMode(handle));
    EXPECT_EQ(core.trace.filter(" select ").size(), 2);
    EXPECT_EQ(core.trace.filter(" select ").last(), "0 select " + second.deviceUniqueId);
}

TEST(TransferModeHandles, NoneIsHarmless)
{
    EXPECT_FALSE(updateUvcCamTransferMode(nullptr));
    disposeUvcCamControl(nullptr);
}

// The whole way, on a simulated ST470 whose firmware applies the mode on command.
class TransferModeOnTheSimulator : public SimulatedWorld {};

TEST_F(TransferModeOnTheSimulator, SwitchesTheCameraToMode1AndThenLeavesIt)
{
    const QString id = uvccam::sim::attachCamera("ST470");
    Uvccam* handle = createUvcCamControl();
    EXPECT_TRUE(updateUvcCamTransferMode(handle));
    std::uint8_t mode = 0;
    ASSERT_EQ(handle->uvcCam->getExProperty(2, &mode, 1, 6), 0);
    EXPECT_EQ(mode, 1);

    simulator().findDevice(id)->uvc()->clearRequests();
    EXPECT_FALSE(updateUvcCamTransferMode(handle));
    EXPECT_EQ(simulator().findDevice(id)->uvc()->requests().size(), 1u) << "one read";
    disposeUvcCamControl(handle);
}

}  // namespace
