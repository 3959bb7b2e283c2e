// Simulated microphones, audio file recording (real M4A files) and playback probing.
#include "platform/Platform.h"
#include "platform/linux/AudioFileProbeGst.h"
#include "platform/sim/AudioPlaybackSim.h"

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
        calls.push_back({path, connections.size(), error ? *error : QString()});
    }
    struct Call {
        QString path;
        std::size_t connections;
        QString error;
    };
    std::vector<Call> calls;
};

class SimulatedAudio : public SimulatedWorld {
protected:
    CaptureDevicePtr audioDevice(const QString& uniqueID)
    {
        for (const auto& device : capture().devicesWithMediaType(MediaType::Audio))
            if (device->uniqueID() == uniqueID)
                return device;
        return nullptr;
    }
    // A session recording from the microphone, not yet running.
    std::pair<CaptureSessionPtr, AudioFileOutputPtr> audioSession(const CaptureDevicePtr& microphone)
    {
        auto session = capture().createSession();
        auto output = capture().createAudioFileOutput();
        session->addInput(capture().deviceInputWithDevice(microphone));
        EXPECT_TRUE(session->canAddOutput(output));
        session->addOutput(output);
        EXPECT_FALSE(session->canAddOutput(output));
        return {session, output};
    }
    float meanLevel(const AudioFileOutput& output)
    {
        const auto connections = output.connections();
        return connections.size() == 1 && connections[0].audioChannels.size() == 2
                   ? connections[0].audioChannels[1].averagePowerLevel : NAN;
    }
    QTemporaryDir dir;
    std::shared_ptr<Finished> delegate = std::make_shared<Finished>();
};

TEST_F(SimulatedAudio, RecordsTheVirtualTimeFromRequestOrStartUntilStopIntoAFileThatPlays)
{
    const QString rx = sim::attachCamera("RX710");
    const QString serial = simulator().findDevice(rx)->profile().serialNumber;
    auto [session, output] = audioSession(audioDevice("AudioIn:" + serial));
    const QString early = dir.filePath("early.m4a"), late = dir.filePath("late.m4a");
    // Asked before the start: records from the start.
    output->startRecordingToOutputFileURL(early, AudioFileType::AppleM4A, delegate);
    clock().advance(5s);
    EXPECT_FALSE(output->isRecording());
    session->startRunning();
    EXPECT_TRUE(output->isRecording());
    clock().advance(3s);
    session->stopRunning();
    EXPECT_FALSE(output->isRecording());
    EXPECT_TRUE(delegate->calls.empty());
    deliverPending();
    ASSERT_EQ(delegate->calls.size(), 1u);
    EXPECT_EQ(delegate->calls[0].path, early);
    EXPECT_EQ(delegate->calls[0].connections, 1u);
    EXPECT_EQ(delegate->calls[0].error, QString());
    EXPECT_NEAR(probeAudioFileDuration(early).value_or(-1), 3.0, 0.1);
    // Asked while running: records from the request; asking again for the same file changes nothing.
    session->startRunning();
    clock().advance(1s);
    output->startRecordingToOutputFileURL(late, AudioFileType::AppleM4A, delegate);
    clock().advance(1s);
    output->startRecordingToOutputFileURL(late, AudioFileType::AppleM4A, delegate);
    clock().advance(1s);
    session.reset();  // a session that goes stops, and so ends the recording
    deliverPending();
    ASSERT_EQ(delegate->calls.size(), 2u);
    EXPECT_NEAR(probeAudioFileDuration(late).value_or(-1), 2.0, 0.1);

    // The player probes the file and logs its plays; the clock is virtual.
    auto& playback = static_cast<AudioPlaybackSim&>(Platform::current().audioPlayback());
    QString error;
    auto player = playback.initWithContentsOfURL(late, &error);
    ASSERT_TRUE(player) << error.toStdString();
    player->setNumberOfLoops(0);
    player->setVolume(0.5f);
    EXPECT_TRUE(player->play());
    ASSERT_EQ(playback.plays().size(), 1u);
    EXPECT_EQ(playback.plays()[0].path, late);
    EXPECT_NEAR(playback.plays()[0].durationSeconds, 2.0, 0.1);
    EXPECT_EQ(playback.plays()[0].volume, 0.5f);
    EXPECT_EQ(playback.plays()[0].at, clock().now());
}

TEST_F(SimulatedAudio, UnreadableFilesGiveNoPlayerAndAReason)
{
    QFile text(dir.filePath("notes.m4a"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not a sound file at all\n");
    text.close();
    for (const QString& path : {dir.filePath("missing.m4a"), text.fileName(), dir.path()}) {
        QString error;
        EXPECT_EQ(Platform::current().audioPlayback().initWithContentsOfURL(path, &error), nullptr);
        EXPECT_FALSE(error.isEmpty()) << path.toStdString();
    }
}

TEST_F(SimulatedAudio, EachCameraHasAMicrophoneWhoseLevelTheChannelsReport)
{
    const QString rx = sim::attachCamera("RX710");
    const QString voxa = sim::attachSpeakerphone("VOXA760");
    const QString serial = simulator().findDevice(rx)->profile().serialNumber;
    QStringList audio;
    for (const auto& device : capture().devicesWithMediaType(MediaType::Audio))
        audio << device->uniqueID() + "|" + device->localizedName();
    EXPECT_EQ(audio, (QStringList{"BuiltInMicrophoneDevice|Built-in Microphone",
                                  "AudioIn:" + serial + "|RX710 Conference Camera Microphone",
                                  "VOXA760:" + voxa + "|VOXA760"}));
    EXPECT_EQ(capture().defaultDeviceWithMediaType(MediaType::Audio)->uniqueID(), "BuiltInMicrophoneDevice");

    const auto [cameraSession, cameraOutput] = audioSession(audioDevice("AudioIn:" + serial));
    const auto [builtInSession, builtInOutput] = audioSession(capture().defaultDeviceWithMediaType(MediaType::Audio));
    EXPECT_EQ(meanLevel(*cameraOutput), -20.0f);
    sim::setMicrophoneLevel(rx, -6.0);
    sim::setMicrophoneLevel("BuiltInMicrophoneDevice", -INFINITY);
    EXPECT_EQ(meanLevel(*cameraOutput), -6.0f);
    EXPECT_EQ(meanLevel(*builtInOutput), -INFINITY);
    // A video-only session hears nothing; its output is not that of another session.
    auto video = capture().createSession();
    video->addInput(capture().deviceInputWithDevice(capture().defaultDeviceWithMediaType(MediaType::Video)));
    EXPECT_FALSE(video->canAddOutput(cameraOutput));
    auto silent = capture().createAudioFileOutput();
    video->addOutput(silent);
    EXPECT_TRUE(silent->connections().empty());
}

TEST_F(SimulatedAudio, EverySessionStartIsAnnouncedThroughTheRunLoop)
{
    sim::attachCamera("LUM610");
    QStringList heard;
    const auto id = capture().addSessionStartObserver([&heard](const QString& what) { heard << what; });
    auto video = capture().createSession();
    video->addInput(capture().deviceInputWithDevice(capture().defaultDeviceWithMediaType(MediaType::Video)));
    const auto [audio, output] = audioSession(capture().defaultDeviceWithMediaType(MediaType::Audio));
    video->startRunning();
    audio->startRunning();
    video->startRunning();  // already running: no new start
    EXPECT_TRUE(heard.isEmpty());
    deliverPending();
    EXPECT_EQ(heard.size(), 2);
    EXPECT_NE(heard[0], heard[1]);
    capture().removeSessionStartObserver(id);
    video->stopRunning();
    video->startRunning();
    deliverPending();
    EXPECT_EQ(heard.size(), 2);
}

}  // namespace
