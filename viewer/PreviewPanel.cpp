// Frames arrive on the main thread in the callback; each is copied and drawn from the event loop.
#include "PreviewPanel.h"

#include "DeviceDescription.h"
#include "StatusLine.h"
#include "FrameImage.h"

#include "UVCCam.h"
#include "UVCCamSimulation.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstring>

namespace uvccamviewer {

namespace {

// The library's frames are 640 by 360; shown at three quarters.
constexpr QSize kViewSize(480, 270);
// The rate is counted over about a second, which smooths out the frames' jitter.
constexpr double kRateWindowSeconds = 1.0;

}  // namespace

PreviewPanel::PreviewPanel(UVCCam& camera, StatusLine& status, QWidget* parent)
    : QGroupBox(tr("Preview"), parent),
      camera_(camera),
      status_(status),
      view_(new QLabel),
      rate_(new QLabel),
      startStop_(new QPushButton),
      snapshot_(new QPushButton(tr("Snapshot…")))
{
    view_->setObjectName(QStringLiteral("previewPicture"));
    view_->setFixedSize(kViewSize);
    view_->setScaledContents(true);
    view_->setAlignment(Qt::AlignCenter);
    view_->setStyleSheet(QStringLiteral("QLabel { background: black; color: gray; }"));
    view_->setText(tr("no camera selected"));
    rate_->setObjectName(QStringLiteral("frameRate"));
    startStop_->setObjectName(QStringLiteral("startStopPreview"));
    snapshot_->setObjectName(QStringLiteral("snapshot"));

    connect(startStop_, &QPushButton::clicked, this, [this] { streaming_ ? stop() : static_cast<void>(start()); });
    connect(snapshot_, &QPushButton::clicked, this, &PreviewPanel::chooseSnapshotFile);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(startStop_);
    buttons->addWidget(snapshot_);
    buttons->addWidget(rate_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    layout->addLayout(buttons);
    updateButtons();
}

PreviewPanel::~PreviewPanel()
{
    stop();
}

void PreviewPanel::showDevice(const DeviceInfo& device)
{
    stop();
    device_ = device;
    picture_ = QImage();
    view_->setPixmap(QPixmap());
    view_->setText(device.deviceUniqueId.isEmpty() ? tr("no camera selected")
                   : isCamera(device)           ? QString()
                                                : tr("a speakerphone has no picture"));
    if (isCamera(device))
        start();
    updateButtons();
}

bool PreviewPanel::start()
{
    if (streaming_)
        return true;
    // The callback is handed to the camera when the stream starts, so set it first.
    receiver_ = this;
    camera_.setVideoCallback(&PreviewPanel::receiveFrame);
    const int result = camera_.startVideoStream(0);
    if (result != 0) {
        camera_.setVideoCallback(nullptr);
        receiver_ = nullptr;
        status_.refused(QStringLiteral("startVideoStream(0)"), result);
        updateButtons();
        return false;
    }
    streaming_ = true;
    framesCounted_ = 0;
    framesDropped_ = 0;
    rateStart_ = -1;
    rate_->setText(tr("waiting for frames…"));
    updateButtons();
    return true;
}

void PreviewPanel::stop()
{
    if (!streaming_)
        return;
    // A camera that left has had its stream stopped by the library already; the result
    // says nothing then.
    camera_.stopVideoStream();
    camera_.setVideoCallback(nullptr);
    receiver_ = nullptr;
    streaming_ = false;
    rate_->setText(tr("stopped"));
    updateButtons();
}

bool PreviewPanel::saveSnapshot(const QString& path)
{
    if (picture_.isNull()) {
        status_.rejected(tr("Snapshot: no picture yet"));
        return false;
    }
    if (!picture_.save(path, "PNG")) {
        status_.rejected(tr("Snapshot: could not write %1").arg(path));
        return false;
    }
    status_.say(tr("Snapshot written to %1").arg(QDir::toNativeSeparators(path)));
    return true;
}

void PreviewPanel::receiveFrame(unsigned char* frame, int width, int height, int size)
{
    if (receiver_)
        receiver_->keepFrame(frame, width, height, size);
}

void PreviewPanel::keepFrame(const unsigned char* frame, int width, int height, int size)
{
    if (!frame || size <= 0)
        return;
    // The frame is valid only during the callback; copy it into the same buffer each time.
    pending_.resize(size);
    std::memcpy(pending_.data(), frame, static_cast<std::size_t>(size));
    pendingWidth_ = width;
    pendingHeight_ = height;
    measureRate();
    if (drawQueued_) {
        ++framesDropped_;
        return;
    }
    drawQueued_ = true;
    QMetaObject::invokeMethod(this, &PreviewPanel::showPendingFrame, Qt::QueuedConnection);
}

void PreviewPanel::showPendingFrame()
{
    drawQueued_ = false;
    if (!streaming_ || pending_.isEmpty())
        return;
    const QImage image = uvccamctl::imageFrom2vuy(pending_, pendingWidth_, pendingHeight_);
    if (image.isNull()) {
        status_.rejected(tr("Preview: a frame of %1 x %2 in %3 bytes cannot be shown")
                             .arg(pendingWidth_)
                             .arg(pendingHeight_)
                             .arg(pending_.size()));
        return;
    }
    picture_ = image;
    view_->setPixmap(QPixmap::fromImage(picture_));
    ++framesShown_;
    updateButtons();
    emit frameShown();
}

void PreviewPanel::measureRate()
{
    const double now = uvccam::sim::clockSeconds();
    if (rateStart_ < 0) {
        rateStart_ = now;
        return;
    }
    ++framesCounted_;
    const double elapsed = now - rateStart_;
    if (elapsed < kRateWindowSeconds)
        return;
    const double rate = framesCounted_ / elapsed;
    rate_->setText(tr("%1 frames/s, %2 × %3%4")
                       .arg(rate, 0, 'f', 1)
                       .arg(pendingWidth_)
                       .arg(pendingHeight_)
                       .arg(framesDropped_ ? tr(", %1 not drawn").arg(framesDropped_) : QString()));
    rateStart_ = now;
    framesCounted_ = 0;
    emit rateMeasured(rate);
}

void PreviewPanel::chooseSnapshotFile()
{
    const QString path = QFileDialog::getSaveFileName(this, tr("Save snapshot"), QDir::home().filePath(QStringLiteral("snapshot.png")),
                                                      tr("PNG images (*.png)"));
    if (!path.isEmpty())
        saveSnapshot(path);
}

void PreviewPanel::updateButtons()
{
    startStop_->setText(streaming_ ? tr("Stop") : tr("Start"));
    startStop_->setEnabled(isCamera(device_));
    snapshot_->setEnabled(!picture_.isNull());
}

}  // namespace uvccamviewer
