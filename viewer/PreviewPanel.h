// The selected camera's live picture, its measured frame rate and a PNG snapshot.
#pragma once

#include "DeviceInfo.h"

#include <QByteArray>
#include <QGroupBox>
#include <QImage>

class QLabel;
class QPushButton;
class UVCCam;

namespace uvccamviewer {

class StatusLine;

class PreviewPanel : public QGroupBox {
    Q_OBJECT

public:
    PreviewPanel(UVCCam& camera, StatusLine& status, QWidget* parent = nullptr);
    ~PreviewPanel() override;

    // Streams a camera; stops for a speakerphone or none.
    void showDevice(const DeviceInfo& device);
    bool start();
    void stop();
    // Writes the picture shown as PNG; false (and a status message) when there is none.
    bool saveSnapshot(const QString& path);

    bool isStreaming() const { return streaming_; }
    int framesShown() const { return framesShown_; }
    const QImage& picture() const { return picture_; }
    // The widget the picture is drawn in.
    QLabel* pictureView() const { return view_; }

signals:
    void frameShown();
    // The frame rate has been measured (about a second after the stream started) and shown.
    void rateMeasured(double framesPerSecond);

private:
    static void receiveFrame(unsigned char* frame, int width, int height, int size);
    void keepFrame(const unsigned char* frame, int width, int height, int size);
    void showPendingFrame();
    void measureRate();
    void chooseSnapshotFile();
    void updateButtons();

    // The library calls back through a plain function, so the panel is reached through
    // this pointer; only one panel streams at a time.
    static inline PreviewPanel* receiver_ = nullptr;

    UVCCam& camera_;
    StatusLine& status_;
    QLabel* view_;
    QLabel* rate_;
    QPushButton* startStop_;
    QPushButton* snapshot_;
    DeviceInfo device_;
    bool streaming_ = false;

    // The newest frame not yet drawn. A frame that arrives before the last one was drawn
    // replaces it: the picture drops frames rather than fall behind the camera.
    QByteArray pending_;
    int pendingWidth_ = 0;
    int pendingHeight_ = 0;
    bool drawQueued_ = false;

    QImage picture_;
    int framesShown_ = 0;
    // Frames received since rateStart_ (on the library's clock, so that the rate is the
    // camera's on the simulator's virtual clock as on hardware).
    int framesCounted_ = 0;
    double rateStart_ = -1;
    int framesDropped_ = 0;
};

}  // namespace uvccamviewer
