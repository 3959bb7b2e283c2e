// The system volume against the simulated audio hardware: reads, lookups, setting and muting, and their log lines.
#include "mac/SysVolumeControl.h"

#include "UVCCamSimulation.h"
#include "platform/Platform.h"
#include "platform/sim/AudioHardwareSim.h"
#include "support/SimulatedWorld.h"

#include <limits>

namespace {

using namespace uvccam::platform;
using uvccam::testing::SimulatedWorld;
constexpr AudioObjectID kSpeaker = AudioHardwareSim::kSpeaker;

class SystemVolume : public SimulatedWorld {
protected:
    AudioHardwareSim& audio() { return dynamic_cast<AudioHardwareSim&>(Platform::current().audioHardware()); }
    QStringList system() const { return logged(LogChannel::System); }
};

TEST_F(SystemVolume, ReadsGiveTheDefaultDevicesVolumesAndZeroOutsideTheRange)
{
    const struct { float output, input, volume, micVolume; } cases[] = {
        {0.75f, 0.5f, 0.75f, 0.5f}, {1.0f, 0.0f, 1.0f, 0.0f}, {1.5f, 1.0001f, 0.0f, 0.0f}, {-0.1f, -0.001f, 0.0f, 0.0f},
        {std::numeric_limits<float>::quiet_NaN(), 0.25f, 0.0f, 0.25f},
    };
    for (const auto& c : cases) {
        uvccam::sim::setSystemVolumes(c.output, c.input);
        EXPECT_EQ(SysVolumeControl::volume(), c.volume) << c.output;
        EXPECT_EQ(SysVolumeControl::micVolume(), c.micVolume) << c.input;
    }
    // A change of default device is followed at the next call.
    audio().setVolume(80, true, 0.3f);
    audio().setDefaultOutputDevice(80);
    EXPECT_EQ(SysVolumeControl::defaultOutputDeviceID(), 80u);
    EXPECT_EQ(SysVolumeControl::volume(), 0.3f);
    EXPECT_EQ(system(), QStringList());
}

// A default device that cannot be read, or reads as 0, gives a volume of 0; only the output
// lookup reports its own failure.
TEST_F(SystemVolume, AMissingDefaultDeviceReadsAsZero)
{
    audio().setDefaultDeviceReadable(true, false);
    audio().setDefaultDeviceReadable(false, false);
    EXPECT_EQ(SysVolumeControl::volume(), 0.0f);
    EXPECT_EQ(SysVolumeControl::micVolume(), 0.0f);
    EXPECT_EQ(SysVolumeControl::defaultInputDeviceID(), 0u);
    audio().setDefaultDeviceReadable(true, true);
    audio().setDefaultDeviceReadable(false, true);
    audio().failReads(AudioHardwareSim::defaultDeviceAddress(true));
    EXPECT_EQ(SysVolumeControl::defaultOutputDeviceID(), 0u);
    audio().failReads(AudioHardwareSim::defaultDeviceAddress(true), false);
    audio().setDefaultOutputDevice(0);
    audio().setDefaultInputDevice(0);
    EXPECT_EQ(SysVolumeControl::volume(), 0.0f);
    EXPECT_EQ(SysVolumeControl::micVolume(), 0.0f);
    const QString noOutput = QStringLiteral("Cannot find default output device!");
    const QString unknown = QStringLiteral("Unknown device");
    EXPECT_EQ(system(), QStringList({noOutput, unknown, unknown, noOutput, unknown, unknown}));
}

TEST_F(SystemVolume, AMissingOrUnreadableVolumeReadsAsZeroAndNamesTheDeviceInHex)
{
    audio().removeProperty(kSpeaker, AudioHardwareSim::volumeAddress(true));
    audio().failReads(AudioHardwareSim::volumeAddress(false));
    EXPECT_EQ(SysVolumeControl::volume(), 0.0f);
    EXPECT_EQ(SysVolumeControl::micVolume(), 0.0f);
    EXPECT_EQ(system(), QStringList({"No volume returned for device 0x49", "No volume returned for device 0x4a"}));
}

struct SetCase {
    const char* name;
    float request;
    void (*setup)(AudioHardwareSim&);
    std::uint32_t muteBefore, muteAfter;
    float volumeAfter;
    QStringList log;
};

// By name: gtest would otherwise print the case's raw bytes, padding included.
void PrintTo(const SetCase& c, std::ostream* os) { *os << c.name; }

class SetVolume : public SystemVolume, public ::testing::WithParamInterface<SetCase> {};

// The speaker starts at 0.75 with the case's mute value, so both a change and its
// absence show.
TEST_P(SetVolume, TakesItsPathAndLogsIt)
{
    const SetCase& c = GetParam();
    audio().setMute(kSpeaker, c.muteBefore);
    c.setup(audio());
    SysVolumeControl::setVolume(c.request);
    EXPECT_EQ(audio().volume(kSpeaker, true), c.volumeAfter);
    EXPECT_EQ(audio().mute(kSpeaker), c.muteAfter);
    EXPECT_EQ(audio().volume(AudioHardwareSim::kMicrophone, false), 0.5f);
    EXPECT_EQ(system(), c.log);
}

using Hw = AudioHardwareSim;
void none(Hw&) {}
const char* const kMute = "Requested mute";
const char* const kHalf = "Requested volume 0.50";
const char* const kUnable = "Unable to set volume for device 0x49";
const char* const kNoControl = "Device 0x49 does not support volume control";

// Name, request, set-up, mute before and after, volume after, log.
const SetCase kSetCases[] = {
    {"ZeroMutes", 0.0f, none, 0, 1, 0.75f, {kMute}},
    {"BelowThousandthMutes", 0.0005f, none, 0, 1, 0.75f, {kMute}},
    {"SinglePrecisionThousandthIsAVolume", 0.001f, none, 1, 0, 0.001f, {"Requested volume 0.00"}},
    {"Full", 1.0f, none, 1, 0, 1.0f, {"Requested volume 1.00"}},
    {"AboveRange", 1.01f, none, 1, 1, 0.75f, {"Requested volume out of range (1.01)"}},
    {"BelowRange", -0.5f, none, 1, 1, 0.75f, {"Requested volume out of range (-0.50)"}},
    {"VolumeWriteFailsStillUnmutes", 0.5f, [](Hw& a) { a.failWrites(a.volumeAddress(true)); }, 1, 0, 0.75f,
     {kHalf, kUnable}},
    {"MuteWriteFails", 0.0f, [](Hw& a) { a.failWrites(a.muteAddress()); }, 0, 0, 0.75f, {kMute, kUnable}},
    {"UnmuteWriteFails", 0.5f, [](Hw& a) { a.failWrites(a.muteAddress()); }, 1, 1, 0.5f, {kHalf, kUnable}},
    {"VolumeNotSettable", 0.5f, [](Hw& a) { a.setSettable(kSpeaker, a.volumeAddress(true), false); }, 1, 1, 0.75f,
     {kHalf, kNoControl}},
    {"SettableQueryFails", 0.5f, [](Hw& a) { a.failSettableQuery(a.volumeAddress(true)); }, 1, 1, 0.75f,
     {kHalf, kNoControl}},
    {"MuteRequestWithoutMute", 0.0f, [](Hw& a) { a.removeProperty(kSpeaker, a.muteAddress()); }, 0, 0, 0.75f,
     {kMute, kNoControl}},
    {"MuteNotSettable", 0.5f, [](Hw& a) { a.setSettable(kSpeaker, a.muteAddress(), false); }, 1, 1, 0.5f,
     {kHalf, "Device 0x49 does not support muting"}},
    {"DefaultIsZero", 0.5f, [](Hw& a) { a.setDefaultOutputDevice(0); }, 1, 1, 0.75f, {kHalf, "Unknown device"}},
    {"DefaultUnreadable", 0.5f, [](Hw& a) { a.setDefaultDeviceReadable(true, false); }, 1, 1, 0.75f,
     {kHalf, "Cannot find default output device!", "Unknown device"}},
    {"DefaultWithoutControls", 0.5f, [](Hw& a) { a.setDefaultOutputDevice(99); }, 1, 1, 0.75f,
     {kHalf, "Device 0x63 does not support volume control"}}};

INSTANTIATE_TEST_SUITE_P(SystemVolume, SetVolume, ::testing::ValuesIn(kSetCases),
                         [](const ::testing::TestParamInfo<SetCase>& param) { return std::string(param.param.name); });

}  // namespace
