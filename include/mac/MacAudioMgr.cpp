// The test clip: device choice, the recording session, its level ticks, file and playback.
#include "mac/MacAudioMgr.h"

#include "platform/Log.h"
#include "platform/Platform.h"

#include <QDir>

#include <cmath>
#include <limits>

using namespace uvccam::platform;

namespace {

std::shared_ptr<MacAudioMgr>& sharedManager()
{
    // A pointer that is never destroyed at exit; the manager it holds may be released.
    static auto* manager = new std::shared_ptr<MacAudioMgr>();
    return *manager;
}

constexpr std::chrono::milliseconds kLevelInterval{100};
constexpr std::chrono::seconds kPlaybackDelay{2};
const QString kFileNamePattern = QStringLiteral("yyyyMMddHHmmss");

}  // namespace

MacAudioMgr* MacAudioMgr::sharedInstance()
{
    if (!sharedManager()) {
        sharedManager().reset(new MacAudioMgr());
        sharedManager()->initPrivate();
    }
    return sharedManager().get();
}

std::weak_ptr<MacAudioMgr> MacAudioMgr::sharedReference()
{
    return sharedManager();
}

void MacAudioMgr::dispose()
{
    if (sharedManager())
        sharedManager()->unregisterStartObserver();
    sharedManager().reset();
}

MacAudioMgr::~MacAudioMgr()
{
    if (audioLevelTimer_ != 0)
        Platform::current().runLoop().cancel(audioLevelTimer_);
    unregisterStartObserver();
}

void MacAudioMgr::initPrivate()
{
    // Taken once: a device attached later is found only by a new manager.
    macAudioList_ = Platform::current().capture().devicesWithMediaType(MediaType::Audio);
}

void MacAudioMgr::unregisterStartObserver()
{
    if (startObserver_ != 0)
        Platform::current().capture().removeSessionStartObserver(startObserver_);
    startObserver_ = 0;
}

void MacAudioMgr::setAudioDeviceByUniqueId(const QString* uniqueId, const QString* andSerialNo)
{
    QString searchText;
    if (andSerialNo) {
        searchText = *andSerialNo;
        logSystem("sNum = %@", searchText);
    } else {
        // The seven characters after "0x": the first digits of a camera's location.
        searchText = uniqueId && uniqueId->size() >= 9 ? uniqueId->mid(2, 7) : QString();
        logSystem("devUid = %@", uniqueId ? uniqueId->mid(2, 7) : QString());
    }
    if (!searchText.isEmpty()) {
        for (const auto& device : macAudioList_) {
            if (device->uniqueID().contains(searchText, Qt::CaseSensitive)) {
                audioCaptureDevice_ = device;
                break;
            }
        }
    }
    logSystem("audioCaptureDevice uid = %@", audioCaptureDevice_ ? audioCaptureDevice_->uniqueID() : QString());
}

void MacAudioMgr::startRecording()
{
    CaptureService& capture = Platform::current().capture();
    unregisterStartObserver();
    std::weak_ptr<MacAudioMgr> self = weak_from_this();
    startObserver_ = capture.addSessionStartObserver([self](const QString& notification) {
        if (auto manager = self.lock())
            manager->captureSessionStartedNotification(notification);
    });
    ++clipNumber_;
    recordFileName_.reset();
    captureSession_ = capture.createSession();
    if (!audioCaptureDevice_)
        audioCaptureDevice_ = capture.defaultDeviceWithMediaType(MediaType::Audio);

    QString error;
    audioInput_ = audioCaptureDevice_ ? capture.deviceInputWithDevice(audioCaptureDevice_, &error) : nullptr;
    if (!audioCaptureDevice_)
        error = QStringLiteral("no audio input");
    audioOutput_ = capture.createAudioFileOutput();
    // A platform without capture sessions yet records nothing, as without an input.
    if (captureSession_ && audioInput_ && captureSession_->canAddInput(audioInput_) && captureSession_->canAddOutput(audioOutput_)) {
        logSystem("Can add the inputs and outputs");
        captureSession_->addInput(audioInput_);
        captureSession_->addOutput(audioOutput_);
        if (audioLevelTimer_ != 0)
            Platform::current().runLoop().cancel(audioLevelTimer_);
        audioLevelTimer_ = Platform::current().runLoop().scheduleRepeating(kLevelInterval, [self] {
            if (auto manager = self.lock())
                manager->updateAudioLevels();
        });
        captureSession_->startRunning();
        return;
    }
    logSystem("Error was = %@", audioInput_ ? QString() : error);
}

void MacAudioMgr::captureSessionStartedNotification(const QString& notification)
{
    logSystem("Capture session started; notification = %@", notification);
    logSystem("Notification audio output = %@", audioOutput_ ? audioOutput_->description() : QString());
    if (audioOutput_)
        audioOutput_->startRecordingToOutputFileURL(outputURL(), AudioFileType::AppleM4A, weak_from_this());
}

QString MacAudioMgr::outputURL()
{
    if (!recordFileName_)
        recordFileName_ = Platform::current().runLoop().currentDateTime().toString(kFileNamePattern) + ".m4a";
    return QDir(Platform::current().temporaryDirectory()).filePath(*recordFileName_);
}

void MacAudioMgr::updateAudioLevels()
{
    float sum = 0;
    int count = 0;
    if (audioOutput_) {
        for (const CaptureConnection& connection : audioOutput_->connections()) {
            for (const AudioChannel& channel : connection.audioChannels) {
                sum += channel.averagePowerLevel;
                ++count;
            }
        }
    }
    // No channel is no sound: minus infinity, level 0, rather than 0/0.
    const float decibels = count > 0 ? sum / static_cast<float>(count) : -std::numeric_limits<float>::infinity();
    const float level = std::pow(10.0f, 0.05f * decibels) * 5.0f;
    logSystem("decibels = %f, level = %f", static_cast<double>(decibels), static_cast<double>(level));
    if (audioCallback_)
        audioCallback_(level);
}

void MacAudioMgr::stopRecording()
{
    if (captureSession_)
        captureSession_->stopRunning();
    if (audioLevelTimer_ != 0)
        Platform::current().runLoop().cancel(audioLevelTimer_);
    audioLevelTimer_ = 0;
    unregisterStartObserver();
}

bool MacAudioMgr::isRecording() const
{
    return captureSession_ && captureSession_->isRunning();
}

void MacAudioMgr::captureOutput(AudioFileOutput& output, const QString& didFinishRecordingToOutputFileAtURL,
                                const std::vector<CaptureConnection>& fromConnections, const QString* error)
{
    logSystem("captureOutput.description = %@", output.description());
    logSystem("outputFileURL = %@", QStringLiteral("file://") + didFinishRecordingToOutputFileAtURL);
    logSystem("connections = %@", QStringLiteral("(%1 connections)").arg(fromConnections.size()));
    logSystem("error = %@", error ? *error : QString());
}

void MacAudioMgr::playAudio()
{
    // The task keeps the manager alive until it has played, even past a disposal.
    auto self = shared_from_this();
    Platform::current().runLoop().dispatchAfter(kPlaybackDelay, [self] {
        QString error;
        self->player_ = Platform::current().audioPlayback().initWithContentsOfURL(self->outputURL(), &error);
        if (!self->player_)
            return;
        self->player_->setNumberOfLoops(0);
        self->player_->setVolume(1.0f);
        self->player_->play();
    });
}
