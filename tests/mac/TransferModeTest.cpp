// The ST470 transfer-mode switch through the plain entry points, with its virtual timings.
#include "UvccamEntryPoints.h"

#include "mac/MacUVCCam.h"
#include "support/SimulatedWorld.h"

#include <algorithm>
#include <chrono>
#include <deque>

namespace {

using uvccam::testing::SimulatedWorld;

// One run of the switch: the listed devices, the core's scripted answers, and what the
// run returns, how many calls it makes, and its last calls.
struct Script {
    const char* what;
    QList<DeviceInfo> devices;
    int unselectable;       // setDevice calls that fail before one succeeds
    std::deque<int> reads;  // the mode each read gives or -1 for a failing read, then 1
    int writeResult;
    int applyResult;
    bool switched;
    int calls;
    QStringList lastCalls;
};

void PrintTo(const Script& script, std::ostream* os) { *os << script.what; }

// A core that answers as scripted, recording each call with its virtual time in ms.
class ScriptedCore : public MacUVCCamOC {
public:
    explicit ScriptedCore(uvccam::platform::RunLoop& clock) : clock_(clock) {}

    Script script{};
    QStringList trace;

    QList<DeviceInfo> getDeviceList() override { return script.devices; }
    int setDevice(QString path) override { return note("select " + path), script.unselectable-- > 0 ? 0 : 1; }
    int getExProperty(unsigned short selector, void* data, unsigned int length, int unit) override
    {
        note(QStringLiteral("read %1 %2 %3").arg(selector).arg(length).arg(unit));
        const int mode = script.reads.empty() ? 1 : script.reads.front();
        if (!script.reads.empty())
            script.reads.pop_front();
        *static_cast<std::uint8_t*>(data) = static_cast<std::uint8_t>(std::max(mode, 0));
        return mode < 0 ? -1 : 0;
    }
    int setExProperty(unsigned short selector, void* data, unsigned int length, int unit) override
    {
        const int mode = *static_cast<std::uint8_t*>(data);
        note(QStringLiteral("write %1 %2 %3 = %4").arg(selector).arg(length).arg(unit).arg(mode));
        return script.writeResult;
    }
    int setExHidProperty(void* data, unsigned int length) override
    {
        const QByteArray report(static_cast<const char*>(data), static_cast<int>(length));
        return note("apply " + QString::fromLatin1(report.toHex(' '))), script.applyResult;
    }

private:
    void note(const QString& what)
    {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock_.now()).count();
        trace << QStringLiteral("%1 %2").arg(ms).arg(what);
    }

    uvccam::platform::RunLoop& clock_;
};

const DeviceInfo kSt470{10811, "ST470", "0x141000002a3b470a"};
const DeviceInfo kSecondSt470{10811, "ST470", "0x143000002a3b470a"};
const DeviceInfo kRx710{10811, "RX710", "0x142000002a3b2574"};
const QString kApply = QStringLiteral("apply 08 07 00 00 00 00 00 00 00 00 00 00");

class TransferMode : public SimulatedWorld, public ::testing::WithParamInterface<Script> {
protected:
    TransferMode() : core(clock()), handle(createUvcCamControl()), own(macUVCCamOC) { macUVCCamOC = &core; }
    ~TransferMode() override
    {
        macUVCCamOC = own;
        disposeUvcCamControl(handle);
    }

    ScriptedCore core;
    Uvccam* handle;
    MacUVCCamOC* own;
};

TEST_P(TransferMode, SelectsReadsAndSwitchesEachSt470)
{
    core.script = GetParam();
    EXPECT_EQ(updateUvcCamTransferMode(handle), GetParam().switched);
    EXPECT_EQ(core.trace.size(), GetParam().calls);
    EXPECT_EQ(core.trace.mid(core.trace.size() - GetParam().lastCalls.size()), GetParam().lastCalls);
}

INSTANTIATE_TEST_SUITE_P(Runs, TransferMode, ::testing::Values(
    // Matched by the product and the maker's hex IDs in any case; the ID is passed unchanged.
    Script{"one pass", {kRx710, {1, "X", "0x14100000ffff470a"}, {1, "X", "0X14100000 2A3B 470A"}}, 0, {0}, 0, 0,
           true, 4, {"0 select 0X14100000 2A3B 470A", "0 read 2 1 6", "100 write 2 1 6 = 1", "600 " + kApply}},
    Script{"already in mode 1", {kSt470}, 0, {}, 0, 0, false, 2, {"0 select 0x141000002a3b470a", "0 read 2 1 6"}},
    Script{"selected at the 300th call", {kSt470}, 299, {0}, 0, 0, true, 303,
           {"2990 select 0x141000002a3b470a", "2990 read 2 1 6", "3090 write 2 1 6 = 1", "3590 " + kApply}},
    Script{"selected only at the 301st call", {kSt470}, 300, {}, 0, 0, false, 301, {"3000 select 0x141000002a3b470a"}},
    Script{"mode unreadable", {kSt470}, 0, {-1}, 0, 0, false, 2, {}},
    // Each pass: 100 ms, write, 500 ms, apply, 500 ms, read back; the first read and every
    // read-back give 0.
    Script{"apply fails", {kSt470}, 0, std::deque<int>(101, 0), 0, -1, true, 302,
           {"109500 " + kApply, "110000 read 2 1 6"}},
    Script{"write fails", {kSt470}, 0, {0}, -1, 0, true, 3, {"100 write 2 1 6 = 1"}},
    Script{"two cameras", {kSt470, kSecondSt470}, 0, {0, 1}, 0, 0, true, 6,
           {"600 " + kApply, "600 select 0x143000002a3b470a", "600 read 2 1 6"}}));

// The whole way, on a simulated ST470 whose firmware applies the mode on command, is the
// tool's transfer-mode test (the mode read before and after).
TEST(TransferModeHandle, NoneIsHarmless)
{
    EXPECT_FALSE(updateUvcCamTransferMode(nullptr));
    disposeUvcCamControl(nullptr);
}

}  // namespace
