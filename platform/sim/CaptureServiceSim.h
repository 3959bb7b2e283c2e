// The capture service over the simulated devices: enumeration, hot-plug and sessions.
#pragma once

#include "platform/CaptureService.h"
#include "platform/sim/PixelBufferSim.h"
#include "platform/sim/Simulator.h"

#include <map>
#include <memory>
#include <vector>

namespace uvccam::platform {

class CaptureDeviceSim : public CaptureDevice {
public:
    explicit CaptureDeviceSim(std::shared_ptr<SimulatedDevice> device) : device_(std::move(device)) {}

    QString uniqueID() const override { return device_->captureUniqueID(); }
    QString localizedName() const override { return device_->profile().productName; }
    QString modelID() const override;
    bool hasMediaType(MediaType type) const override;
    bool isConnected() const override { return device_->isAttached(); }

    const std::shared_ptr<SimulatedDevice>& simulatedDevice() const { return device_; }

private:
    std::shared_ptr<SimulatedDevice> device_;
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

// While it runs, a session's camera produces frames at its frame rate, each delivered on
// the run loop to every output's delegate. A delegate slower than the frame rate makes
// frames drop (the frame counter shows the gap), never queue.
class CaptureSessionSim : public CaptureSession {
public:
    explicit CaptureSessionSim(std::weak_ptr<Simulator> simulator) : simulator_(std::move(simulator)) {}
    ~CaptureSessionSim() override;

    void setSessionPreset(SessionPreset preset) override { preset_ = preset; }
    bool canAddInput(const CaptureDeviceInputPtr& input) const override;
    void addInput(const CaptureDeviceInputPtr& input) override;
    void addOutput(const VideoDataOutputPtr& output) override;
    void removeOutput(const VideoDataOutputPtr& output) override;
    void startRunning() override;
    void stopRunning() override;
    bool isRunning() const override { return running_; }

    SessionPreset preset() const { return preset_; }
    const std::vector<CaptureDeviceInputPtr>& inputs() const { return inputs_; }
    const std::vector<VideoDataOutputPtr>& outputs() const { return outputs_; }
    std::uint64_t framesDelivered() const { return framesDelivered_; }

private:
    void deliverFrame();
    std::shared_ptr<SimulatedDevice> camera() const;
    std::shared_ptr<PixelBufferSim> takeBuffer(std::size_t width, std::size_t height);

    std::weak_ptr<Simulator> simulator_;
    SessionPreset preset_ = SessionPreset::Photo;
    std::vector<CaptureDeviceInputPtr> inputs_;
    std::vector<VideoDataOutputPtr> outputs_;
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
    CaptureSessionPtr createSession() override;
    CaptureDeviceInputPtr deviceInputWithDevice(const CaptureDevicePtr& device) override;
    VideoDataOutputPtr createVideoDataOutput() override;

    // Every session made so far that is still alive, oldest first.
    std::vector<std::shared_ptr<CaptureSessionSim>> sessions() const;

private:
    struct Observers {
        std::map<ObserverId, Observer> byId;
        ObserverId nextId = 1;
    };

    CaptureDevicePtr captureDeviceFor(const std::shared_ptr<SimulatedDevice>& device);
    void announce(CaptureDeviceNotification::Name name, const std::shared_ptr<SimulatedDevice>& device);

    std::shared_ptr<Simulator> simulator_;
    Simulator::ListenerId listenerId_ = 0;
    // Shared with queued notifications, which must not outlive the service's observers.
    std::shared_ptr<Observers> observers_ = std::make_shared<Observers>();
    std::map<const SimulatedDevice*, CaptureDevicePtr> captureDevices_;
    std::vector<std::weak_ptr<CaptureSessionSim>> sessions_;
};

}  // namespace uvccam::platform
