// The camera interface the host application programs against, and its factory.
#pragma once

#include "DeviceInfo.h"
#include "UVCCamCallbacks.h"
#include "UVCCamExport.h"

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>

// The abstract camera interface. The order of its virtual functions is the calling
// interface hosts are compiled against: new operations go at the end, never in between.
// It has no meta-object of its own; the signals are declared here as pure virtual
// functions and are real Qt signals of the implementation, so connect to the object that
// acquireUVCCam() returns by the signal signatures ("deviceAdd()", "keyPressed(int,bool)").
class UVCCAM_EXPORT UVCCam : public QObject {
public:
    ~UVCCam() override;

    // Selects the device with this unique ID (from getDeviceList): 1 when selected, else 0.
    virtual int setDevice(QString devicePath) = 0;
    // Vendor extension-unit properties: 0 on success, -1 on failure.
    virtual int getExProperty(unsigned short selector, void* data, unsigned int length, int unitIndex) = 0;
    virtual int setExProperty(unsigned short selector, void* data, unsigned int length, int unitIndex) = 0;
    // Standard camera controls by property number: 0 on success, -1 on failure.
    virtual int getProperty(int property, int* value) = 0;
    virtual int setProperty(int property, int value, bool autoMode) = 0;
    // Audio-class properties of a speakerphone, carried over vendor HID reports.
    virtual int getUACHidProperty(unsigned short selector, void* data, unsigned int length) = 0;
    virtual int setUACHidProperty(unsigned short selector, void* data, unsigned int length) = 0;
    // Raw vendor HID reports.
    virtual int setExHidProperty(void* data, unsigned int length) = 0;
    virtual int setExHidReport(void* data, unsigned int length, int mode) = 0;
    virtual int getExHidReport(void* data, unsigned int length) = 0;
    virtual int getPropertyRange(int property, int* min, int* max, int* def) = 0;
    // Video: frames reach the callback set with setVideoCallback on the main thread.
    virtual int startVideoStream(unsigned int index) = 0;
    virtual int stopVideoStream() = 0;
    virtual int setVideoCallback(VideoFrameCallback callback) = 0;
    virtual unsigned char* GetPixelBuffer() = 0;
    // True while the selected device is still attached.
    virtual bool findDevice() = 0;
    // Non-zero: vendor properties of extension unit 1 may travel over HID; 0: always UVC.
    virtual void setProtocolMode(int mode) = 0;
    // True registers the global hot keys, whose presses arrive as keyPressed(key, true).
    virtual void setKeyboardConnected(bool connected) = 0;
    virtual QList<DeviceInfo> getDeviceList() = 0;
    virtual QString getDeviceSN() = 0;
    virtual DeviceInfo getDeviceInfo() = 0;
    virtual void resetCamResolution() = 0;
    // Records a 10-second test clip from the selected device's microphone; levels arrive
    // as updateVolume(int). startAudioPlaying plays the clip back: 1 when asked, else -1.
    virtual int startAudioRecording(int, QString) = 0;
    virtual int startAudioPlaying(QString) = 0;
    // System output and input volume in percent.
    virtual int getSpeakerVol() = 0;
    virtual int getMicVol() = 0;

    // Signals.
    virtual void deviceAdd() = 0;
    virtual void deviceRemove() = 0;
    virtual void deviceChange() = 0;
    virtual void keyPressed(int key, bool pressed) = 0;
    virtual void updateVolume(int volume) = 0;
};

// Makes a new camera object; the caller owns it and deletes it. Every object controls the
// device core of the most recently made one.
UVCCAM_EXPORT UVCCam* acquireUVCCam();
