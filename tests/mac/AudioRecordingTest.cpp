// The test clip: which microphone records, the level the host sees, the file it leaves,
// the playback, and the system volumes.
#include "mac/MacAudioMgr.h"

#include "UVCCamSimulation.h"
#include "UvccamEntryPoints.h"
#include "mac/MacUVCCam.h"
#include "platform/Platform.h"
#include "platform/linux/AudioFileProbeGst.h"
#include "platform/sim/AudioPlaybackSim.h"
#include "support/SimulatedWorld.h"

#include <QTemporaryDir>

#include <chrono>
#include <limits>

namespace {

using namespace std::chrono_literals;
using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;

class AudioClip : public SimulatedWorld {
protected:
    AudioClip() { Platform::current().setTemporaryDirectory(directory.path()); }
    ~AudioClip() override { MacAudioMgr::dispose(); }

    AudioPlaybackSim& playback() { return static_cast<AudioPlaybackSim&>(Platform::current().audioPlayback()); }

    QTemporaryDir directory;
};

TEST_F(AudioClip, TheSerialNumberChoosesTheMicrophoneBeforeTheUniqueId)
{
    const QString camera = uvccam::sim::attachCamera("RX710");
    uvccam::sim::attachSpeakerphone("VOXA760");
    MacAudioMgr* manager = MacAudioMgr::sharedInstance();
    const QString serial = simulator().findDevice(camera)->profile().serialNumber;
    const QString empty = QStringLiteral(""), voxa = QStringLiteral("VOXA"), unmatched = QStringLiteral("AB1234567XYZ");
    const auto chosen = [] { return MacAudioMgr::sharedInstance()->audioCaptureDevice()->uniqueID(); };

    manager->setAudioDeviceByUniqueId(&camera, &serial);
    EXPECT_EQ(chosen(), "RX710 Conference Camera:" + camera.mid(2, 8) + ":" + serial);
    manager->setAudioDeviceByUniqueId(&camera, &voxa);
    const QString speakerphone = chosen();
    EXPECT_TRUE(speakerphone.contains("VOXA760"));
    // No match, an empty serial number, or a short ID keep the previous choice.
    manager->setAudioDeviceByUniqueId(&unmatched, nullptr);
    manager->setAudioDeviceByUniqueId(&camera, &empty);
    manager->setAudioDeviceByUniqueId(nullptr, nullptr);
    EXPECT_EQ(chosen(), speakerphone);
    EXPECT_EQ(logged(LogChannel::System).mid(0, 5),
              (QStringList{"sNum = " + serial, "audioCaptureDevice uid = RX710 Conference Camera:" + camera.mid(2, 8) + ":" + serial,
                           "sNum = VOXA",
                           "audioCaptureDevice uid = " + speakerphone, "devUid = 1234567"}));
}

float g_level = -1;

TEST_F(AudioClip, TheLevelIsFiveTimesTheAmplitudeRatio)
{
    MacAudioMgr* manager = MacAudioMgr::sharedInstance();
    manager->setAudioCallback([](float level) { g_level = level; });
    const std::pair<double, float> cases[] = {
        {0.0, 5.0f}, {-20.0, 0.5f}, {-6.0206, 2.5f}, {-std::numeric_limits<double>::infinity(), 0.0f}};
    for (const auto& [decibels, level] : cases) {
        uvccam::sim::setMicrophoneLevel("BuiltInMicrophoneDevice", decibels);
        g_level = -1;
        manager->startRecording();
        clock().advance(100ms);
        EXPECT_NEAR(g_level, level, 1e-4) << decibels;
        manager->stopRecording();
    }
}

TEST_F(AudioClip, RecordsTenSecondsThatTheHostHearsAndPlaysBack)
{
    const QString camera = uvccam::sim::attachCamera("RX710");
    uvccam::sim::setMicrophoneLevel(camera, 0.0);
    std::unique_ptr<MacUVCCam> host(static_cast<MacUVCCam*>(acquireUVCCam()));
    QList<int> volumes;
    QObject::connect(host.get(), &MacUVCCam::updateVolume, [&](int volume) { volumes << volume; });

    ASSERT_EQ(host->startAudioRecording(0, QString()), 0);
    clock().advance(10s);
    // A level every 0.1 s; the stop, due at 10 s with the hundredth tick, was queued first.
    EXPECT_EQ(volumes.size(), 99);
    EXPECT_EQ(volumes.count(5), volumes.size()) << "0 dB reaches the host as 5";
    EXPECT_FALSE(MacAudioMgr::sharedInstance()->isRecording());
    clock().advance(1s);
    EXPECT_EQ(volumes.size(), 99) << "no level after the stop";

    const QString file = directory.filePath("20260101090000.m4a");
    EXPECT_NEAR(probeAudioFileDuration(file, nullptr).value_or(0.0), 10.0, 0.2) << "named by its start";

    const auto asked = clock().now();
    EXPECT_EQ(host->startAudioPlaying(QString()), 1);
    clock().advance(1s);
    EXPECT_TRUE(playback().plays().empty());
    clock().advance(1s);
    ASSERT_EQ(playback().plays().size(), 1u);
    EXPECT_EQ(playback().plays()[0].path, file);
    EXPECT_EQ(playback().plays()[0].at - asked, 2s);
    EXPECT_EQ(playback().plays()[0].loops, 0);
}

// A host whose first object's core made a clip, and whose later handle made a second core.
class AudioClipOnTwoCores : public AudioClip {
protected:
    AudioClipOnTwoCores()
    {
        camera = uvccam::sim::attachCamera("RX710");
        host.reset(acquireUVCCam());
    }
    ~AudioClipOnTwoCores() override { disposeUvcCamControl(handle); }

    static bool recording()
    {
        const auto manager = MacAudioMgr::sharedReference().lock();
        return manager && manager->isRecording();
    }

    QString camera;
    std::unique_ptr<UVCCam> host;
    Uvccam* handle = nullptr;
};

TEST_F(AudioClipOnTwoCores, EachClipLastsTenSecondsFromItsOwnStartWhicheverCoreStartedIt)
{
    ASSERT_EQ(host->startAudioRecording(0, QString()), 0);
    clock().advance(5s);
    handle = createUvcCamControl();
    ASSERT_EQ(host->startAudioRecording(0, QString()), 0) << "the second clip, on the new core";
    clock().advance(5s + 1ms);
    EXPECT_TRUE(recording()) << "the first core's stop leaves the second clip alone";
    clock().advance(5s - 2ms);
    EXPECT_TRUE(recording());
    clock().advance(1ms);
    EXPECT_FALSE(recording());
}

TEST_F(AudioClipOnTwoCores, AStopDueAfterTheManagerWasDisposedOfReachesNothing)
{
    ASSERT_EQ(host->startAudioRecording(0, QString()), 0);
    clock().advance(2s);
    handle = createUvcCamControl();
    ASSERT_EQ(host->startAudioRecording(0, QString()), 0);
    // The unplug stops the clip and keeps the manager; asking to play then disposes of it.
    uvccam::sim::detach(camera);
    deliverPending();
    EXPECT_EQ(host->startAudioPlaying(QString()), -1);
    ASSERT_TRUE(MacAudioMgr::sharedReference().expired());
    // The first core's stop comes due.
    clock().advance(20s);
    EXPECT_TRUE(MacAudioMgr::sharedReference().expired()) << "no manager was made or reached";
    EXPECT_EQ(host->startAudioPlaying(QString()), -1);
}

TEST_F(AudioClip, RecordingNeedsASelectionAndEndsWithTheDeviceWhileVolumesNeedNothing)
{
    std::unique_ptr<UVCCam> host(acquireUVCCam());
    // The system's default volumes, in whole percent.
    uvccam::sim::setSystemVolumes(0.999f, 0.5f);
    EXPECT_EQ(std::make_pair(host->getSpeakerVol(), host->getMicVol()), std::make_pair(99, 50));

    EXPECT_EQ(host->startAudioRecording(0, QString()), -1);
    EXPECT_EQ(host->startAudioPlaying(QString()), -1);

    const QString voxa = uvccam::sim::attachSpeakerphone("VOXA760");
    deliverPending();
    ASSERT_EQ(host->setDevice(voxa), 1);
    ASSERT_EQ(host->startAudioRecording(0, QString()), 0);
    EXPECT_TRUE(MacAudioMgr::sharedInstance()->audioCaptureDevice()->uniqueID().contains("VOXA"));
    clock().advance(1s);
    // Unplugging stops the recording; playback then has nothing to play.
    uvccam::sim::detach(voxa);
    deliverPending();
    EXPECT_FALSE(MacAudioMgr::sharedInstance()->isRecording());
    EXPECT_EQ(host->startAudioPlaying(QString()), -1);
    EXPECT_TRUE(macUVCCamOC->audioMgr.expired());
}

}  // namespace
