// Records a capture session's microphone into an M4A file, and shows the microphone's level on its connection.
#pragma once

#include "platform/CaptureService.h"

#include <QString>

#include <memory>

namespace uvccam::platform {

class AudioRecorderGst;

// The file output of a session with a microphone. The session owns the microphone's
// pipeline (AudioRecorderGst) and tells the output when it starts and stops; the output
// asks that pipeline for a file when recording is requested and the session runs, and
// ends the file when the session stops. The delegate hears of the end on the main thread,
// always after the file is complete (or with the reason it is not): a file that could not
// be opened, or that failed while written, is reported as an error, never as a recording.
//
// connections(): while the session's microphone runs, one connection with a channel per
// channel of the microphone's last level measurement (one silent channel before the
// first), so a meter never averages over no channel; none otherwise.
class AudioFileOutputGst : public AudioFileOutput, public std::enable_shared_from_this<AudioFileOutputGst> {
public:
    std::vector<CaptureConnection> connections() const override;
    void startRecordingToOutputFileURL(const QString& path, AudioFileType type,
                                       std::weak_ptr<FileOutputRecordingDelegate> recordingDelegate) override;
    bool isRecording() const override { return recording_; }
    QString description() const override;

    // Called by the session that owns the output; `recorder` is the session's microphone
    // pipeline while it runs, nullptr otherwise.
    void setRecorder(AudioRecorderGst* recorder);
    bool inSession() const { return inSession_; }
    void joinSession() { inSession_ = true; }
    // The session's pipeline could not go on writing the file.
    void fileFailed(const QString& reason);

private:
    void beginRecording();
    void finishRecording();
    void tellDelegate(const QString& error);

    AudioRecorderGst* recorder_ = nullptr;
    bool inSession_ = false;
    QString path_;
    std::weak_ptr<FileOutputRecordingDelegate> delegate_;
    bool requested_ = false;
    bool recording_ = false;
};

}  // namespace uvccam::platform
