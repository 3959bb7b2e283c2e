// A capture session with a microphone on the Linux platform: the level on the file output's
// connection, the M4A file complete when the session's stop returns, and what the delegate
// hears when the file cannot be written or the microphone goes.
// GLib names struct members `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "platform/linux/AudioFileOutputGst.h"
#include "platform/linux/AudioFileProbeGst.h"
#include "platform/linux/AudioRecorderGst.h"
#include "platform/linux/CaptureSessionGst.h"
#include "platform/linux/GstInit.h"
#include "support/EmulatedUsb.h"
#include "support/PrivatePulseAudio.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gst/gst.h>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>

using namespace uvccam::platform;
using namespace uvccam::testing;
using namespace std::chrono_literals;

namespace {

class Microphone : public CaptureDevice {
public:
    explicit Microphone(QString name) : name_(std::move(name)) {}
    QString uniqueID() const override { return name_; }
    QString localizedName() const override { return name_; }
    QString modelID() const override { return name_; }
    bool hasMediaType(MediaType type) const override { return type == MediaType::Audio; }
    bool isConnected() const override { return true; }

private:
    QString name_;
};

class MicrophoneInput : public CaptureDeviceInput {
public:
    explicit MicrophoneInput(CaptureDevicePtr device) : device_(std::move(device)) {}
    CaptureDevicePtr device() const override { return device_; }

private:
    CaptureDevicePtr device_;
};

struct Finished {
    QString path;
    std::optional<QString> error;
    bool sessionRunning = false;
    std::optional<double> durationSeconds;  // the file as the delegate found it
};

class RecordingDelegate : public FileOutputRecordingDelegate {
public:
    void captureOutput(AudioFileOutput&, const QString& path, const std::vector<CaptureConnection>&,
                       const QString* error) override
    {
        finished.push_back(Finished{path, error ? std::optional<QString>(*error) : std::nullopt,
                                    session && session->isRunning(), probeAudioFileDuration(path)});
    }
    std::vector<Finished> finished;
    CaptureSession* session = nullptr;
};

// The mean of the output's channels, as the library's meter takes it.
std::optional<float> meanLevel(const AudioFileOutput& output)
{
    const std::vector<CaptureConnection> connections = output.connections();
    if (connections.empty() || connections.front().audioChannels.empty())
        return std::nullopt;
    float sum = 0;
    for (const AudioChannel& channel : connections.front().audioChannels)
        sum += channel.averagePowerLevel;
    return sum / static_cast<float>(connections.front().audioChannels.size());
}

class AudioRecordingGst : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(pulse.error(), QString());
        ASSERT_TRUE(pulse.waitUntilMicrophonesAreLive());
    }

    // A running session recording from the sound-server source `source`, or from a
    // GStreamer launch description when `described`.
    void start(const QString& source, bool described = false)
    {
        auto makeMicrophone = [source, described](const CaptureDevicePtr&) -> GstElement* {
            if (!described)
                return AudioRecorderGst::soundServerSource(source);
            ensureGstInitialized();
            return gst_parse_bin_from_description(source.toUtf8().constData(), TRUE, nullptr);
        };
        session = std::make_shared<CaptureSessionGst>(CaptureSessionGst::SourceFactory{},
                                                      CaptureSessionGst::StartAnnouncer{}, makeMicrophone);
        delegate->session = session.get();
        const auto input = std::make_shared<MicrophoneInput>(std::make_shared<Microphone>(source));
        ASSERT_TRUE(session->canAddInput(input));
        ASSERT_TRUE(session->canAddOutput(output));
        session->addInput(input);
        session->addOutput(output);
        EXPECT_FALSE(session->canAddOutput(output)) << "an output belongs to one session";
        session->startRunning();
        ASSERT_TRUE(session->isRunning());
    }
    bool waitForLevel()
    {
        return waitFor([this] { return meanLevel(*output).has_value() && std::isfinite(*meanLevel(*output)); }, 5s);
    }

    PrivatePulseAudio pulse;
    QTemporaryDir dir;
    std::shared_ptr<CaptureSessionGst> session;
    std::shared_ptr<AudioFileOutputGst> output = std::make_shared<AudioFileOutputGst>();
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
};

TEST_F(AudioRecordingGst, TheFileIsCompleteWhenTheStopReturnsAndTheLevelIsTheMicrophones)
{
    EXPECT_TRUE(output->connections().empty()) << "no microphone runs yet";
    ASSERT_NO_FATAL_FAILURE(start(QLatin1String(PrivatePulseAudio::kCameraMicrophone)));
    ASSERT_TRUE(waitForLevel());
    const std::vector<CaptureConnection> heard = output->connections();
    ASSERT_EQ(heard.size(), 1u);
    ASSERT_FALSE(heard.front().audioChannels.empty());
    for (const AudioChannel& channel : heard.front().audioChannels)
        EXPECT_NEAR(channel.averagePowerLevel, PrivatePulseAudio::kSineRmsDb, 1.0);

    const QString file = dir.filePath(QStringLiteral("clip.m4a"));
    output->startRecordingToOutputFileURL(file, AudioFileType::AppleM4A, delegate);
    ASSERT_TRUE(output->isRecording());
    QElapsedTimer recorded;
    recorded.start();
    waitFor([&] { return recorded.elapsed() >= 1500; }, 5s);
    session->stopRunning();
    const double seconds = static_cast<double>(recorded.elapsed()) / 1000.0;

    EXPECT_FALSE(output->isRecording());
    EXPECT_TRUE(output->connections().empty());
    EXPECT_NEAR(probeAudioFileDuration(file).value_or(0.0), seconds, 0.2) << "complete before stopRunning returned";
    EXPECT_TRUE(delegate->finished.empty()) << "the delegate hears on the main thread's next turn";
    ASSERT_TRUE(waitFor([&] { return !delegate->finished.empty(); }, 2s));
    ASSERT_EQ(delegate->finished.size(), 1u);
    EXPECT_EQ(delegate->finished.front().path, file);
    EXPECT_EQ(delegate->finished.front().error, std::nullopt);
}

TEST_F(AudioRecordingGst, DigitalSilenceReadsAsMinusInfinity)
{
    ASSERT_NO_FATAL_FAILURE(start(QStringLiteral("audiotestsrc is-live=true wave=silence"), true));
    ASSERT_TRUE(waitFor([this] { return !session->recorder()->levels().empty(); }, 5s));
    const std::optional<float> level = meanLevel(*output);
    ASSERT_TRUE(level.has_value());
    EXPECT_TRUE(std::isinf(*level) && *level < 0) << *level;
}

TEST_F(AudioRecordingGst, AFileThatCannotBeWrittenIsAnErrorForTheDelegateAndTheLevelGoesOn)
{
    ASSERT_NO_FATAL_FAILURE(start(QLatin1String(PrivatePulseAudio::kCameraMicrophone)));
    const QString file = dir.filePath(QStringLiteral("no/such/folder/clip.m4a"));
    output->startRecordingToOutputFileURL(file, AudioFileType::AppleM4A, delegate);
    ASSERT_TRUE(waitFor([&] { return !delegate->finished.empty(); }, 2s));
    EXPECT_FALSE(output->isRecording());
    ASSERT_TRUE(delegate->finished.front().error.has_value());
    EXPECT_TRUE(delegate->finished.front().error->contains(QStringLiteral("no/such/folder")))
        << delegate->finished.front().error->toStdString();
    EXPECT_TRUE(delegate->finished.front().sessionRunning);
    EXPECT_TRUE(waitForLevel());

    // The next file, somewhere writable, is recorded as if nothing had happened.
    const QString good = dir.filePath(QStringLiteral("clip.m4a"));
    output->startRecordingToOutputFileURL(good, AudioFileType::AppleM4A, delegate);
    EXPECT_TRUE(output->isRecording());
    QElapsedTimer recorded;
    recorded.start();
    waitFor([&] { return recorded.elapsed() >= 500; }, 5s);
    session->stopRunning();
    EXPECT_TRUE(probeAudioFileDuration(good).has_value());
}

// A file of no sound would not play: none is written, and the delegate hears why.
TEST_F(AudioRecordingGst, AStopBeforeTheMicrophoneWasHeardWritesNoFileAndSaysSo)
{
    ASSERT_NO_FATAL_FAILURE(start(QLatin1String(PrivatePulseAudio::kCameraMicrophone)));
    const QString file = dir.filePath(QStringLiteral("clip.m4a"));
    output->startRecordingToOutputFileURL(file, AudioFileType::AppleM4A, delegate);
    session->stopRunning();
    ASSERT_TRUE(waitFor([&] { return !delegate->finished.empty(); }, 2s));
    ASSERT_TRUE(delegate->finished.front().error.has_value());
    EXPECT_TRUE(delegate->finished.front().error->startsWith(QStringLiteral("nothing recorded")));
    EXPECT_FALSE(QFileInfo::exists(file));
}

}  // namespace
