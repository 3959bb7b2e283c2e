// The audio manager: the microphone it finds for a camera, what it logs while it records,
// and the two ways a start records nothing.
#include "mac/MacAudioMgr.h"

#include "UVCCamSimulation.h"
#include "mac/MacUVCCam.h"
#include "platform/Platform.h"
#include "support/SimulatedWorld.h"

#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

using namespace std::chrono_literals;
using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;

class AudioManager : public SimulatedWorld {
protected:
    AudioManager() { Platform::current().setTemporaryDirectory(directory.path()); }
    ~AudioManager() override { MacAudioMgr::dispose(); }

    // The system log with the addresses of objects masked.
    QStringList systemLog() const
    {
        return logged(LogChannel::System).replaceInStrings(QRegularExpression("(session=|Sim )[0-9a-f]+"), "\\1*");
    }

    QTemporaryDir directory;
};

TEST_F(AudioManager, FindsTheMicrophoneOfACameraWithoutSerialNumberByItsLocationAndLogsEachStep)
{
    uvccam::sim::attachCamera("RX710");
    const QString camera = uvccam::sim::attachCamera("LUM610");
    simulator().findDevice(camera)->uvc()->setSerialIndexFails(true);
    uvccam::sim::setMicrophoneLevel(camera, 0.0);
    std::unique_ptr<UVCCam> host(acquireUVCCam());
    ASSERT_EQ(host->setDevice(camera), 1);
    ASSERT_TRUE(host->getDeviceSN().isEmpty());
    log().clear();

    ASSERT_EQ(host->startAudioRecording(0, QString()), 0);
    clock().advance(250ms);
    MacAudioMgr::sharedInstance()->stopRecording();
    deliverPending();
    const QString location = camera.mid(2, 8);
    EXPECT_EQ(systemLog(), (QStringList{
        "camera.deviceUniqueID = " + camera, "devUid = " + location.left(7),
        "audioCaptureDevice uid = LUM610 Webcam:" + location + ":SIM000002", "Can add the inputs and outputs",
        "Capture session started; notification = CaptureSessionDidStartRunning session=*",
        "Notification audio output = <AudioFileOutputSim *>",
        // Its own microphone, at 0 dB: the others hear -20.
        "decibels = 0.000000, level = 5.000000", "decibels = 0.000000, level = 5.000000",
        "captureOutput.description = <AudioFileOutputSim *>",
        "outputFileURL = file://" + directory.filePath("20260101090000.m4a"), "connections = (1 connections)",
        "error = (null)"}));
    for (LogChannel channel : {LogChannel::QtDebug, LogChannel::StandardOutput, LogChannel::StandardError})
        EXPECT_TRUE(logged(channel).isEmpty()) << uvccam::platform::logChannelName(channel);
}

int g_ticks = 0;

TEST_F(AudioManager, AStartWithoutAnInputOrRefusedByTheSessionRecordsNothingAndSaysWhy)
{
    const QString camera = uvccam::sim::attachCamera("RX710");
    const QString serial = simulator().findDevice(camera)->profile().serialNumber;
    MacAudioMgr* manager = MacAudioMgr::sharedInstance();
    manager->setAudioDeviceByUniqueId(&camera, &serial);
    manager->setAudioCallback([](float) { ++g_ticks; });
    g_ticks = 0;
    log().clear();
    // Another application holds the microphone: an input is made, but the session refuses it.
    simulator().findDevice(camera)->setMicrophoneHeldElsewhere(true);
    manager->startRecording();
    // Unplugged, the chosen microphone gives no input at all.
    uvccam::sim::detach(camera);
    manager->startRecording();
    clock().advance(1s);
    EXPECT_FALSE(manager->isRecording());
    EXPECT_EQ(manager->audioLevelTimer(), 0u);
    EXPECT_EQ(g_ticks, 0);
    EXPECT_EQ(systemLog(), (QStringList{"Error was = (null)", "Error was = Cannot use RX710 Conference Camera "
                                                               "Microphone: the device is not connected"}));
}

}  // namespace
