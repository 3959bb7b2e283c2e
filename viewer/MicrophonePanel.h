// The microphone test: a 10-second clip with its level meter and progress, playback, and the system volumes.
#pragma once

#include "DeviceInfo.h"

#include <QDateTime>
#include <QGroupBox>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class UVCCam;

namespace uvccamviewer {

class StatusLine;

class MicrophonePanel : public QGroupBox {
    Q_OBJECT

public:
    MicrophonePanel(UVCCam& camera, StatusLine& status, QWidget* parent = nullptr);

    void showDevice(const DeviceInfo& device);

    // What the Record and Play buttons do; false when the library refused.
    bool record();
    bool play();
    // Reads the system's output and input volumes again.
    void readVolumes();

    bool isRecording() const { return recording_; }
    // The latest level reading (0 to 5, 5 is full scale) and the highest of this clip.
    int level() const { return level_; }
    int highestLevel() const { return highestLevel_; }
    // The clip the last recording wrote, once it has ended; empty before.
    const QString& clip() const { return clip_; }

signals:
    void recordingEnded(const QString& clip);

private:
    void levelArrived(int level);
    void deviceLeft();
    void followTime();
    void finishRecording();
    void updateButtons();

    UVCCam& camera_;
    StatusLine& status_;
    QPushButton* record_;
    QPushButton* play_;
    QProgressBar* meter_;
    QProgressBar* progress_;
    QLabel* clipLabel_;
    QLabel* volumes_;
    QTimer* clock_;
    DeviceInfo device_;

    bool recording_ = false;
    double recordingStart_ = 0;  // on the library's clock
    QDateTime recordingStartedAt_;
    int level_ = 0;
    int highestLevel_ = 0;
    QString clip_;
};

}  // namespace uvccamviewer
