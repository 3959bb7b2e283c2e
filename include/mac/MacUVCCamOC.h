// The device core: the selected device, its capture objects, and every camera operation.
#pragma once

#include "DeviceInfo.h"
#include "UVCCamCallbacks.h"
#include "mac/MacCamera.h"
#include "mac/MacHidDevice.h"
#include "platform/CaptureService.h"

#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class MacCameraManager;
class MacHidDeviceManager;
class MacHotKeyManager;
class MacAudioMgr;

// Copies a platform string's UTF-16 code units into a QString; none gives an empty one.
QString qt_mac_NSStringToQString(const QString* string);

// One core exists per camera-interface object; the newest one is the one in use. It
// runs on the host's main thread only. Its operations are virtual so that the facade's
// forwarding can be observed.
class MacUVCCamOC {
public:
    MacUVCCamOC();
    virtual ~MacUVCCamOC();

    MacUVCCamOC(const MacUVCCamOC&) = delete;
    MacUVCCamOC& operator=(const MacUVCCamOC&) = delete;

    // Start-up: takes the managers and selects the first camera of the maker when its
    // model is known. 0 when a camera was selected, -1 otherwise.
    virtual int init();

    // Non-zero: HID mode (the default); 0: UVC mode.
    virtual void setProtocolMode(int mode);

    // Each setter refuses none with -1 and changes nothing; otherwise it stores the
    // function, hands it to its manager and returns 0.
    virtual int setVideoCallback(VideoFrameCallback callback);
    virtual int setAudioCallback(AudioLevelCallback callback);
    virtual int setDeviceConnectedCallback(DeviceIdCallback callback);
    virtual int setDeviceDisconnectedCallback(DeviceIdCallback callback);
    virtual int setHidDeviceReadyCallback(HidReadyCallback callback);
    virtual int setHidDeviceRemoveCallback(DeviceIdCallback callback);
    virtual int setHotKeyCallback(HotKeyCallback callback);

    // Device list.
    virtual QList<DeviceInfo> getDeviceList();
    virtual bool findDevice();

    // Selection and hot-plug.
    virtual int setDevice(QString devicePath);
    virtual void connectNewDevice();
    virtual void removeDeviceWithUniqueID(char* uniqueId);
    virtual void setCurrentHidDevice();
    virtual void resetCamResolution();

    // Streaming, audio, hot keys and volume.
    virtual int startVideoStream(unsigned int index);
    virtual int stopVideoStream();
    virtual unsigned char* GetPixelBuffer();
    virtual QString getCameraSerialNum();
    virtual int startAudioRecording(int, QString);
    virtual int startAudioPlaying(QString);
    virtual void registerHotKey();
    virtual void unregisterHotKey();
    virtual int getSpeakerVol();
    virtual int getMicVol();

    // Device control.
    virtual int getExProperty(unsigned short selector, void* data, unsigned int length, int unitIndex);
    virtual int setExProperty(unsigned short selector, void* data, unsigned int length, int unitIndex);
    virtual int getProperty(int property, int* value);
    virtual int setProperty(int property, int value, bool autoMode);
    virtual int getPropertyRange(int property, int* min, int* max, int* def);
    virtual int getUACHidProperty(unsigned short selector, void* data, unsigned int length);
    virtual int setUACHidProperty(unsigned short selector, void* data, unsigned int length);
    virtual int setExHidProperty(void* data, unsigned int length);
    virtual int setExHidReport(void* data, unsigned int length, int mode);
    virtual int getExHidReport(void* data, unsigned int length);

    // The vendor property report over HID: 0x08, command (0x10, or 0x11 for an audio
    // property), selector, value. setHidProperty sends one; getHidProperty reads the next
    // answer (with retries) and copies its payload.
    virtual int setHidProperty(unsigned short selector, void* data, unsigned int length, bool uacCmd);
    virtual int getHidProperty(unsigned short selector, void* data, unsigned int length, bool uacCmd);

    // Fields, in their declared order. References to the managers are plain: they live
    // for the rest of the process. Devices are shared with their manager's list.
    MacCameraManager* cameraManager = nullptr;
    std::shared_ptr<MacCamera> currentCamera;
    MacHidDeviceManager* hidManager = nullptr;
    std::shared_ptr<MacHidDevice> currentHidDevice;
    // The audio manager is the process's, and any core may dispose of it: held weakly so
    // that no core, task or callback reaches one that is gone.
    std::weak_ptr<MacAudioMgr> audioMgr;
    uvccam::platform::CaptureSessionPtr captureSession;
    uvccam::platform::VideoDataOutputPtr videoOutput;
    // Shared, so that a frame copy never reads a buffer the capture chain has released.
    uvccam::platform::PixelBufferPtr pixelBuffer;
    VideoFrameCallback videoCallback = nullptr;
    AudioLevelCallback audioCallback = nullptr;
    DeviceIdCallback deviceConnectedCallback = nullptr;
    DeviceIdCallback deviceDisconnectedCallback = nullptr;
    HidReadyCallback hidDeviceReadyCallback = nullptr;
    DeviceIdCallback hidDeviceRemoveCallback = nullptr;
    HotKeyCallback hotKeyCallback = nullptr;
    MacHotKeyManager* hotKeyManager = nullptr;
    std::int32_t videoWidth = 640;
    std::int32_t videoHeight = 360;
    std::uint32_t cameraCount = 0;
    bool isStreaming = false;
    bool deviceReady = false;
    bool protocolMode = true;
    bool hidDeviceSelected = false;
    bool audioStarted = false;
    std::int32_t deviceId = -1;
    QString modelName;
    QString deviceUniqueId;

private:
    bool isSpeakerphoneModel() const;
    bool isLowUnitCamera() const;
    std::int32_t extensionUnitId(int unitIndex) const;
    bool takesHidRoute(unsigned short selector, int unitIndex) const;
    // Sends a 512-byte property report; logs and fails without a HID device.
    bool sendPropertyReport(std::uint8_t command, unsigned short selector, const void* value, std::size_t length);
    // Sends a caller-built report as it is.
    bool sendRawReport(const void* data, unsigned int length);
    bool readHidAnswer(std::uint8_t* area);
    std::uint32_t refreshCameraCount();
    // Takes the shared audio manager into audioMgr and starts a clip from the microphone
    // that `uniqueId` and `serialNo` choose.
    void recordFrom(const QString* uniqueId, const QString* serialNo);
    // Disposes of the shared audio manager if it is still the one this core holds.
    void disposeAudioManager();
    void releaseCaptureObjects();
    void buildCaptureObjects();
    void attachVideoOutput();
    QString locationKeyOf(const MacCamera& camera) const;

    // The frame copy that GetPixelBuffer hands out; replaced at the next call.
    std::vector<unsigned char> pixelCopy_;
};
