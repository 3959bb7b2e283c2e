// Video capture devices, their hot-plug notifications and capture sessions.
#pragma once

#include <QList>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace uvccam::platform {

enum class MediaType { Video, Audio };

// One capture device as the operating system lists it.
// uniqueID of a USB camera: "0x", the USB location ID in hexadecimal, then the vendor and
// product IDs in four hexadecimal digits each ("0x141000002a3b2574").
// modelID of a USB video-class camera: "UVC Camera VendorID_<decimal> ProductID_<decimal>".
class CaptureDevice {
public:
    virtual ~CaptureDevice() = default;
    virtual QString uniqueID() const = 0;
    virtual QString localizedName() const = 0;
    virtual QString modelID() const = 0;
    virtual bool hasMediaType(MediaType type) const = 0;
    virtual bool isConnected() const = 0;
};

using CaptureDevicePtr = std::shared_ptr<CaptureDevice>;

struct CaptureDeviceNotification {
    enum class Name { WasConnected, WasDisconnected };
    Name name;
    CaptureDevicePtr object;  // the device concerned
};

// A frame's pixels. The base address is valid only between lock and unlock.
class PixelBuffer {
public:
    virtual ~PixelBuffer() = default;
    virtual void lockBaseAddress() = 0;
    virtual void unlockBaseAddress() = 0;
    virtual std::uint8_t* baseAddress() = 0;
    virtual std::size_t bytesPerRow() const = 0;
    virtual std::size_t width() const = 0;
    virtual std::size_t height() const = 0;
};

using PixelBufferPtr = std::shared_ptr<PixelBuffer>;

class VideoDataOutput;

// Receives the frames of a video data output, on the main thread.
class SampleBufferDelegate {
public:
    virtual ~SampleBufferDelegate() = default;
    virtual void captureOutput(VideoDataOutput& output, const PixelBufferPtr& didOutputSampleBuffer) = 0;
};

// Pixel format four-character code '2vuy': packed 4:2:2 Y'CbCr, 8 bits per component.
constexpr std::uint32_t kPixelFormat2vuy = 0x32767579;

struct VideoSettings {
    int width = 0;
    int height = 0;
    std::uint32_t pixelFormat = 0;
    bool operator==(const VideoSettings& other) const
    {
        return width == other.width && height == other.height && pixelFormat == other.pixelFormat;
    }
};

// Hands the frames of a session to a delegate. The delegate is held weakly: frames for a
// delegate that has gone are dropped.
class VideoDataOutput {
public:
    virtual ~VideoDataOutput() = default;
    virtual void setVideoSettings(const VideoSettings& settings) = 0;
    virtual VideoSettings videoSettings() const = 0;
    virtual void setAlwaysDiscardsLateVideoFrames(bool discard) = 0;
    virtual bool alwaysDiscardsLateVideoFrames() const = 0;
    // Frames are delivered on the main queue; an empty pointer detaches.
    virtual void setSampleBufferDelegate(std::weak_ptr<SampleBufferDelegate> delegate) = 0;
    virtual std::shared_ptr<SampleBufferDelegate> sampleBufferDelegate() const = 0;
};

using VideoDataOutputPtr = std::shared_ptr<VideoDataOutput>;

class CaptureDeviceInput {
public:
    virtual ~CaptureDeviceInput() = default;
    virtual CaptureDevicePtr device() const = 0;
};

using CaptureDeviceInputPtr = std::shared_ptr<CaptureDeviceInput>;

enum class SessionPreset { Photo };

// One channel of a capture connection, with its loudness over the last moments.
struct AudioChannel {
    float averagePowerLevel = 0;  // decibels relative to full scale; minus infinity for silence
};

struct CaptureConnection {
    std::vector<AudioChannel> audioChannels;
};

class AudioFileOutput;

// Told when a file recording has ended (its session stopped), on the main thread.
class FileOutputRecordingDelegate {
public:
    virtual ~FileOutputRecordingDelegate() = default;
    // `error` is none when the file was written completely.
    virtual void captureOutput(AudioFileOutput& output, const QString& didFinishRecordingToOutputFileAtURL,
                               const std::vector<CaptureConnection>& fromConnections, const QString* error) = 0;
};

enum class AudioFileType { AppleM4A };

// Records a session's sound into a file: AAC in an MPEG-4 container for AppleM4A.
class AudioFileOutput {
public:
    virtual ~AudioFileOutput() = default;
    virtual std::vector<CaptureConnection> connections() const = 0;
    // Starts writing to `path` when the session runs; the recording ends with the session.
    virtual void startRecordingToOutputFileURL(const QString& path, AudioFileType type,
                                               std::weak_ptr<FileOutputRecordingDelegate> recordingDelegate) = 0;
    virtual bool isRecording() const = 0;
    virtual QString description() const = 0;
};

using AudioFileOutputPtr = std::shared_ptr<AudioFileOutput>;

class CaptureSession {
public:
    virtual ~CaptureSession() = default;
    virtual void setSessionPreset(SessionPreset preset) = 0;
    virtual bool canAddInput(const CaptureDeviceInputPtr& input) const = 0;
    virtual void addInput(const CaptureDeviceInputPtr& input) = 0;
    virtual void addOutput(const VideoDataOutputPtr& output) = 0;
    virtual void removeOutput(const VideoDataOutputPtr& output) = 0;
    virtual bool canAddOutput(const AudioFileOutputPtr& output) const = 0;
    virtual void addOutput(const AudioFileOutputPtr& output) = 0;
    virtual void startRunning() = 0;
    virtual void stopRunning() = 0;
    virtual bool isRunning() const = 0;
};

using CaptureSessionPtr = std::shared_ptr<CaptureSession>;

// The operating system's video capture service. Notifications are delivered on the main
// run loop to the observers registered when the device came or went.
class CaptureService {
public:
    using Observer = std::function<void(const CaptureDeviceNotification&)>;
    using ObserverId = std::uint64_t;

    virtual ~CaptureService() = default;

    // All devices present now that offer the media type, in a stable order.
    virtual QList<CaptureDevicePtr> devicesWithMediaType(MediaType type) = 0;

    virtual ObserverId addObserver(Observer observer) = 0;
    virtual void removeObserver(ObserverId id) = 0;

    // The system's default device of the type, or nullptr.
    virtual CaptureDevicePtr defaultDeviceWithMediaType(MediaType type) = 0;

    virtual CaptureSessionPtr createSession() = 0;
    // nullptr when the device cannot be opened for capture; `error`, when given, then
    // says why.
    virtual CaptureDeviceInputPtr deviceInputWithDevice(const CaptureDevicePtr& device, QString* error = nullptr) = 0;
    virtual VideoDataOutputPtr createVideoDataOutput() = 0;
    virtual AudioFileOutputPtr createAudioFileOutput() = 0;

    // Told, on the main run loop, each time any capture session of the process starts
    // running; the description names the session.
    using SessionStartObserver = std::function<void(const QString& notificationDescription)>;
    virtual ObserverId addSessionStartObserver(SessionStartObserver observer) = 0;
    virtual void removeSessionStartObserver(ObserverId id) = 0;
};

}  // namespace uvccam::platform
