// One attached video capture device: identity, control map and frame hand-off.
#pragma once

#include "UVCCamCallbacks.h"
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
class MacCamera : public UVCCameraControl,
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

    // Standard controls, each through its entry in dev_uvc_controls. Every accessor first
    // asks the capture device whether it is connected; when it is not, nothing is sent, a
    // setter gives false, an integer getter kNotConnected and a yes/no getter false.
    // A connected camera whose control really holds 0xFFFF8000 reads the same
    // kNotConnected; a failed request reads as 0.
    static constexpr std::int32_t kNotConnected = -32768;

    std::int32_t getContrast();
    bool setContrast(std::int32_t value);
    std::int32_t getBrightness();
    bool setBrightness(std::int32_t value);
    std::int32_t getSharpness();
    bool setSharpness(std::int32_t value);
    std::int32_t getSaturation();
    bool setSaturation(std::int32_t value);
    std::int32_t getBackLightCompensation();
    bool setBackLightCompensation(std::int32_t value);
    std::int32_t getWhiteBalance();
    bool setWhiteBalance(std::int32_t value);
    // Yes when the control's current value is not 0.
    bool getAutoWhiteBalance();
    // Sends 1 for a non-zero flag byte, 0 for a zero one.
    bool setAutoWhiteBalance(std::uint8_t flag);
    std::int32_t getPan();
    bool setPan(std::int32_t value);
    std::int32_t getTilt();
    bool setTilt(std::int32_t value);
    std::int32_t getZoom();
    bool setZoom(std::int32_t value);
    std::int32_t getAbsoluteFocus();
    bool setAbsoluteFocus(std::int32_t value);
    // Yes when the control's current value is not 0.
    bool getAutoFocus();
    // Sends the flag byte as a signed value in the entry's width: 1 stays 1, a byte of
    // 0x80 or more becomes negative (0xFF is sent as -1).
    bool setAutoFocus(std::uint8_t flag);
    std::int32_t getExposure();
    bool setExposure(std::int32_t value);
    std::int32_t getPowerLineFrequency();
    bool setPowerLineFrequency(std::int32_t value);

    // The accessors by property number: 0 contrast, 1 brightness, 2 sharpness,
    // 3 saturation, 4 backlight compensation, 5 white balance, 6 automatic white balance,
    // 7 pan, 8 tilt, 9 zoom, 10 absolute focus, 11 automatic focus, 12 exposure,
    // 13 power-line frequency.
    // Stores the getter's result (1 or 0 for 6 and 11, else the integer, kNotConnected
    // included) and gives true; false with nothing stored or sent for a number outside
    // 0..13 or a null `value`.
    bool getPropertyByNumber(int number, std::int32_t* value);
    // The setter's result; for 6 and 11 the value's low byte is the flag. False with
    // nothing sent for a number outside 0..13.
    bool setPropertyByNumber(int number, std::int32_t value);

    UVCCameraControls dev_uvc_controls{};

private:
    MacCamera() = default;

    bool isConnected() const;
    std::int32_t getInteger(const UVCControlInfo& control);
    bool setInteger(std::int32_t value, const UVCControlInfo& control);

    uvccam::platform::CaptureDevicePtr captureDevice_;
    std::uint32_t _vendorId = 0;
    std::uint32_t _productId = 0;
    std::uint32_t _locationId = 0;
    QString _deviceName;
    QString _deviceUniqueID;
    uvccam::platform::PixelBufferPtr _pixelBuffer;
    VideoFrameCallback _videoCallback = nullptr;
};
