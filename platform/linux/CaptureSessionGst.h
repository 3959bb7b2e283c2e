// A capture session over GStreamer: the camera's source to an appsink, frames to the outputs' delegates on the main thread.
#pragma once

#include "platform/CaptureService.h"
#include "platform/linux/VideoModeChoice.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

typedef struct _GstElement GstElement;
typedef struct _GstCaps GstCaps;
typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;
typedef struct _GstSample GstSample;
typedef struct _GstAppSink GstAppSink;

namespace uvccam::platform {

class FrameRelay;
class GstBusReader;
class AudioRecorderGst;
class AudioFileOutputGst;

// While it runs, the session is one pipeline:
//   camera ! camera-caps [! decode] [! scale] [! convert ! frame-caps] ! frames
// "camera" is the source (v4l2src on the camera's capture node in production),
// "camera-caps" holds it to the mode chooseCameraMode picked among the modes the source
// offers, the optional elements (jpegdec, videoscale, videoconvert) turn that mode into
// the output's frames and "frames" is an appsink. When the camera can give the wanted
// frames itself, the source links to the appsink through camera-caps alone.
//
// Frames: the appsink's callback runs on GStreamer's streaming thread and leaves the
// sample in a one-frame mailbox, replacing (and counting as dropped) any frame still
// waiting there, then asks the main thread once to empty it. So at most one frame waits
// for a slow receiver, and late frames are dropped, never queued. On the main thread the
// sample becomes a PixelBufferGst (the appsink's own buffer, mapped in place on lock) and
// reaches every output's delegate. Outputs are held by the session; their delegates weakly.
//
// The frames are those the newest output asks for (640 by 360 '2vuy' by default); every
// output with a delegate receives them. An output added while the session runs that asks
// for other frames rebuilds the pipeline.
//
// Errors: the pipeline's bus is read on the main thread through a socket notifier. The
// first error is logged once on `uvccam.linux.video` and ends the session (isRunning()
// false); nothing else of that pipeline is read. A camera whose node vanishes makes
// v4l2src report such an error; udev's removal (cameraLeft) ends the session the same way.
//
// Sound: a session may also hold one microphone. While it runs, the microphone has a
// pipeline of its own (AudioRecorderGst) beside the frames' one, which measures its level
// and writes the file of the session's file output (AudioFileOutputGst) when that output
// is asked to record; stopping the session ends the file completely before it returns. A
// microphone that fails or leaves ends the session as a camera does. A session with a
// microphone and no camera builds no frames' pipeline.
class CaptureSessionGst : public CaptureSession {
public:
    // Makes the element the frames come from: an element or bin with one "src" pad, given
    // the session's camera (nullptr when the session has none). It must answer a caps query
    // in the READY state with the modes it can really deliver, as v4l2src does after asking
    // the driver. nullptr when it cannot be made. Called at every start.
    using SourceFactory = std::function<GstElement*(const CaptureDevicePtr& camera)>;
    // Told each time the session starts running.
    using StartAnnouncer = std::function<void(const CaptureSessionGst&)>;
    // Makes the element a microphone's sound comes from (raw audio on one "src" pad), given
    // the session's microphone. nullptr when it cannot be made. Called at every start. The
    // capture service's factory opens the microphone's sound-server source with pulsesrc.
    using MicrophoneSourceFactory = std::function<GstElement*(const CaptureDevicePtr& microphone)>;

    // Production: v4l2src on the camera's capture node (CaptureDeviceV4l2::devnode()).
    static SourceFactory captureNodeSource();
    // Any source GStreamer can build from a launch description, whatever the camera: for
    // tests and for running without a camera. The last element must offer fixed modes, so a
    // camera is described as a source ending in a capsfilter ("videotestsrc is-live=true !
    // capsfilter caps=video/x-raw,format=YUY2,width=1280,height=720,framerate=30/1"; bare
    // caps link only between two elements).
    static SourceFactory describedSource(const QString& launchDescription);

    // Without a microphone source factory, a session cannot start with a microphone.
    explicit CaptureSessionGst(SourceFactory makeSource, StartAnnouncer announceStart = {},
                               MicrophoneSourceFactory makeMicrophoneSource = {});
    ~CaptureSessionGst() override;

    CaptureSessionGst(const CaptureSessionGst&) = delete;
    CaptureSessionGst& operator=(const CaptureSessionGst&) = delete;

    void setSessionPreset(SessionPreset preset) override { preset_ = preset; }
    // One camera and one microphone per session.
    bool canAddInput(const CaptureDeviceInputPtr& input) const override;
    void addInput(const CaptureDeviceInputPtr& input) override;
    void addOutput(const VideoDataOutputPtr& output) override;
    void removeOutput(const VideoDataOutputPtr& output) override;
    // The service's own file outputs, each in one session only.
    bool canAddOutput(const AudioFileOutputPtr& output) const override;
    void addOutput(const AudioFileOutputPtr& output) override;
    // Builds and plays the pipeline. Without a camera (and a source that needs one) the
    // session runs and delivers nothing, as the simulator's does.
    void startRunning() override;
    // Returns once GStreamer's streaming thread has stopped; a frame still waiting for the
    // main thread is dropped, so no delegate hears of a frame after this returns.
    void stopRunning() override;
    bool isRunning() const override { return running_; }

    // udev says `device` has gone: a session streaming from it ends, as on a bus error.
    void cameraLeft(const CaptureDevicePtr& device);
    // The sound server says `device` has gone: a session recording from it ends.
    void microphoneLeft(const CaptureDevicePtr& device);

    SessionPreset preset() const { return preset_; }
    CaptureDevicePtr camera() const;
    CaptureDevicePtr microphone() const;
    // The microphone's running pipeline (nullptr while stopped), for inspection.
    const AudioRecorderGst* recorder() const { return recorder_.get(); }
    const std::vector<VideoDataOutputPtr>& outputs() const { return outputs_; }
    // The running pipeline (nullptr while stopped), for inspection; the session owns it.
    GstElement* pipeline() const { return pipeline_; }
    // Frames handed to delegates (one per delegate call), on the main thread.
    std::uint64_t framesDelivered() const { return framesDelivered_; }
    // Frames the appsink handed over that no delegate saw: replaced while waiting for the
    // main thread, or still waiting at a stop. Safe from any thread.
    std::uint64_t framesDropped() const;
    // Whether a frame waits for the main thread (never more than one). Safe from any thread.
    bool frameWaiting() const;

private:
    friend class FrameRelay;
    static int onNewSample(GstAppSink* sink, void* session);

    FrameTarget wantedFrames() const;
    bool buildAndPlay();
    void failStart(const QString& reason);
    void readBus();
    void endWithError(GstMessage* error);
    void tearDown();
    void deliverWaitingFrame();
    bool startMicrophone();
    void stopMicrophone();
    void microphoneFailed();

    SourceFactory makeSource_;
    StartAnnouncer announceStart_;
    SessionPreset preset_ = SessionPreset::Photo;
    std::vector<CaptureDeviceInputPtr> inputs_;
    std::vector<VideoDataOutputPtr> outputs_;
    MicrophoneSourceFactory makeMicrophoneSource_;
    std::unique_ptr<AudioRecorderGst> recorder_;
    std::vector<std::shared_ptr<AudioFileOutputGst>> fileOutputs_;
    // Bumped when the microphone stops, so a failure reported late finds nothing to end.
    std::uint64_t microphoneGeneration_ = 0;
    bool running_ = false;
    FrameTarget activeTarget_;

    GstElement* pipeline_ = nullptr;
    GstBus* bus_ = nullptr;
    std::unique_ptr<GstBusReader> busReader_;
    // Lives on the main thread; the streaming thread posts deliveries to it.
    FrameRelay* relay_ = nullptr;
    bool delivering_ = false;
    // Bumped at every tear-down, so a delivery loop notices a stop made by a delegate.
    std::uint64_t generation_ = 0;
    std::uint64_t framesDelivered_ = 0;

    // The mailbox between the streaming thread and the main thread.
    mutable std::mutex mailboxMutex_;
    GstSample* waiting_ = nullptr;
    bool deliveryPosted_ = false;
    std::uint64_t framesDropped_ = 0;
};

// The modes a source's caps offer, for `target`: one per raw layout or JPEG, size and rate.
// Sizes given as ranges are taken at the target's size brought into the range; rates given
// as a list at their highest, as a range at 30 per second if it holds that (a test source
// or a continuous interval takes any rate), else its nearest end. Layers that are not raw
// video in system memory or JPEG (H.264, other memory) are left out.
std::vector<CameraMode> cameraModesFromCaps(const GstCaps* caps, const FrameTarget& target);

// GStreamer's raw layout for an output's pixel format; '2vuy' (and no format) is "UYVY".
FrameTarget frameTargetFor(const VideoSettings& settings);

}  // namespace uvccam::platform
