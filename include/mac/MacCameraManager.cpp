// Builds the camera list from the capture service and follows its hot-plug notifications.
#include "mac/MacCameraManager.h"

#include "platform/Platform.h"

using namespace uvccam::platform;

MacCameraManagerDelegate::~MacCameraManagerDelegate() = default;
void MacCameraManagerDelegate::cameraDidConnected(MacCamera*) {}
void MacCameraManagerDelegate::cameraDidRemoved(MacCamera*) {}

namespace {

// Lives for the rest of the process and is never destroyed at exit, where the platform
// it observes may already be gone; the static pointer keeps it reachable.
MacCameraManager*& sharedManager()
{
    static MacCameraManager* manager = nullptr;
    return manager;
}

// How much of a unique ID identifies a camera at a removal: the first seven hex digits
// of its location, after the "0x".
constexpr int kLocationKeyOffset = 2;
constexpr int kLocationKeyLength = 7;

}  // namespace

MacCameraManager* MacCameraManager::sharedInstance()
{
    if (!sharedManager()) {
        sharedManager() = new MacCameraManager();
        sharedManager()->privateInit();
    }
    return sharedManager();
}

void MacCameraManager::discardSharedInstance()
{
    delete sharedManager();
    sharedManager() = nullptr;
}

MacCameraManager::~MacCameraManager()
{
    Platform::current().capture().removeObserver(observerId_);
}

void MacCameraManager::privateInit()
{
    auto& capture = Platform::current().capture();
    CameraList cameras;
    for (const auto& device : capture.devicesWithMediaType(MediaType::Video)) {
        if (auto camera = createCameraWithCaptureDevice(device))
            cameras.append(camera);
    }
    _macCameraList = cameras;
    observerId_ = capture.addObserver([this](const CaptureDeviceNotification& notification) { updateCameraStatus(notification); });
}

std::shared_ptr<MacCamera> MacCameraManager::createCameraWithCaptureDevice(const CaptureDevicePtr& device)
{
    if (!device || !device->hasMediaType(MediaType::Video))
        return nullptr;
    return MacCamera::initWithCaptureDevice(device);
}

void MacCameraManager::updateCameraStatus(const CaptureDeviceNotification& notification)
{
    if (!notification.object)
        return;

    switch (notification.name) {
    case CaptureDeviceNotification::Name::WasDisconnected: {
        const QString departedID = notification.object->uniqueID();
        // A device can carry several cameras' keys; every match goes, in list order.
        for (int index = 0; index < _macCameraList.size();) {
            const QString key = _macCameraList[index]->deviceUniqueID().mid(kLocationKeyOffset, kLocationKeyLength);
            if (key.isEmpty() || !departedID.contains(key)) {
                ++index;
                continue;
            }
            const std::shared_ptr<MacCamera> camera = _macCameraList.takeAt(index);
            if (_deviceDisconnected) {
                QByteArray uniqueID = camera->deviceUniqueID().toUtf8();
                _deviceDisconnected(uniqueID.data());
            }
            if (_delegate)
                _delegate->cameraDidRemoved(camera.get());
        }
        break;
    }
    case CaptureDeviceNotification::Name::WasConnected: {
        auto camera = createCameraWithCaptureDevice(notification.object);
        if (!camera)
            return;
        _macCameraList.append(camera);
        if (_deviceConnected) {
            QByteArray uniqueID = camera->deviceUniqueID().toUtf8();
            _deviceConnected(uniqueID.data());
        }
        if (_delegate)
            _delegate->cameraDidConnected(camera.get());
        break;
    }
    }
}
