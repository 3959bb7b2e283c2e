// Records the test clip from the selected device's microphone, with a running level, and
// plays it back.
#pragma once

#include "UVCCamCallbacks.h"
#include "platform/AudioPlaybackService.h"
#include "platform/CaptureService.h"
#include "platform/RunLoop.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

class MacAudioMgr : public uvccam::platform::FileOutputRecordingDelegate,
                    public std::enable_shared_from_this<MacAudioMgr> {
public:
    // The process's manager; a new one (with a fresh device list) after a disposal.
    static MacAudioMgr* sharedInstance();
    // The shared manager without making one: what a holder keeps so that it can tell,
    // later, whether that manager has been disposed of in the meantime.
    static std::weak_ptr<MacAudioMgr> sharedReference();
    // Releases the shared manager: the next sharedInstance() makes a new one. Playback
    // already asked for still happens; it holds the manager until it has run.
    static void dispose();
    ~MacAudioMgr() override;

    MacAudioMgr(const MacAudioMgr&) = delete;
    MacAudioMgr& operator=(const MacAudioMgr&) = delete;

    // Chooses the input for the next recording: the first device whose unique ID holds the
    // serial number, or (without one) the seven characters of the unique ID after its
    // first two. No match keeps the previous choice.
    void setAudioDeviceByUniqueId(const QString* uniqueId, const QString* andSerialNo);
    void startRecording();
    void stopRecording();
    bool isRecording() const;
    // Counts the recordings started, so that whoever started one can tell whether the
    // recording running now is still the same clip.
    std::uint64_t clipNumber() const { return clipNumber_; }
    // Plays the last recording once, 2 seconds from now.
    void playAudio();
    // The recording's file: named by the date and time it started, in the temporary directory.
    QString outputURL();
    void updateAudioLevels();
    void captureSessionStartedNotification(const QString& notification);
    void captureOutput(uvccam::platform::AudioFileOutput& output, const QString& didFinishRecordingToOutputFileAtURL,
                       const std::vector<uvccam::platform::CaptureConnection>& fromConnections,
                       const QString* error) override;

    AudioLevelCallback audioCallback() const { return audioCallback_; }
    void setAudioCallback(AudioLevelCallback callback) { audioCallback_ = callback; }
    const uvccam::platform::CaptureDevicePtr& audioCaptureDevice() const { return audioCaptureDevice_; }
    const QList<uvccam::platform::CaptureDevicePtr>& macAudioList() const { return macAudioList_; }
    const uvccam::platform::CaptureSessionPtr& captureSession() const { return captureSession_; }
    const std::optional<QString>& recordFileName() const { return recordFileName_; }
    const std::shared_ptr<uvccam::platform::AudioPlayer>& player() const { return player_; }
    uvccam::platform::RunLoop::TimerId audioLevelTimer() const { return audioLevelTimer_; }

private:
    MacAudioMgr() = default;
    void initPrivate();
    void unregisterStartObserver();

    uvccam::platform::CaptureDevicePtr audioCaptureDevice_;
    uvccam::platform::CaptureDeviceInputPtr audioInput_;
    uvccam::platform::AudioFileOutputPtr audioOutput_;
    uvccam::platform::RunLoop::TimerId audioLevelTimer_ = 0;
    std::shared_ptr<uvccam::platform::AudioPlayer> player_;
    QList<uvccam::platform::CaptureDevicePtr> macAudioList_;
    uvccam::platform::CaptureSessionPtr captureSession_;
    AudioLevelCallback audioCallback_ = nullptr;
    std::optional<QString> recordFileName_;
    uvccam::platform::CaptureService::ObserverId startObserver_ = 0;
    std::uint64_t clipNumber_ = 0;
};
