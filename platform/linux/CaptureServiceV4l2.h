// Video capture devices on Linux: the video4linux capture nodes of USB cameras, listed and followed through udev.
#pragma once

#include "platform/CaptureService.h"
#include "platform/ObserverList.h"
#include "platform/RunLoop.h"
#include "platform/linux/AudioSourcesPulse.h"
#include "platform/linux/CaptureSessionGst.h"
#include "platform/linux/UdevWatcher.h"

#include <map>
#include <memory>
#include <vector>

namespace uvccam::platform {

// One camera's video capture node. The identity texts are made once, at arrival, from the
// USB device above the node: after an unplug sysfs has nothing left to read, and the
// library still compares the departed device's unique ID with its list.
class CaptureDeviceV4l2 : public CaptureDevice {
public:
    // A video4linux record of a node on USB; nullptr for a node without a USB device above
    // it or without a location (its unique ID could not name a port).
    static std::shared_ptr<CaptureDeviceV4l2> fromRecord(const UdevRecord& record);
    // Whether a video4linux record is a node that captures video. uvcvideo makes a capture
    // node and a metadata node per camera; udev's "capture" word in ID_V4L_CAPABILITIES
    // marks the first only, and without udev's word the node itself is asked.
    static bool capturesVideo(const UdevRecord& record);

    QString uniqueID() const override { return uniqueID_; }
    QString localizedName() const override { return localizedName_; }
    QString modelID() const override { return modelID_; }
    bool hasMediaType(MediaType type) const override { return type == MediaType::Video; }
    bool isConnected() const override { return connected_; }

    const QString& syspath() const { return syspath_; }
    const QString& devnode() const { return devnode_; }
    void markDisconnected() { connected_ = false; }

private:
    CaptureDeviceV4l2() = default;

    QString syspath_;
    QString devnode_;
    QString uniqueID_;
    QString modelID_;
    QString localizedName_;
    bool connected_ = true;
};

// A listed camera as a session's input.
class CaptureDeviceInputV4l2 : public CaptureDeviceInput {
public:
    explicit CaptureDeviceInputV4l2(CaptureDevicePtr device) : device_(std::move(device)) {}
    CaptureDevicePtr device() const override { return device_; }

private:
    CaptureDevicePtr device_;
};

// The capture service over video4linux and the sound server. A camera's capture node is listed; uvcvideo's
// metadata node beside it, and nodes that are not on USB, are not. The list is taken once
// at creation and then follows udev's arrivals and removals, so a device appears in the
// list exactly when its WasConnected notification is made (and an observer registered
// later learns of it from the list instead), and a departed device is the same object the
// list held. Sessions are GStreamer pipelines (CaptureSessionGst) and outputs
// VideoDataOutputGst; a camera that udev removes ends the sessions streaming from it.
// Audio devices are the sound server's input sources (AudioSourcesPulse), with the same
// rule for the list and the notifications; sessions record them through pulsesrc into
// AudioFileOutputGst outputs, and a source the server removes ends the sessions recording
// from it. Without the sound server there are no audio devices.
class CaptureServiceV4l2 : public CaptureService {
public:
    // Without a watcher (no udev) nothing is listed. Notifications are queued on `runLoop`.
    // Sessions take their frames from `makeSource`: v4l2src on the camera's capture node
    // unless a test or a host gives another source (CaptureSessionGst::describedSource).
    // Microphones come from the list `makeMicrophones` makes when audio devices are first
    // asked for (none without it), so a program that never records never speaks to the
    // sound server; sessions record them from `makeMicrophoneSource`: pulsesrc on the
    // device's source unless another is given.
    using MicrophoneListFactory = std::function<std::unique_ptr<AudioSourcesPulse>()>;
    CaptureServiceV4l2(std::shared_ptr<UdevWatcher> watcher, RunLoop& runLoop,
                       CaptureSessionGst::SourceFactory makeSource = CaptureSessionGst::captureNodeSource(),
                       MicrophoneListFactory makeMicrophones = {},
                       CaptureSessionGst::MicrophoneSourceFactory makeMicrophoneSource = soundServerSource());
    // pulsesrc on a CaptureDevicePulse's source.
    static CaptureSessionGst::MicrophoneSourceFactory soundServerSource();
    ~CaptureServiceV4l2() override;

    CaptureServiceV4l2(const CaptureServiceV4l2&) = delete;
    CaptureServiceV4l2& operator=(const CaptureServiceV4l2&) = delete;

    QList<CaptureDevicePtr> devicesWithMediaType(MediaType type) override;
    ObserverId addObserver(Observer observer) override;
    void removeObserver(ObserverId id) override;
    CaptureDevicePtr defaultDeviceWithMediaType(MediaType type) override;
    CaptureSessionPtr createSession() override;
    CaptureDeviceInputPtr deviceInputWithDevice(const CaptureDevicePtr& device, QString* error = nullptr) override;
    VideoDataOutputPtr createVideoDataOutput() override;
    AudioFileOutputPtr createAudioFileOutput() override;
    ObserverId addSessionStartObserver(SessionStartObserver observer) override;
    void removeSessionStartObserver(ObserverId id) override;

private:
    void arrived(const UdevRecord& record);
    void left(const UdevRecord& record);
    void announce(CaptureDeviceNotification::Name name, const CaptureDevicePtr& device);
    // The microphones' list, made at the first call; nullptr without a factory.
    AudioSourcesPulse* microphones();
    void microphoneChanged(CaptureDeviceNotification::Name name, const std::shared_ptr<CaptureDevicePulse>& device);

    std::shared_ptr<UdevWatcher> watcher_;
    RunLoop& runLoop_;
    UdevWatcher::ListenerId listenerId_ = 0;
    std::vector<std::shared_ptr<CaptureDeviceV4l2>> devices_;  // in listing order
    ObserverList<Observer> observers_;
    CaptureSessionGst::SourceFactory makeSource_;
    MicrophoneListFactory makeMicrophones_;
    std::unique_ptr<AudioSourcesPulse> microphones_;
    CaptureSessionGst::MicrophoneSourceFactory makeMicrophoneSource_;
    // Shared with the sessions, which may outlive the service.
    std::shared_ptr<ObserverList<SessionStartObserver>> sessionStartObservers_ =
        std::make_shared<ObserverList<SessionStartObserver>>();
    std::vector<std::weak_ptr<CaptureSessionGst>> sessions_;
};

}  // namespace uvccam::platform
