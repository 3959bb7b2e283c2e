// The one shared list of attached cameras, kept current as cameras come and go.
#pragma once

#include "UVCCamCallbacks.h"
#include "UVCCamExport.h"
#include "mac/MacCamera.h"
#include "platform/CaptureService.h"

#include <QList>

#include <memory>

// Optional observer of the camera list, for the host; the library sets none.
class UVCCAM_EXPORT MacCameraManagerDelegate {
public:
    virtual ~MacCameraManagerDelegate();
    virtual void cameraDidConnected(MacCamera* camera);
    virtual void cameraDidRemoved(MacCamera* camera);
};

class MacCameraManager {
public:
    using CameraList = QList<std::shared_ptr<MacCamera>>;

    // The process's manager, made with its camera list on first use.
    static MacCameraManager* sharedInstance();
    ~MacCameraManager();

    MacCameraManager(const MacCameraManager&) = delete;
    MacCameraManager& operator=(const MacCameraManager&) = delete;

    // A camera for a device that offers video; nullptr otherwise.
    std::shared_ptr<MacCamera> createCameraWithCaptureDevice(const uvccam::platform::CaptureDevicePtr& device);
    // Handles one connection or disconnection notification.
    void updateCameraStatus(const uvccam::platform::CaptureDeviceNotification& notification);

    const CameraList& macCameraList() const { return _macCameraList; }
    void setMacCameraList(CameraList list) { _macCameraList = std::move(list); }
    DeviceIdCallback deviceConnected() const { return _deviceConnected; }
    void setDeviceConnected(DeviceIdCallback callback) { _deviceConnected = callback; }
    DeviceIdCallback deviceDisconnected() const { return _deviceDisconnected; }
    void setDeviceDisconnected(DeviceIdCallback callback) { _deviceDisconnected = callback; }
    const std::shared_ptr<MacCameraManagerDelegate>& delegate() const { return _delegate; }
    void setDelegate(std::shared_ptr<MacCameraManagerDelegate> delegate) { _delegate = std::move(delegate); }

    // Forgets the shared instance, for a process that switches platforms (tests do).
    static void discardSharedInstance();

private:
    MacCameraManager() = default;
    void privateInit();

    CameraList _macCameraList;
    DeviceIdCallback _deviceConnected = nullptr;
    DeviceIdCallback _deviceDisconnected = nullptr;
    std::shared_ptr<MacCameraManagerDelegate> _delegate;
    uvccam::platform::CaptureService::ObserverId observerId_ = 0;
};
