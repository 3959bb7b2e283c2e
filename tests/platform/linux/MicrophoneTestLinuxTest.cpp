// The library's microphone test on the Linux platform as a host gets it, against a private
// sound server: which microphone a camera records from, and the 10-second clip in real time
// with its level ten times a second.
#include "UVCCam.h"
#include "mac/MacAudioMgr.h"
#include "mac/MacUVCCam.h"
#include "platform/Platform.h"
#include "platform/linux/AudioFileProbeGst.h"
#include "platform/linux/PlatformLinux.h"
#include "support/EmulatedUsb.h"
#include "support/LibraryProcessState.h"
#include "support/PrivatePulseAudio.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

using namespace uvccam::platform;
using namespace uvccam::testing;
using namespace std::chrono_literals;

namespace {

struct Tick {
    float level = 0;
    qint64 atMs = 0;
};
std::vector<Tick> g_ticks;
QElapsedTimer g_clock;

void receiveLevel(float level)
{
    g_ticks.push_back(Tick{level, g_clock.elapsed()});
}

// An RX710 at port 1-1.4 with serial SN2574, whose microphone the private server carries as
// "cameramic", beside the built-in "mic" that is the default.
class MicrophoneTestOnLinux : public ::testing::Test {
protected:
    MicrophoneTestOnLinux()
    {
        discardLibraryProcessState();
        g_ticks.clear();
        g_clock.start();
        Platform::install(PlatformLinux::create());
        // Clips are named by the second they start in: tests running side by side keep
        // theirs apart.
        Platform::current().setTemporaryDirectory(clips.path());
    }
    ~MicrophoneTestOnLinux() override
    {
        discardLibraryProcessState();
        Platform::install(nullptr);
    }
    void SetUp() override
    {
        ASSERT_EQ(pulse.error(), QString());
        ASSERT_TRUE(pulse.waitUntilMicrophonesAreLive());
    }

    // The source a fresh manager chooses for the camera's unique ID and serial number.
    static QString chosenSource(const QString* uniqueId, const QString* serial)
    {
        MacAudioMgr::dispose();
        MacAudioMgr* manager = MacAudioMgr::sharedInstance();
        manager->setAudioDeviceByUniqueId(uniqueId, serial);
        const CaptureDevicePtr& device = manager->audioCaptureDevice();
        return device ? device->uniqueID().section(QLatin1Char(':'), -1) : QString();
    }

    QTemporaryDir clips;
    PrivatePulseAudio pulse;
    EmulatedUsb usb;
    const EmulatedNodes rx = usb.plug(EmulatedDevice::camera(QStringLiteral("RX710 Conference Camera"), 0x2574, "1.4"));
};

TEST_F(MicrophoneTestOnLinux, ACamerasOwnMicrophoneIsFoundBySerialElseByPortAndTheDefaultTakesOverOtherwise)
{
    const QString serial = QStringLiteral("SN2574");
    const QString rxId = QStringLiteral("0xf11400002a3b2574");
    const QString otherPort = QStringLiteral("0xf12000002a3b2574");
    EXPECT_EQ(chosenSource(nullptr, &serial), QStringLiteral("cameramic"));
    EXPECT_EQ(chosenSource(&rxId, nullptr), QStringLiteral("cameramic"));
    EXPECT_EQ(chosenSource(&otherPort, nullptr), QString()) << "nothing chosen";

    // A start with nothing chosen takes the server's default source and keeps it.
    MacAudioMgr* manager = MacAudioMgr::sharedInstance();
    manager->startRecording();
    ASSERT_NE(manager->audioCaptureDevice(), nullptr);
    EXPECT_EQ(manager->audioCaptureDevice()->uniqueID(), QStringLiteral("mic"));
    EXPECT_TRUE(manager->isRecording());
    manager->stopRecording();

    // A speakerphone is asked for by its product name.
    const QString properties = PrivatePulseAudio::usbSourceProperties(QStringLiteral("VOXA760"), 0x7600,
                                                                       QStringLiteral("SP0001"), QStringLiteral("1-2"));
    ASSERT_FALSE(pulse.pactl({"load-module", "module-remap-source", "source_name=speakerphone",
                              "master=micfeed.monitor", "source_properties='" + properties + "'"})
                     .isNull());
    ASSERT_TRUE(waitFor([] { return Platform::current().capture().devicesWithMediaType(MediaType::Audio).size() == 3; }));
    const QString voxa = QStringLiteral("VOXA");
    EXPECT_EQ(chosenSource(nullptr, &voxa), QStringLiteral("speakerphone"));
}

TEST_F(MicrophoneTestOnLinux, TheTenSecondClipLastsTenSecondsAndItsLevelComesTenTimesASecond)
{
    std::unique_ptr<UVCCam> camera(acquireUVCCam());
    ASSERT_EQ(camera->getDeviceInfo().deviceUniqueId, QStringLiteral("0xf11400002a3b2574"));
    ASSERT_EQ(camera->startAudioRecording(0, QString()), 0);
    MacAudioMgr* manager = MacAudioMgr::sharedInstance();
    manager->setAudioCallback(receiveLevel);
    ASSERT_TRUE(manager->isRecording());
    EXPECT_EQ(manager->audioCaptureDevice()->uniqueID().section(QLatin1Char(':'), -1), QStringLiteral("cameramic"));

    ASSERT_TRUE(waitFor([manager] { return !manager->isRecording(); }, 15s)) << "the library stops after 10 s";
    const QString clip = manager->outputURL();
    ASSERT_TRUE(QFile::exists(clip)) << clip.toStdString();
    EXPECT_NEAR(probeAudioFileDuration(clip).value_or(0.0), 10.0, 0.2);

    ASSERT_GE(g_ticks.size(), 95u);
    EXPECT_LE(g_ticks.size(), 101u);
    // The sine at -9.03 dBFS is 5 * 10^(-9.03 / 20) = 1.77 on the meter, from the first
    // tick that had a measurement on.
    const float sine = 5.0f * std::pow(10.0f, static_cast<float>(PrivatePulseAudio::kSineRmsDb) / 20.0f);
    std::size_t measured = 0;
    for (const Tick& tick : g_ticks) {
        if (tick.level == 0 && measured == 0)
            continue;  // before the first measurement
        ++measured;
        EXPECT_NEAR(tick.level, sine, 0.2f) << "at " << tick.atMs << " ms";
    }
    EXPECT_GE(measured + 3, g_ticks.size()) << "the first measurement within 0.3 s";
}

// The sound server would carry the recording on from another source; the library ends it,
// and the clip of what the microphone heard stays playable.
TEST_F(MicrophoneTestOnLinux, AMicrophoneThatLeavesEndsItsRecordingWithAPlayableClip)
{
    std::vector<CaptureDeviceNotification::Name> heard;
    CaptureService& capture = Platform::current().capture();
    // The microphones are followed from the first time they are asked for.
    ASSERT_EQ(capture.devicesWithMediaType(MediaType::Audio).size(), 2);
    capture.addObserver([&heard](const CaptureDeviceNotification& notification) {
        if (notification.object->hasMediaType(MediaType::Audio))
            heard.push_back(notification.name);
    });
    const QString properties = PrivatePulseAudio::usbSourceProperties(QStringLiteral("RX710"), 0x2574,
                                                                       QStringLiteral("HS0001"), QStringLiteral("1-3"));
    const QString module = pulse.pactl({"load-module", "module-remap-source", "source_name=headset",
                                        "master=micfeed.monitor", "source_properties='" + properties + "'"})
                               .trimmed();
    ASSERT_FALSE(module.isEmpty());
    ASSERT_TRUE(waitFor([&heard] { return heard.size() == 1; }));
    EXPECT_EQ(heard.front(), CaptureDeviceNotification::Name::WasConnected);

    const QString serial = QStringLiteral("HS0001");
    ASSERT_EQ(chosenSource(nullptr, &serial), QStringLiteral("headset"));
    MacAudioMgr* manager = MacAudioMgr::sharedInstance();
    manager->setAudioCallback(receiveLevel);
    manager->startRecording();
    // Half a second of sound in the clip before the microphone goes.
    ASSERT_TRUE(waitFor([] {
        return std::count_if(g_ticks.begin(), g_ticks.end(), [](const Tick& tick) { return tick.level > 0; }) >= 5;
    }));

    ASSERT_FALSE(pulse.pactl({"unload-module", module}).isNull());
    ASSERT_TRUE(waitFor([manager, &heard] { return !manager->isRecording() && heard.size() == 2; }));
    EXPECT_EQ(heard.back(), CaptureDeviceNotification::Name::WasDisconnected);
    EXPECT_TRUE(probeAudioFileDuration(manager->outputURL()).has_value());
    manager->stopRecording();
}

}  // namespace
