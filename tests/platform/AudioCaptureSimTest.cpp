// Simulated microphones, audio file recording (real M4A files) and playback probing.
#include "platform/Platform.h"
#include "platform/linux/AudioFileProbeGst.h"

#include "UVCCamSimulation.h"
#include "support/SimulatedWorld.h"

#include <QFile>
#include <QTemporaryDir>

#include <cmath>

namespace {

using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;
using namespace std::chrono_literals;
namespace sim = uvccam::sim;

struct Finished : FileOutputRecordingDelegate {
    void captureOutput(AudioFileOutput&, const QString& path, const std::vector<CaptureConnection>& connections,
                       const QString* error) override
    {
        calls << QStringLiteral("%1 %2 %3").arg(path).arg(connections.size()).arg(error ? *error : "ok");
    }
    QStringList calls;
};

class SimulatedAudio : public SimulatedWorld {
protected:
    // A session recording from the camera's microphone, or the default one, not yet running.
    std::pair<CaptureSessionPtr, AudioFileOutputPtr> audioSession(const QString& camera = QString())
    {
        CaptureDevicePtr microphone = capture().defaultDeviceWithMediaType(MediaType::Audio);
        for (const auto& device : capture().devicesWithMediaType(MediaType::Audio))
            if (!camera.isEmpty() && device->uniqueID() == simulator().findDevice(camera)->audioCaptureUniqueID())
                microphone = device;
        auto session = capture().createSession();
        auto output = capture().createAudioFileOutput();
        session->addInput(capture().deviceInputWithDevice(microphone));
        session->addOutput(output);
        return {session, output};
    }
    QTemporaryDir dir;
    std::shared_ptr<Finished> delegate = std::make_shared<Finished>();
};

TEST_F(SimulatedAudio, RecordsTheVirtualTimeFromRequestOrStartUntilStopIntoAFileThatDecodes)
{
    QStringList starts;
    const auto observer = capture().addSessionStartObserver([&starts](const QString& what) { starts << what; });
    auto [session, output] = audioSession(sim::attachCamera("RX710"));
    const QString early = dir.filePath("early.m4a"), late = dir.filePath("late.m4a");
    // Asked before the start: records from the start.
    output->startRecordingToOutputFileURL(early, AudioFileType::AppleM4A, delegate);
    clock().advance(5s);
    EXPECT_FALSE(output->isRecording());
    session->startRunning();
    session->startRunning();  // already running: no new start
    EXPECT_TRUE(output->isRecording());
    EXPECT_TRUE(starts.isEmpty()) << "announced through the run loop";
    clock().advance(3s);
    session->stopRunning();
    EXPECT_TRUE(delegate->calls.isEmpty());
    deliverPending();
    EXPECT_EQ(delegate->calls, QStringList{early + " 1 ok"});
    EXPECT_NEAR(probeAudioFileDuration(early).value_or(-1), 3.0, 0.1);
    // Asked while running: records from the request; asking again for the same file changes nothing.
    capture().removeSessionStartObserver(observer);
    session->startRunning();
    clock().advance(1s);
    for (int i = 0; i < 2; ++i, clock().advance(1s))
        output->startRecordingToOutputFileURL(late, AudioFileType::AppleM4A, delegate);
    session.reset();  // a session that goes stops, and so ends the recording
    deliverPending();
    EXPECT_EQ(delegate->calls.size(), 2);
    EXPECT_EQ(starts.size(), 1) << "one start heard; an observer removed hears no more";
    EXPECT_NEAR(probeAudioFileDuration(late).value_or(-1), 2.0, 0.1);
}

TEST_F(SimulatedAudio, EachMicrophonesLevelIsThePowerItsChannelsReportAndUnreadableFilesGiveNoPlayer)
{
    const QString rx = sim::attachCamera("RX710");
    EXPECT_EQ(capture().defaultDeviceWithMediaType(MediaType::Audio)->uniqueID(), "BuiltInMicrophoneDevice");
    const auto [cameraSession, cameraOutput] = audioSession(rx);
    const auto [builtInSession, builtInOutput] = audioSession();
    const auto level = [](const AudioFileOutput& output) {
        const auto connections = output.connections();
        return connections.size() == 1 && connections[0].audioChannels.size() == 2
                   ? connections[0].audioChannels[1].averagePowerLevel : NAN;
    };
    EXPECT_EQ(level(*cameraOutput), -20.0f);
    sim::setMicrophoneLevel(rx, -6.0);
    sim::setMicrophoneLevel("BuiltInMicrophoneDevice", -INFINITY);
    EXPECT_EQ(level(*cameraOutput), -6.0f);
    EXPECT_EQ(level(*builtInOutput), -INFINITY);
    // An output belongs to one session only.
    EXPECT_FALSE(builtInSession->canAddOutput(cameraOutput));

    QFile text(dir.filePath("notes.m4a"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("not a sound file at all\n") > 0);
    text.close();
    for (const QString& path : {dir.filePath("missing.m4a"), text.fileName(), dir.path()}) {
        QString error;
        EXPECT_FALSE(Platform::current().audioPlayback().initWithContentsOfURL(path, &error));
        EXPECT_FALSE(error.isEmpty()) << path.toStdString();
    }
}

}  // namespace
