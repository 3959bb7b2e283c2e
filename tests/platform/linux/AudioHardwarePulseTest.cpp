// The system volumes on Linux against a private PulseAudio: what the library reads and writes is what pactl sees.
#include "platform/linux/AudioHardwarePulse.h"

#include "UVCCam.h"
#include "mac/SysVolumeControl.h"
#include "platform/Platform.h"
#include "support/EmulatedUsb.h"
#include "support/LibraryProcessState.h"
#include "support/PrivatePulseAudio.h"
#include "support/QtPrinters.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numeric>

using namespace uvccam::platform;
using namespace uvccam::testing;

namespace {

// No platform chosen, so that the library's first use makes the default, Linux one.
void discardProcessState()
{
    discardLibraryProcessState();
    Platform::install(nullptr);
}

// The percentage the library gives for the channels pactl lists: their average relative to
// 100 %, truncated as getSpeakerVol truncates, full for an amplified device.
int libraryPercent(const QList<unsigned>& channels)
{
    if (channels.isEmpty())
        return -1;
    const unsigned average = std::accumulate(channels.begin(), channels.end(), 0u) / unsigned(channels.size());
    const float scalar = std::min(static_cast<float>(average) / 65536.0f, 1.0f);
    return static_cast<int>(scalar * 100.0f);
}

AudioPropertyAddress volumeAddress(bool output)
{
    return {kAudioDevicePropertyVirtualMasterVolume, output ? kAudioDevicePropertyScopeOutput : kAudioDevicePropertyScopeInput,
            kAudioObjectPropertyElementMaster};
}

// The library on its default Linux platform, talking to a private sound server. Members are
// destroyed after the destructor's body, so the server outlives the library's connection.
class PulseVolumes : public ::testing::Test {
protected:
    PulseVolumes() { discardProcessState(); }
    ~PulseVolumes() override { discardProcessState(); }

    void SetUp() override
    {
        ASSERT_EQ(pulse->error(), QString());
        camera.reset(acquireUVCCam());
    }
    void TearDown() override { camera.reset(); }

    QList<unsigned> pactlVolumes(const char* command, const char* device) const
    {
        return uvccam::testing::pactlVolumes(pulse->pactl({QLatin1String(command), QLatin1String(device)}));
    }
    void pactlSet(const QStringList& arguments) const
    {
        QString failure;
        ASSERT_FALSE(pulse->pactl(arguments, &failure).isNull()) << failure.toStdString();
    }

    EmulatedUsb usb;
    std::unique_ptr<PrivatePulseAudio> pulse = std::make_unique<PrivatePulseAudio>();
    std::unique_ptr<UVCCam> camera;
};

// Each step changes the volumes from outside with pactl and reads them through the library:
// every change is seen at the next read, rounded as the library rounds pactl's numbers.
TEST_F(PulseVolumes, ReadsWhatTheServerReportsAfterEveryOutsideChange)
{
    struct Step {
        QStringList speaker;
        QStringList microphone;
        const char* why;
    };
    const Step steps[] = {
        {{"100%"}, {"100%"}, "the server's starting volumes"},
        {{"33%"}, {"67%"}, "both channels alike"},
        {{"30%", "61%"}, {"10%", "0%"}, "the channels' average"},
        {{"0%"}, {"1%"}, "silent is 0, not a failure"},
        {{"150%"}, {"120%"}, "amplified beyond 100 % reads as full"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.why);
        pactlSet(QStringList{"set-sink-volume", "@DEFAULT_SINK@"} + step.speaker);
        pactlSet(QStringList{"set-source-volume", "@DEFAULT_SOURCE@"} + step.microphone);
        const QList<unsigned> speaker = pactlVolumes("get-sink-volume", "@DEFAULT_SINK@");
        const QList<unsigned> microphone = pactlVolumes("get-source-volume", "@DEFAULT_SOURCE@");
        ASSERT_EQ(speaker.size(), 2);
        ASSERT_EQ(microphone.size(), 2);
        EXPECT_EQ(camera->getSpeakerVol(), libraryPercent(speaker));
        EXPECT_EQ(camera->getMicVol(), libraryPercent(microphone));
    }
    EXPECT_EQ(camera->getSpeakerVol(), 100);
    EXPECT_EQ(camera->getMicVol(), 100);
}

// A volume set through the library lands on every channel; below 0.001 it mutes instead and
// keeps the level, and the next volume clears the mute.
TEST_F(PulseVolumes, SetsEveryChannelAndMutes)
{
    pactlSet({"set-sink-volume", "speaker", "20%", "90%"});
    SysVolumeControl::setVolume(0.42f);
    const unsigned expected = static_cast<unsigned>(std::lround(0.42f * 65536.0f));
    EXPECT_EQ(pactlVolumes("get-sink-volume", "speaker"), (QList<unsigned>{expected, expected}));
    EXPECT_EQ(pulse->pactl({"get-sink-mute", "speaker"}), "Mute: no\n");
    // 0.42 is 27525.12 of the server's 65536: read back, the library's truncation makes it 41.
    EXPECT_EQ(camera->getSpeakerVol(), libraryPercent({expected, expected}));

    SysVolumeControl::setVolume(0.0f);
    EXPECT_EQ(pulse->pactl({"get-sink-mute", "speaker"}), "Mute: yes\n");
    EXPECT_EQ(pactlVolumes("get-sink-volume", "speaker"), (QList<unsigned>{expected, expected}));
    std::uint32_t muted = 0;
    std::uint32_t size = sizeof muted;
    const AudioObjectID speaker = SysVolumeControl::defaultOutputDeviceID();
    EXPECT_EQ(Platform::current().audioHardware().getPropertyData(
                  speaker, {kAudioDevicePropertyMute, kAudioDevicePropertyScopeOutput, kAudioObjectPropertyElementMaster},
                  &size, &muted),
              kAudioSuccess);
    EXPECT_EQ(muted, 1u);

    SysVolumeControl::setVolume(1.0f);
    EXPECT_EQ(pulse->pactl({"get-sink-mute", "speaker"}), "Mute: no\n");
    EXPECT_EQ(pactlVolumes("get-sink-volume", "speaker"), (QList<unsigned>{65536, 65536}));
    EXPECT_EQ(pactlVolumes("get-source-volume", "mic"), (QList<unsigned>{65536, 65536})) << "the input is left alone";
}

// A new default is followed at once and written with as many channels as it has; each
// device keeps its ID for the session, and one that left fails as a missing device does.
TEST_F(PulseVolumes, FollowsTheDefaultKeepsEachDevicesIdAndFailsForOneThatLeft)
{
    const AudioObjectID speaker = SysVolumeControl::defaultOutputDeviceID();
    const AudioObjectID microphone = SysVolumeControl::defaultInputDeviceID();
    EXPECT_NE(speaker, kAudioObjectUnknown);
    EXPECT_NE(microphone, kAudioObjectUnknown);
    EXPECT_NE(speaker, microphone);
    EXPECT_NE(speaker, kAudioObjectSystemObject);

    const QString module = pulse->pactl({"load-module", "module-null-sink", "sink_name=surround", "channels=6"}).trimmed();
    ASSERT_FALSE(module.isEmpty());
    pactlSet({"set-default-sink", "surround"});
    const AudioObjectID surround = SysVolumeControl::defaultOutputDeviceID();
    EXPECT_NE(surround, speaker);
    SysVolumeControl::setVolume(0.5f);
    EXPECT_EQ(pactlVolumes("get-sink-volume", "surround"), (QList<unsigned>{32768, 32768, 32768, 32768, 32768, 32768}));
    EXPECT_EQ(pactlVolumes("get-sink-volume", "speaker"), (QList<unsigned>{65536, 65536}));
    EXPECT_EQ(camera->getSpeakerVol(), 50);

    pactlSet({"set-default-sink", "speaker"});
    EXPECT_EQ(SysVolumeControl::defaultOutputDeviceID(), speaker);
    pactlSet({"unload-module", module});
    AudioHardwareService& audio = Platform::current().audioHardware();
    float volume = -1.0f;
    std::uint32_t size = sizeof volume;
    EXPECT_EQ(audio.getPropertyData(surround, volumeAddress(true), &size, &volume), AudioHardwarePulse::kBadObject);
    EXPECT_EQ(volume, -1.0f);
    EXPECT_EQ(audio.setPropertyData(surround, volumeAddress(true), sizeof volume, &volume), AudioHardwarePulse::kBadObject);
    EXPECT_FALSE(audio.hasProperty(speaker, volumeAddress(false))) << "a sink has no input volume";
    EXPECT_FALSE(audio.hasProperty(987, volumeAddress(true)));
    EXPECT_EQ(camera->getSpeakerVol(), 100);
}

// The server going away and another coming: the library reconnects by itself.
TEST_F(PulseVolumes, ReconnectsAfterTheServerWentAway)
{
    pactlSet({"set-sink-volume", "speaker", "25%"});
    EXPECT_EQ(camera->getSpeakerVol(), 25);

    const AudioObjectID speaker = SysVolumeControl::defaultOutputDeviceID();
    pulse.reset();
    QElapsedTimer elapsed;
    elapsed.start();
    // A device met while the server was there fails as unreachable, not as silent.
    float volume = -1.0f;
    std::uint32_t size = sizeof volume;
    EXPECT_EQ(Platform::current().audioHardware().getPropertyData(speaker, volumeAddress(true), &size, &volume),
              AudioHardwarePulse::kServerUnavailable);
    EXPECT_EQ(volume, -1.0f);
    EXPECT_EQ(camera->getSpeakerVol(), 0);
    EXPECT_EQ(SysVolumeControl::defaultOutputDeviceID(), kAudioObjectUnknown);
    EXPECT_LT(elapsed.elapsed(), AudioHardwarePulse::kReplyTimeoutMs) << "a server that left is no server, at once";

    pulse = std::make_unique<PrivatePulseAudio>();
    ASSERT_EQ(pulse->error(), QString());
    pactlSet({"set-sink-volume", "speaker", "55%"});
    pactlSet({"set-source-volume", "mic", "45%"});
    EXPECT_EQ(camera->getSpeakerVol(), libraryPercent(pactlVolumes("get-sink-volume", "speaker")));
    EXPECT_EQ(camera->getMicVol(), libraryPercent(pactlVolumes("get-source-volume", "mic")));
    EXPECT_GT(camera->getMicVol(), 40);
}

// A server that holds its socket and answers nothing: every request gives up after the
// bounded wait with no invented volume, and the library is back once the server answers.
TEST_F(PulseVolumes, GivesUpOnAServerThatStoppedAnswering)
{
    pactlSet({"set-sink-volume", "speaker", "25%"});
    const int before = camera->getSpeakerVol();
    EXPECT_EQ(before, libraryPercent(pactlVolumes("get-sink-volume", "speaker")));

    ASSERT_TRUE(pulse->freeze(true));
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(camera->getSpeakerVol(), 0);
    // A read gives up after one wait, a reconnection after another: never an endless one.
    EXPECT_GE(elapsed.elapsed(), AudioHardwarePulse::kReplyTimeoutMs - 100);
    EXPECT_LT(elapsed.elapsed(), 3 * AudioHardwarePulse::kReplyTimeoutMs);

    ASSERT_TRUE(pulse->freeze(false));
    EXPECT_EQ(camera->getSpeakerVol(), before);
}

// A machine without a sound server: no default devices, every volume 0 from the library and
// a failure from the service, all at once rather than after a wait.
TEST(PulseWithoutServer, HasNoDevicesAndFailsFast)
{
    discardProcessState();
    const QTemporaryDir dir;
    const QByteArray previous = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:" + dir.filePath(QStringLiteral("nobody-listens")).toLocal8Bit());
    {
        EmulatedUsb usb;
        QElapsedTimer elapsed;
        elapsed.start();
        std::unique_ptr<UVCCam> camera(acquireUVCCam());
        EXPECT_EQ(camera->getSpeakerVol(), 0);
        EXPECT_EQ(camera->getMicVol(), 0);
        SysVolumeControl::setVolume(0.5f);
        EXPECT_EQ(SysVolumeControl::defaultOutputDeviceID(), kAudioObjectUnknown);
        EXPECT_EQ(SysVolumeControl::defaultInputDeviceID(), kAudioObjectUnknown);
        EXPECT_LT(elapsed.elapsed(), AudioHardwarePulse::kReplyTimeoutMs);

        AudioHardwareService& audio = Platform::current().audioHardware();
        float volume = -1.0f;
        std::uint32_t size = sizeof volume;
        EXPECT_EQ(audio.getPropertyData(2, volumeAddress(true), &size, &volume), AudioHardwarePulse::kBadObject)
            << "no device was ever met";
        EXPECT_EQ(volume, -1.0f);
        camera.reset();
        discardProcessState();
    }
    if (previous.isNull())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", previous);
}

}  // namespace
