// The capture service over the simulated devices: enumeration, hot-plug and sessions.
#pragma once

#include "platform/CaptureService.h"
#include "platform/ObserverList.h"
#include "platform/sim/PixelBufferSim.h"
#include "platform/sim/Simulator.h"

#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace uvccam::platform {

// One function of a simulated device as a capture device: a camera's video, or the
// microphone of a camera or speakerphone. A camera thus shows up as two capture devices.
class CaptureDeviceSim : public CaptureDevice {
public:
    enum class Function { Video, Microphone };

    CaptureDeviceSim(std::shared_ptr<SimulatedDevice> device, Function function)
        : device_(std::move(device)), function_(function)
    {
    }

    QString uniqueID() const override;
    QString localizedName() const override;
    QString modelID() const override;
    bool hasMediaType(MediaType type) const override;
    bool isConnected() const override { return device_->isAttached(); }

    const std::shared_ptr<SimulatedDevice>& simulatedDevice() const { return device_; }
    Function function() const { return function_; }

private:
    std::shared_ptr<SimulatedDevice> device_;
    Function function_;
};

// The computer's own microphone: always present, the default audio input.
class BuiltInMicrophoneSim : public CaptureDevice {
public:
    static constexpr const char* kUniqueID = "BuiltInMicrophoneDevice";

    QString uniqueID() const override { return QLatin1String(kUniqueID); }
    QString localizedName() const override { return QStringLiteral("Built-in Microphone"); }
    QString modelID() const override { return QStringLiteral("Built-in Audio"); }
    bool hasMediaType(MediaType type) const override { return type == MediaType::Audio; }
    bool isConnected() const override { return true; }
};

class VideoDataOutputSim : public VideoDataOutput {
public:
    void setVideoSettings(const VideoSettings& settings) override { settings_ = settings; }
    VideoSettings videoSettings() const override { return settings_; }
    void setAlwaysDiscardsLateVideoFrames(bool discard) override { discardsLateFrames_ = discard; }
    bool alwaysDiscardsLateVideoFrames() const override { return discardsLateFrames_; }
    void setSampleBufferDelegate(std::weak_ptr<SampleBufferDelegate> delegate) override { delegate_ = std::move(delegate); }
    std::shared_ptr<SampleBufferDelegate> sampleBufferDelegate() const override { return delegate_.lock(); }

private:
    VideoSettings settings_;
    bool discardsLateFrames_ = false;
    std::weak_ptr<SampleBufferDelegate> delegate_;
};

class CaptureDeviceInputSim : public CaptureDeviceInput {
public:
    explicit CaptureDeviceInputSim(CaptureDevicePtr device) : device_(std::move(device)) {}
    CaptureDevicePtr device() const override { return device_; }

private:
    CaptureDevicePtr device_;
};

class CaptureSessionSim;

// Records what the session's microphone hears from the moment it is asked to (or the
// session starts, if later) until the session stops; then synthesises that much sound (a
// tone at the microphone's level), writes the M4A file for real and tells the delegate on
// the run loop. A request for the file already being written is ignored; one for
// another file ends the current recording first.
class AudioFileOutputSim : public AudioFileOutput, public std::enable_shared_from_this<AudioFileOutputSim> {
public:
    static constexpr int kSampleRate = 16000;  // mono: a test recording need not sound good

    explicit AudioFileOutputSim(std::weak_ptr<Simulator> simulator) : simulator_(std::move(simulator)) {}

    // One connection of two channels while the session has a microphone; none otherwise.
    std::vector<CaptureConnection> connections() const override;
    void startRecordingToOutputFileURL(const QString& path, AudioFileType type,
                                       std::weak_ptr<FileOutputRecordingDelegate> recordingDelegate) override;
    bool isRecording() const override { return recording_; }
    QString description() const override;

    // Called by the session that owns the output.
    void setSession(const CaptureSessionSim* session) { session_ = session; }
    void sessionStarted();
    void sessionStopped();

    const CaptureSessionSim* session() const { return session_; }

private:
    bool sessionRunning() const;
    void beginRecording();
    void finishRecording();

    std::weak_ptr<Simulator> simulator_;
    const CaptureSessionSim* session_ = nullptr;
    QString path_;
    std::weak_ptr<FileOutputRecordingDelegate> delegate_;
    bool requested_ = false;
    bool recording_ = false;
    TimePoint recordingSince_{};
};

// While it runs, a session's camera produces frames at its frame rate, each delivered on
// the run loop to every output's delegate. A delegate slower than the frame rate makes
// frames drop (the frame counter shows the gap), never queue.
class CaptureSessionSim : public CaptureSession {
public:
    // Told each time the session starts running.
    using StartAnnouncer = std::function<void(const CaptureSessionSim&)>;

    explicit CaptureSessionSim(std::weak_ptr<Simulator> simulator, StartAnnouncer announceStart = {})
        : simulator_(std::move(simulator)), announceStart_(std::move(announceStart))
    {
    }
    ~CaptureSessionSim() override;

    void setSessionPreset(SessionPreset preset) override { preset_ = preset; }
    bool canAddInput(const CaptureDeviceInputPtr& input) const override;
    void addInput(const CaptureDeviceInputPtr& input) override;
    void addOutput(const VideoDataOutputPtr& output) override;
    void removeOutput(const VideoDataOutputPtr& output) override;
    bool canAddOutput(const AudioFileOutputPtr& output) const override;
    void addOutput(const AudioFileOutputPtr& output) override;
    void startRunning() override;
    void stopRunning() override;
    bool isRunning() const override { return running_; }

    SessionPreset preset() const { return preset_; }
    const std::vector<CaptureDeviceInputPtr>& inputs() const { return inputs_; }
    const std::vector<VideoDataOutputPtr>& outputs() const { return outputs_; }
    std::uint64_t framesDelivered() const { return framesDelivered_; }
    const std::vector<std::shared_ptr<AudioFileOutputSim>>& audioOutputs() const { return audioOutputs_; }
    // The first input that hears sound, or nullptr.
    CaptureDevicePtr microphone() const;
    // Loudness of a simulated microphone in decibels relative to full scale.
    static double levelOf(const CaptureDevicePtr& microphone, const Simulator* simulator);

private:
    void deliverFrame();
    std::shared_ptr<SimulatedDevice> camera() const;
    std::shared_ptr<PixelBufferSim> takeBuffer(std::size_t width, std::size_t height);

    std::weak_ptr<Simulator> simulator_;
    StartAnnouncer announceStart_;
    SessionPreset preset_ = SessionPreset::Photo;
    std::vector<CaptureDeviceInputPtr> inputs_;
    std::vector<VideoDataOutputPtr> outputs_;
    std::vector<std::shared_ptr<AudioFileOutputSim>> audioOutputs_;
    bool running_ = false;
    RunLoop::TimerId frameTimer_ = 0;
    std::uint64_t framesDelivered_ = 0;
    // Buffers are reused once nobody but the pool holds them, so frames cost no allocation.
    std::vector<std::shared_ptr<PixelBufferSim>> pool_;
};

class CaptureServiceSim : public CaptureService {
public:
    explicit CaptureServiceSim(std::shared_ptr<Simulator> simulator);
    ~CaptureServiceSim() override;

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

    // Every session made so far that is still alive, oldest first.
    std::vector<std::shared_ptr<CaptureSessionSim>> sessions() const;

private:
    using Function = CaptureDeviceSim::Function;
    CaptureDevicePtr captureDeviceFor(const std::shared_ptr<SimulatedDevice>& device, Function function);
    void announce(CaptureDeviceNotification::Name name, const std::shared_ptr<SimulatedDevice>& device);

    std::shared_ptr<Simulator> simulator_;
    Simulator::ListenerId listenerId_ = 0;
    ObserverList<Observer> observers_;
    // Shared with the sessions, which may outlive the service.
    std::shared_ptr<ObserverList<SessionStartObserver>> sessionStartObservers_ =
        std::make_shared<ObserverList<SessionStartObserver>>();
    std::map<std::pair<const SimulatedDevice*, Function>, CaptureDevicePtr> captureDevices_;
    CaptureDevicePtr builtInMicrophone_ = std::make_shared<BuiltInMicrophoneSim>();
    std::vector<std::weak_ptr<CaptureSessionSim>> sessions_;
};

}  // namespace uvccam::platform
