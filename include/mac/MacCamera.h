// One attached video capture device: identity, control map and frame hand-off.
#pragma once

#include "UVCCamCallbacks.h"
#include "UVCCamExport.h"
#include "mac/UVCCameraControl.h"
#include "platform/CaptureService.h"

#include <QString>

#include <array>
#include <cstdint>
#include <memory>

// The standard controls of a camera, in this order.
struct UVCCameraControls {
    UVCControlInfo exposure;
    UVCControlInfo brightness;
    UVCControlInfo contrast;
    UVCControlInfo saturation;
    UVCControlInfo sharpness;
    UVCControlInfo whiteBalance;
    UVCControlInfo autoWhiteBalance;
    UVCControlInfo absoluteFocus;
    UVCControlInfo autoFocus;
    UVCControlInfo pan;
    UVCControlInfo tilt;
    UVCControlInfo zoom;
    UVCControlInfo powerLineFrequency;
    UVCControlInfo backLightCompensation;
};

// The RX710 (product ID 0x2574) numbers its processing unit 2 and has its own layout.
extern const UVCCameraControls uvc_controls_rx710;
// Every other camera.
extern const UVCCameraControls uvc_controls;

// A camera is also the USB control path to the same physical device, found by the USB
// location its unique ID carries.
class UVCCAM_EXPORT MacCamera : public UVCCameraControl,
                                public uvccam::platform::SampleBufferDelegate,
                                public std::enable_shared_from_this<MacCamera> {
public:
    static constexpr std::uint32_t kRx710ProductId = 0x2574;

    // A camera for the capture device, or nullptr when none can be made for it.
    static std::shared_ptr<MacCamera> initWithCaptureDevice(const uvccam::platform::CaptureDevicePtr& device);
    ~MacCamera() override;

    MacCamera(const MacCamera&) = delete;
    MacCamera& operator=(const MacCamera&) = delete;

    // A new session with this camera as its input, not started; nullptr when the camera
    // cannot be added to a session.
    uvccam::platform::CaptureSessionPtr createCaptureSession();

    // Frame delegate: hands each frame to the video callback, in place. A frame without
    // pixels, or too large to describe in 32 bits, is not handed over.
    void captureOutput(uvccam::platform::VideoDataOutput& output,
                       const uvccam::platform::PixelBufferPtr& didOutputSampleBuffer) override;

    const QString& deviceName() const { return _deviceName; }
    const QString& deviceUniqueID() const { return _deviceUniqueID; }
    std::uint32_t vendorId() const { return _vendorId; }
    std::uint32_t productId() const { return _productId; }
    // The USB location ID, read from the unique ID; the key to the camera's USB device.
    std::uint32_t locationId() const { return _locationId; }

    // The last frame's pixels; shared so that whoever reads them keeps them alive.
    const uvccam::platform::PixelBufferPtr& pixelBuffer() const { return _pixelBuffer; }
    void setPixelBuffer(uvccam::platform::PixelBufferPtr buffer) { _pixelBuffer = std::move(buffer); }

    VideoFrameCallback videoCallback() const { return _videoCallback; }
    void setVideoCallback(VideoFrameCallback callback) { _videoCallback = callback; }

    const uvccam::platform::CaptureDevicePtr& captureDevice() const { return captureDevice_; }

    UVCCameraControls dev_uvc_controls{};

private:
    MacCamera() = default;

    uvccam::platform::CaptureDevicePtr captureDevice_;
    std::uint32_t _vendorId = 0;
    std::uint32_t _productId = 0;
    std::uint32_t _locationId = 0;
    QString _deviceName;
    QString _deviceUniqueID;
    uvccam::platform::PixelBufferPtr _pixelBuffer;
    VideoFrameCallback _videoCallback = nullptr;
};
