// The camera interface's implementation: forwards to the device core and emits signals.
#pragma once

#include "UVCCam.h"

// Only declared here: the header is the host's, for qobject_cast and the signals, and the
// core's own header reaches into the library's internals.
class MacUVCCamOC;
class MacUVCCam;

// The core every camera-interface object forwards to: the newest one made.
extern UVCCAM_EXPORT MacUVCCamOC* macUVCCamOC;
// The camera-interface object the core's callbacks emit through: the newest one made,
// or none once it has been destroyed.
extern UVCCAM_EXPORT MacUVCCam* calbackObject;

class UVCCAM_EXPORT MacUVCCam : public UVCCam {
    Q_OBJECT

public:
    // Makes a new device core, which starts up at once, makes it and this object the
    // ones in use, and then installs the device and hot-key callbacks.
    MacUVCCam();
    ~MacUVCCam() override;

    int setDevice(QString devicePath) override;
    int getExProperty(unsigned short selector, void* data, unsigned int length, int unitIndex) override;
    int setExProperty(unsigned short selector, void* data, unsigned int length, int unitIndex) override;
    int getProperty(int property, int* value) override;
    int setProperty(int property, int value, bool autoMode) override;
    int getUACHidProperty(unsigned short selector, void* data, unsigned int length) override;
    int setUACHidProperty(unsigned short selector, void* data, unsigned int length) override;
    int setExHidProperty(void* data, unsigned int length) override;
    int setExHidReport(void* data, unsigned int length, int mode) override;
    int getExHidReport(void* data, unsigned int length) override;
    int getPropertyRange(int property, int* min, int* max, int* def) override;
    int startVideoStream(unsigned int index) override;
    int stopVideoStream() override;
    int setVideoCallback(VideoFrameCallback callback) override;
    unsigned char* GetPixelBuffer() override;
    bool findDevice() override;
    void setProtocolMode(int mode) override;
    void setKeyboardConnected(bool connected) override;
    QList<DeviceInfo> getDeviceList() override;
    QString getDeviceSN() override;
    DeviceInfo getDeviceInfo() override;
    void resetCamResolution() override;
    int startAudioRecording(int, QString) override;
    int startAudioPlaying(QString) override;
    int getSpeakerVol() override;
    int getMicVol() override;

    // Offered to the host; the library does not call these itself.
    int init();
    void connectNewDevice();
    void setCurrentHidDevice();
    void removeDeviceWithUniqueID(char* uniqueId);
    void emitDeviceConnectedSignals();
    void emitDeviceChangedSignals();
    void emitDeviceRemovedSignals();
    void emitKeyPressed(int key);
    void emitUpdateVolume(float level);

    // In this order they are the signals' indices; the interface declares them in another.
Q_SIGNALS:
    void deviceAdd() override;
    void deviceRemove() override;
    void deviceChange() override;
    void updateVolume(int volume) override;
    void keyPressed(int key, bool pressed) override;
};
