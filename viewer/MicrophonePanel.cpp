// The clip's timeline runs on the library's clock, so the progress is right on the simulator's virtual clock too.
#include "MicrophonePanel.h"

#include "DeviceDescription.h"
#include "StatusLine.h"
#include "TestClip.h"

#include "UVCCam.h"
#include "UVCCamSimulation.h"
#include "mac/MacUVCCam.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace uvccamviewer {

namespace {

constexpr int kProgressSteps = 100;
// The progress bar moves ten times a second, like the level readings.
constexpr int kRefreshMilliseconds = 100;

}  // namespace

MicrophonePanel::MicrophonePanel(UVCCam& camera, StatusLine& status, QWidget* parent)
    : QGroupBox(tr("Microphone test"), parent),
      camera_(camera),
      status_(status),
      record_(new QPushButton(tr("Record 10 s"))),
      play_(new QPushButton(tr("Play"))),
      meter_(new QProgressBar),
      progress_(new QProgressBar),
      clipLabel_(new QLabel),
      volumes_(new QLabel),
      clock_(new QTimer(this))
{
    record_->setObjectName(QStringLiteral("record"));
    play_->setObjectName(QStringLiteral("play"));
    meter_->setObjectName(QStringLiteral("levelMeter"));
    meter_->setRange(0, uvccamctl::kFullScaleLevel);
    meter_->setFormat(QStringLiteral("level %v of %m"));
    progress_->setObjectName(QStringLiteral("recordingProgress"));
    progress_->setRange(0, kProgressSteps);
    progress_->setFormat(tr("%1 s").arg(0.0, 0, 'f', 1));
    progress_->setValue(0);
    meter_->setValue(0);
    clipLabel_->setObjectName(QStringLiteral("clip"));
    clipLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    clipLabel_->setWordWrap(true);
    volumes_->setObjectName(QStringLiteral("volumes"));
    auto* refreshVolumes = new QPushButton(tr("Read volumes"));

    clock_->setInterval(kRefreshMilliseconds);
    connect(clock_, &QTimer::timeout, this, &MicrophonePanel::followTime);
    connect(record_, &QPushButton::clicked, this, [this] { record(); });
    connect(play_, &QPushButton::clicked, this, [this] { play(); });
    connect(refreshVolumes, &QPushButton::clicked, this, &MicrophonePanel::readVolumes);
    auto* source = qobject_cast<MacUVCCam*>(&camera_);
    connect(source, &MacUVCCam::updateVolume, this, &MicrophonePanel::levelArrived);
    connect(source, &MacUVCCam::deviceRemove, this, &MicrophonePanel::deviceLeft);

    auto* layout = new QGridLayout(this);
    layout->addWidget(record_, 0, 0);
    layout->addWidget(progress_, 0, 1);
    layout->addWidget(new QLabel(tr("Level:")), 1, 0);
    layout->addWidget(meter_, 1, 1);
    layout->addWidget(play_, 2, 0);
    layout->addWidget(clipLabel_, 2, 1);
    layout->addWidget(refreshVolumes, 3, 0);
    layout->addWidget(volumes_, 3, 1);
    layout->setColumnStretch(1, 1);
    readVolumes();
    updateButtons();
}

void MicrophonePanel::showDevice(const DeviceInfo& device)
{
    device_ = device;
    updateButtons();
}

bool MicrophonePanel::record()
{
    // File times have whole-second precision on some file systems.
    const QDateTime since = QDateTime::currentDateTime().addSecs(-1);
    const int result = camera_.startAudioRecording(0, QString());
    if (result != 0) {
        status_.refused(QStringLiteral("startAudioRecording"), result);
        return false;
    }
    recording_ = true;
    recordingStart_ = uvccam::sim::clockSeconds();
    recordingStartedAt_ = since;
    level_ = 0;
    highestLevel_ = 0;
    clip_.clear();
    clipLabel_->setText(tr("recording from %1…").arg(describe(device_)));
    meter_->setValue(0);
    progress_->setValue(0);
    clock_->start();
    status_.say(tr("Recording 10 s from %1").arg(describe(device_)));
    updateButtons();
    return true;
}

bool MicrophonePanel::play()
{
    const int result = camera_.startAudioPlaying(QString());
    if (result != 1) {
        status_.refused(QStringLiteral("startAudioPlaying"), result);
        return false;
    }
    status_.say(tr("Playback starts in %1 s").arg(uvccamctl::kPlaybackDelaySeconds, 0, 'f', 0));
    return true;
}

void MicrophonePanel::readVolumes()
{
    volumes_->setText(tr("speaker %1 %, microphone %2 %").arg(camera_.getSpeakerVol()).arg(camera_.getMicVol()));
}

void MicrophonePanel::levelArrived(int level)
{
    if (!recording_)
        return;
    level_ = level;
    highestLevel_ = std::max(highestLevel_, level);
    meter_->setValue(std::clamp(level, 0, uvccamctl::kFullScaleLevel));
    followTime();
}

void MicrophonePanel::deviceLeft()
{
    // Unplugging stops the device's clip at once; any other device leaving changes nothing.
    if (!recording_ || camera_.findDevice())
        return;
    recording_ = false;
    clock_->stop();
    clipLabel_->setText(tr("the device left; the recording stopped"));
    status_.rejected(tr("Recording stopped: %1 left").arg(describe(device_)));
    updateButtons();
}

void MicrophonePanel::followTime()
{
    if (!recording_)
        return;
    const double elapsed = uvccam::sim::clockSeconds() - recordingStart_;
    const double shown = std::min(elapsed, uvccamctl::kClipSeconds);
    progress_->setValue(static_cast<int>(std::lround(shown / uvccamctl::kClipSeconds * kProgressSteps)));
    progress_->setFormat(tr("%1 s").arg(shown, 0, 'f', 1));
    if (elapsed >= uvccamctl::kClipSeconds + uvccamctl::kClipSettleSeconds)
        finishRecording();
}

void MicrophonePanel::finishRecording()
{
    recording_ = false;
    clock_->stop();
    meter_->setValue(0);
    clip_ = uvccamctl::findClip(recordingStartedAt_);
    clipLabel_->setText(clip_.isEmpty() ? tr("(no clip was written)") : QDir::toNativeSeparators(clip_));
    if (clip_.isEmpty())
        status_.rejected(tr("Recording ended, but no clip was written to %1").arg(QDir::toNativeSeparators(QDir::tempPath())));
    else
        status_.say(tr("Recording ended: %1 (highest level %2 of %3)").arg(clip_).arg(highestLevel_).arg(uvccamctl::kFullScaleLevel));
    updateButtons();
    emit recordingEnded(clip_);
}

void MicrophonePanel::updateButtons()
{
    const bool selected = !device_.deviceUniqueId.isEmpty();
    record_->setEnabled(selected && !recording_);
    play_->setEnabled(selected && !recording_);
}

}  // namespace uvccamviewer
