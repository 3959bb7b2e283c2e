// The file output of a microphone session: asks the session's pipeline for the file, ends it with the session, tells the delegate.
#include "platform/linux/AudioFileOutputGst.h"

#include "platform/linux/AudioRecorderGst.h"

#include <QTimer>

#include <limits>

namespace uvccam::platform {

std::vector<CaptureConnection> AudioFileOutputGst::connections() const
{
    if (!recorder_)
        return {};
    CaptureConnection connection;
    for (const float level : recorder_->levels())
        connection.audioChannels.push_back(AudioChannel{level});
    if (connection.audioChannels.empty())
        connection.audioChannels.push_back(AudioChannel{-std::numeric_limits<float>::infinity()});
    return {connection};
}

void AudioFileOutputGst::startRecordingToOutputFileURL(const QString& path, AudioFileType,
                                                       std::weak_ptr<FileOutputRecordingDelegate> recordingDelegate)
{
    if (recording_ && path == path_)
        return;
    if (recording_)
        finishRecording();
    path_ = path;
    delegate_ = std::move(recordingDelegate);
    requested_ = true;
    if (recorder_)
        beginRecording();
}

QString AudioFileOutputGst::description() const
{
    return QStringLiteral("<AudioFileOutputGst %1%2>")
        .arg(reinterpret_cast<quintptr>(this), 0, 16)
        .arg(recording_ ? QStringLiteral(" recording to ") + path_ : QString());
}

void AudioFileOutputGst::setRecorder(AudioRecorderGst* recorder)
{
    if (recorder == recorder_)
        return;
    if (recording_)
        finishRecording();
    recorder_ = recorder;
    if (recorder_ && requested_)
        beginRecording();
}

void AudioFileOutputGst::beginRecording()
{
    QString error;
    if (recorder_->recordTo(path_, &error)) {
        recording_ = true;
        return;
    }
    requested_ = false;
    tellDelegate(error);
}

void AudioFileOutputGst::finishRecording()
{
    recording_ = false;
    requested_ = false;
    tellDelegate(recorder_ ? recorder_->finishFile() : QString());
}

void AudioFileOutputGst::fileFailed(const QString& reason)
{
    if (!recording_)
        return;
    recording_ = false;
    requested_ = false;
    tellDelegate(reason);
}

void AudioFileOutputGst::tellDelegate(const QString& error)
{
    // On the main thread's next turn, as every platform callback: never from inside the
    // caller's own request.
    auto self = shared_from_this();
    const std::vector<CaptureConnection> heard = connections();
    QTimer::singleShot(0, [self, path = path_, delegate = delegate_, heard, error] {
        if (auto receiver = delegate.lock())
            receiver->captureOutput(*self, path, heard, error.isEmpty() ? nullptr : &error);
    });
}

}  // namespace uvccam::platform
