// The device core: start-up, device list, selection, hot-plug and the stream's life.
#include "mac/MacUVCCamOC.h"

#include "mac/MacCameraManager.h"
#include "mac/MacHidDeviceManager.h"
#include "mac/MacHotKeyManager.h"
#include "mac/ModelTable.h"
#include "platform/Log.h"
#include "platform/Platform.h"

#include <QByteArray>

#include <cstring>

using namespace uvccam::platform;

namespace {

const QLatin1String kSpeakerphoneMarker("VOXA");
const QLatin1String kVoxa760("VOXA760");
const QLatin1String kVoxa30("VOXA30");

bool isMakerCamera(const MacCamera& camera)
{
    return camera.vendorId() == ModelTable::kMakerVendorId;
}

}  // namespace

QString qt_mac_NSStringToQString(const QString* string)
{
    if (!string)
        return QString();
    return QString(string->constData(), string->size());
}

MacUVCCamOC::MacUVCCamOC()
{
    init();
}

MacUVCCamOC::~MacUVCCamOC() = default;

int MacUVCCamOC::init()
{
    cameraManager = MacCameraManager::sharedInstance();
    hidManager = MacHidDeviceManager::sharedInstance();
    hotKeyManager = MacHotKeyManager::sharedInstance();
    hidManager->initHIDManager();

    const auto cameras = cameraManager->macCameraList();
    cameraCount = static_cast<std::uint32_t>(cameras.size());
    if (cameraCount == 0)
        return -1;

    // Only the first camera of the maker is considered.
    currentCamera.reset();
    for (const auto& camera : cameras) {
        if (isMakerCamera(*camera)) {
            currentCamera = camera;
            break;
        }
    }

    if (currentCamera) {
        const QString model = ModelTable::modelNameForProductName(currentCamera->deviceName());
        if (model.isEmpty()) {
            // A camera we cannot name is not selected, and nothing of it is recorded.
            currentCamera.reset();
        } else {
            modelName = model;
            deviceId = static_cast<std::int32_t>(currentCamera->vendorId());
            deviceUniqueId = qt_mac_NSStringToQString(&currentCamera->deviceUniqueID());
            deviceReady = true;
            // A start-up that runs again must not leave the previous session delivering.
            releaseCaptureObjects();
            buildCaptureObjects();
        }
    }

    if (!currentCamera)
        return -1;
    if (!hidDeviceSelected)
        setCurrentHidDevice();
    return 0;
}

void MacUVCCamOC::setProtocolMode(int mode)
{
    protocolMode = mode != 0;
}

int MacUVCCamOC::setVideoCallback(VideoFrameCallback callback)
{
    if (!callback)
        return -1;
    // The camera receives it when a stream starts.
    videoCallback = callback;
    return 0;
}

int MacUVCCamOC::setAudioCallback(AudioLevelCallback callback)
{
    if (!callback)
        return -1;
    // The audio manager that would receive it exists only while a clip is recorded.
    audioCallback = callback;
    return 0;
}

int MacUVCCamOC::setDeviceConnectedCallback(DeviceIdCallback callback)
{
    if (!callback)
        return -1;
    deviceConnectedCallback = callback;
    cameraManager->setDeviceConnected(callback);
    return 0;
}

int MacUVCCamOC::setDeviceDisconnectedCallback(DeviceIdCallback callback)
{
    if (!callback)
        return -1;
    deviceDisconnectedCallback = callback;
    cameraManager->setDeviceDisconnected(callback);
    return 0;
}

int MacUVCCamOC::setHidDeviceReadyCallback(HidReadyCallback callback)
{
    if (!callback)
        return -1;
    hidDeviceReadyCallback = callback;
    hidManager->setHidDeviceReady(callback);
    return 0;
}

int MacUVCCamOC::setHidDeviceRemoveCallback(DeviceIdCallback callback)
{
    if (!callback)
        return -1;
    hidDeviceRemoveCallback = callback;
    hidManager->setHidDeviceRemove(callback);
    return 0;
}

int MacUVCCamOC::setHotKeyCallback(HotKeyCallback callback)
{
    if (!callback)
        return -1;
    hotKeyCallback = callback;
    hotKeyManager->setHotKeyCallbackFun(callback);
    return 0;
}

std::uint32_t MacUVCCamOC::refreshCameraCount()
{
    cameraCount = static_cast<std::uint32_t>(cameraManager->macCameraList().size());
    return cameraCount;
}

QList<DeviceInfo> MacUVCCamOC::getDeviceList()
{
    QList<DeviceInfo> devices;
    const auto cameras = cameraManager->macCameraList();
    refreshCameraCount();
    for (const auto& camera : cameras) {
        if (!isMakerCamera(*camera))
            continue;
        const QString model = ModelTable::modelNameForProductName(camera->deviceName());
        if (model.isEmpty())
            continue;
        devices.append(DeviceInfo{static_cast<int>(camera->vendorId()), model, camera->deviceUniqueID()});
    }
    // A snapshot: a callback run while we list must not change what we walk.
    const auto hidDevices = hidManager->hidDevices();
    for (const auto& hid : hidDevices) {
        if (hid->deviceName().startsWith(kSpeakerphoneMarker))
            devices.append(DeviceInfo{static_cast<int>(hid->productId()), ModelTable::speakerphoneModelName(), hid->deviceUniqueID()});
    }
    return devices;
}

bool MacUVCCamOC::findDevice()
{
    const auto cameras = cameraManager->macCameraList();
    refreshCameraCount();
    int makerCameras = 0;
    for (const auto& camera : cameras) {
        if (isMakerCamera(*camera)) {
            ++makerCameras;
            logSystem("find corvane device");
        }
    }
    if (makerCameras >= 1 && currentCamera)
        return deviceUniqueId == currentCamera->deviceUniqueID();

    const auto hidDevices = hidManager->hidDevices();
    for (const auto& hid : hidDevices) {
        if (hid->deviceName().startsWith(kSpeakerphoneMarker) && hid->deviceUniqueID() == deviceUniqueId)
            return true;
    }
    return false;
}

int MacUVCCamOC::setDevice(QString devicePath)
{
    const QByteArray pathText = devicePath.toLocal8Bit();
    logSystem("setDevicePath = %s", pathText.constData());

    if (devicePath == deviceUniqueId) {
        setCurrentHidDevice();
        return 1;
    }

    releaseCaptureObjects();
    refreshCameraCount();
    currentCamera.reset();
    currentHidDevice.reset();

    const auto cameras = cameraManager->macCameraList();
    for (std::uint32_t index = 0; index < cameraCount && index < static_cast<std::uint32_t>(cameras.size()); ++index) {
        const auto& camera = cameras[static_cast<int>(index)];
        logQtDebug("i = %d, selectedDevicePath = %s devicePath = %s", static_cast<int>(index),
                   camera->deviceUniqueID().toLocal8Bit().constData(), pathText.constData());
        if (camera->deviceUniqueID() == devicePath) {
            currentCamera = camera;
            logSystem("selectedCamera.deviceUniqueID = %@", camera->deviceUniqueID());
        }
    }

    if (!currentCamera) {
        const QString pathFromText = QString::fromLocal8Bit(pathText);
        const auto hidDevices = hidManager->hidDevices();
        for (const auto& hid : hidDevices) {
            logSystem("Dev:%@", hid->deviceName());
            logSystem("PID:%04x", hid->productId());
            logSystem("VID:%04x", hid->vendorId());
            logSystem("UID:%@", hid->deviceUniqueID());
            logSystem("----------------------");
            if (hid->deviceUniqueID() != pathFromText)
                continue;
            hidDeviceSelected = true;
            deviceReady = true;
            modelName = ModelTable::speakerphoneModelName();
            logSystem("dev.deviceUniqueID = %@", hid->deviceUniqueID());
            deviceUniqueId = hid->deviceUniqueID();
            deviceId = static_cast<std::int32_t>(hid->productId());
            logSystem("Found Voxa760");
            currentHidDevice = hid;
            return 1;
        }
        return 0;
    }

    // A camera found by its ID but not usable stays in currentCamera, without capture
    // objects, and the record keeps the previous selection's values.
    if (!isMakerCamera(*currentCamera))
        return 0;
    const QString model = ModelTable::modelNameForProductName(currentCamera->deviceName());
    if (model.isEmpty())
        return 0;

    modelName = model;
    deviceId = static_cast<std::int32_t>(currentCamera->vendorId());
    deviceUniqueId = currentCamera->deviceUniqueID();
    deviceReady = true;
    buildCaptureObjects();
    setCurrentHidDevice();
    return 1;
}

void MacUVCCamOC::connectNewDevice()
{
    refreshCameraCount();
    // A standing selection is never replaced by an arrival.
    if (currentCamera || currentHidDevice)
        return;

    if (captureSession) {
        releaseCaptureObjects();
        refreshCameraCount();
        currentCamera.reset();
        currentHidDevice.reset();
    }

    const auto cameras = cameraManager->macCameraList();
    for (std::uint32_t index = 0; index < cameraCount && index < static_cast<std::uint32_t>(cameras.size()); ++index) {
        const auto& camera = cameras[static_cast<int>(index)];
        if (!isMakerCamera(*camera))
            continue;
        // A maker camera we cannot name is passed over without recording anything of it.
        const QString model = ModelTable::modelNameForProductName(camera->deviceName());
        if (model.isEmpty())
            continue;
        currentCamera = camera;
        modelName = model;
        deviceId = static_cast<std::int32_t>(camera->vendorId());
        deviceUniqueId = camera->deviceUniqueID();
        deviceReady = true;
        buildCaptureObjects();
        break;
    }

    setCurrentHidDevice();
}

void MacUVCCamOC::removeDeviceWithUniqueID(char* uniqueId)
{
    if (!uniqueId || deviceUniqueId.toLocal8Bit() != QByteArray(uniqueId))
        return;

    const bool speakerphoneWasSelected = modelName.contains(kSpeakerphoneMarker, Qt::CaseInsensitive);
    // No audio manager exists until a clip is recorded, so clearing the flag is all.
    audioStarted = false;
    currentCamera.reset();
    currentHidDevice.reset();
    if (speakerphoneWasSelected)
        setCurrentHidDevice();
}

QString MacUVCCamOC::locationKeyOf(const MacCamera& camera) const
{
    const QString& uniqueID = camera.deviceUniqueID();
    const int vendorAt = uniqueID.indexOf(ModelTable::makerVendorHex());
    const QString location = vendorAt < 0 ? uniqueID : uniqueID.left(vendorAt);
    // Without its "0x"; an ID too short to hold a location gives no key.
    return location.size() <= 2 ? QString() : location.mid(2);
}

void MacUVCCamOC::setCurrentHidDevice()
{
    const auto hidDevices = hidManager->hidDevices();

    if (currentCamera) {
        const QString key = locationKeyOf(*currentCamera);
        currentHidDevice.reset();
        if (key.isEmpty())
            return;
        for (const auto& hid : hidDevices) {
            if (hid->deviceUniqueID().startsWith(key) || hid->deviceUniqueID().endsWith(key)) {
                hidDeviceSelected = true;
                currentHidDevice = hid;
                return;
            }
        }
        return;
    }

    hidDeviceSelected = false;
    for (const auto& hid : hidDevices) {
        logSystem("---------------setCurrentHidDevice-----------------");
        logSystem("Dev:%@", hid->deviceName());
        logSystem("PID:%04x", hid->productId());
        logSystem("VID:%04x", hid->vendorId());
        logSystem("UID:%@", hid->deviceUniqueID());
        logSystem("---------------------------------------------------");
        if (hid->deviceName() == kVoxa760 || hid->deviceName() == kVoxa30) {
            hidDeviceSelected = true;
            deviceReady = true;
            modelName = ModelTable::speakerphoneModelName();
            deviceUniqueId = hid->deviceUniqueID();
            deviceId = static_cast<std::int32_t>(hid->productId());
            currentHidDevice = hid;
            return;
        }
    }
}

void MacUVCCamOC::resetCamResolution()
{
    if (!captureSession)
        return;
    // The old output stays in the session, silenced; the core forgets it.
    if (videoOutput)
        videoOutput->setSampleBufferDelegate({});
    videoOutput = Platform::current().capture().createVideoDataOutput();
    attachVideoOutput();
}

void MacUVCCamOC::releaseCaptureObjects()
{
    if (captureSession)
        captureSession->stopRunning();
    if (videoOutput)
        videoOutput->setSampleBufferDelegate({});
    if (captureSession && videoOutput)
        captureSession->removeOutput(videoOutput);
    captureSession.reset();
    videoOutput.reset();
}

void MacUVCCamOC::buildCaptureObjects()
{
    pixelBuffer = currentCamera->pixelBuffer();
    captureSession = currentCamera->createCaptureSession();
    videoOutput = Platform::current().capture().createVideoDataOutput();
    attachVideoOutput();
}

void MacUVCCamOC::attachVideoOutput()
{
    videoOutput->setVideoSettings(VideoSettings{videoWidth, videoHeight, kPixelFormat2vuy});
    // A slow frame receiver drops frames rather than letting them queue up.
    videoOutput->setAlwaysDiscardsLateVideoFrames(true);
    if (currentCamera)
        videoOutput->setSampleBufferDelegate(currentCamera);
    if (captureSession)
        captureSession->addOutput(videoOutput);
}

int MacUVCCamOC::startVideoStream(unsigned int index)
{
    // The index only bounds the request; the selected camera is what streams.
    if (cameraCount < index)
        return -1;
    const auto cameras = cameraManager->macCameraList();
    if (cameras.isEmpty())
        return -1;
    bool anyMakerCamera = false;
    for (const auto& camera : cameras)
        anyMakerCamera = anyMakerCamera || isMakerCamera(*camera);
    if (!anyMakerCamera || !currentCamera)
        return -1;

    if (captureSession) {
        if (videoCallback)
            currentCamera->setVideoCallback(videoCallback);
        isStreaming = true;
        captureSession->startRunning();
        return 0;
    }

    pixelBuffer = currentCamera->pixelBuffer();
    if (videoCallback)
        currentCamera->setVideoCallback(videoCallback);
    captureSession = currentCamera->createCaptureSession();
    videoOutput = Platform::current().capture().createVideoDataOutput();
    attachVideoOutput();
    // A camera that cannot be opened streams nothing; say so instead of claiming success.
    if (!captureSession)
        return -1;
    captureSession->startRunning();
    isStreaming = true;
    return 0;
}

int MacUVCCamOC::stopVideoStream()
{
    if (!isStreaming)
        return -1;
    if (captureSession)
        captureSession->stopRunning();
    isStreaming = false;
    return 0;
}

unsigned char* MacUVCCamOC::GetPixelBuffer()
{
    if (!pixelBuffer)
        return nullptr;
    // Our own reference keeps the buffer alive while we copy, whatever the chain does.
    const PixelBufferPtr buffer = pixelBuffer;
    buffer->lockBaseAddress();
    const auto size = static_cast<std::uint32_t>(buffer->bytesPerRow()) * static_cast<std::uint32_t>(buffer->height());
    const unsigned char* base = buffer->baseAddress();
    if (base && size > 0)
        pixelCopy_.assign(base, base + size);
    else
        pixelCopy_.clear();
    buffer->unlockBaseAddress();
    return pixelCopy_.empty() ? nullptr : pixelCopy_.data();
}

QString MacUVCCamOC::getCameraSerialNum()
{
    if (!currentCamera || !currentCamera->serialNum())
        return QString();
    return qt_mac_NSStringToQString(&*currentCamera->serialNum());
}

int MacUVCCamOC::startAudioRecording(int, QString)
{
    // Recording needs the audio capture service, which the platform does not offer yet.
    return -1;
}

int MacUVCCamOC::startAudioPlaying(QString)
{
    // Nothing has been recorded, so there is nothing to play.
    return -1;
}

void MacUVCCamOC::registerHotKey()
{
    if (hotKeyManager)
        hotKeyManager->hotKeyRegister(true);
}

void MacUVCCamOC::unregisterHotKey()
{
    if (hotKeyManager)
        hotKeyManager->hotKeyRegister(false);
}

int MacUVCCamOC::getSpeakerVol()
{
    // Without an audio hardware service there is no default device: volume 0.
    return 0;
}

int MacUVCCamOC::getMicVol()
{
    return 0;
}

// Device control travels over USB control requests and vendor HID reports; until the
// platform offers those transports every request fails as a device would that answers
// nothing.
int MacUVCCamOC::getExProperty(unsigned short, void*, unsigned int, int) { return -1; }
int MacUVCCamOC::setExProperty(unsigned short, void*, unsigned int, int) { return -1; }
int MacUVCCamOC::getProperty(int, int*) { return -1; }
int MacUVCCamOC::setProperty(int, int, bool) { return -1; }
int MacUVCCamOC::getPropertyRange(int, int*, int*, int*) { return -1; }
int MacUVCCamOC::getUACHidProperty(unsigned short, void*, unsigned int) { return -1; }
int MacUVCCamOC::setUACHidProperty(unsigned short, void*, unsigned int) { return -1; }
int MacUVCCamOC::setExHidProperty(void*, unsigned int) { return -1; }
int MacUVCCamOC::setExHidReport(void*, unsigned int, int) { return -1; }
int MacUVCCamOC::getExHidReport(void*, unsigned int) { return -1; }
