// The device core: start-up, device list, selection, hot-plug and the stream's life.
#include "mac/MacUVCCamOC.h"

#include "mac/MacAudioMgr.h"
#include "mac/MacCameraManager.h"
#include "mac/MacHidDeviceManager.h"
#include "mac/MacHotKeyManager.h"
#include "mac/ModelTable.h"
#include "mac/SysVolumeControl.h"
#include "platform/Log.h"
#include "platform/Platform.h"

#include <QByteArray>

#include <algorithm>
#include <chrono>
#include <cstring>

using namespace uvccam::platform;

namespace {

const QLatin1String kSpeakerphoneMarker("VOXA");
const QLatin1String kVoxa760("VOXA760");
const QLatin1String kVoxa30("VOXA30");

// A test clip records for this long from its start.
constexpr std::chrono::seconds kRecordingTime{10};

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
    audioCallback = callback;
    if (const auto manager = audioMgr.lock())
        manager->setAudioCallback(callback);
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
    audioStarted = false;
    // A recording still running is stopped, and its manager kept for playback; an idle
    // manager is released.
    if (const auto manager = audioMgr.lock()) {
        if (manager->isRecording())
            manager->stopRecording();
        else
            disposeAudioManager();
    }
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
    // A platform without video capture yet makes no output; there is nothing to attach.
    if (!videoOutput)
        return;
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
    if (currentCamera) {
        const QString uniqueID = currentCamera->deviceUniqueID();
        logSystem("camera.deviceUniqueID = %@", uniqueID);
        const auto& serial = currentCamera->serialNum();
        recordFrom(&uniqueID, serial ? &*serial : nullptr);
    } else if (modelName.contains(kSpeakerphoneMarker, Qt::CaseSensitive)) {
        logSystem("hid.deviceUniqueID = %@", currentHidDevice ? currentHidDevice->deviceUniqueID() : QString());
        // The speakerphone's microphone is the input whose unique ID names the product.
        const QString marker = QStringLiteral("VOXA");
        recordFrom(nullptr, &marker);
    } else {
        return -1;
    }
    return 0;
}

void MacUVCCamOC::recordFrom(const QString* uniqueId, const QString* serialNo)
{
    MacAudioMgr* manager = MacAudioMgr::sharedInstance();
    audioMgr = MacAudioMgr::sharedReference();
    audioStarted = true;
    manager->setAudioDeviceByUniqueId(uniqueId, serialNo);
    manager->startRecording();

    // Every clip lasts ten seconds from its own start and only its own task stops it, so
    // a later clip, started by this core or another, is never cut short. The task holds
    // the manager weakly: one disposed of meanwhile is never reached.
    const std::weak_ptr<MacAudioMgr> recorder = audioMgr;
    const std::uint64_t clip = manager->clipNumber();
    Platform::current().runLoop().dispatchAfter(kRecordingTime, [recorder, clip] {
        const auto current = recorder.lock();
        if (current && current->clipNumber() == clip && current->isRecording())
            current->stopRecording();
    });
}

int MacUVCCamOC::startAudioPlaying(QString)
{
    if (audioStarted) {
        if (const auto manager = audioMgr.lock()) {
            manager->playAudio();
            return 1;
        }
        // Another core disposed of the manager that made the clip: there is nothing to play.
    }
    disposeAudioManager();
    return -1;
}

void MacUVCCamOC::disposeAudioManager()
{
    // The shared manager may by now be a newer one that another core is recording with.
    const auto manager = audioMgr.lock();
    if (manager && manager == MacAudioMgr::sharedReference().lock())
        MacAudioMgr::dispose();
    audioMgr.reset();
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
    return static_cast<int>(SysVolumeControl::volume() * 100.0f);
}

int MacUVCCamOC::getMicVol()
{
    return static_cast<int>(SysVolumeControl::micVolume() * 100.0f);
}

// --- Vendor properties: routing between the UVC extension units and the HID protocol.

namespace {

constexpr std::size_t kPropertyReportSize = 512;
constexpr std::size_t kPropertyValueMax = kPropertyReportSize - 3;
constexpr std::uint8_t kPropertyReportId = 0x08;
constexpr std::uint8_t kExtensionPropertyCommand = 0x10;
constexpr std::uint8_t kUacFlag = 0x01;
constexpr std::size_t kUacValueMax = 64;
constexpr std::size_t kUacBlockSize = kUacValueMax + 1;
constexpr std::uint8_t kAnswerType = 9;
constexpr std::uint8_t kAckAccepted = 0x19;
constexpr std::uint8_t kAckAcceptedAlternate = 0x1A;
constexpr std::uint8_t kStatusLimit = 10;
// What an answer can carry: its payload, less the type, acknowledgement and count.
constexpr std::size_t kAnswerDataMax = kPropertyValueMax - 4;
constexpr std::chrono::microseconds kRetryPauseStep{100000};

bool refusesBuffer(const void* data, unsigned int length)
{
    return !data && length > 0;
}

}  // namespace

bool MacUVCCamOC::isSpeakerphoneModel() const
{
    return modelName.contains(kSpeakerphoneMarker, Qt::CaseInsensitive);
}

bool MacUVCCamOC::isLowUnitCamera() const
{
    // These models number their extension units from 4, the others from 5.
    return modelName.contains(QLatin1String("LUM250"), Qt::CaseInsensitive)
        || modelName.contains(QLatin1String("ST410"), Qt::CaseInsensitive)
        || modelName.contains(QLatin1String("ST470"), Qt::CaseInsensitive);
}

std::int32_t MacUVCCamOC::extensionUnitId(int unitIndex) const
{
    const bool low = isLowUnitCamera();
    if (unitIndex < 1 || unitIndex > 6)
        return low ? 0 : 1;
    // The sixth extension unit is the third one again on every model.
    if (unitIndex == 6)
        return low ? 6 : 7;
    return unitIndex + (low ? 3 : 4);
}

bool MacUVCCamOC::takesHidRoute(unsigned short selector, int unitIndex) const
{
    return protocolMode && selector <= 6 && unitIndex == 1 && (selector == 3 || isSpeakerphoneModel());
}

int MacUVCCamOC::getExProperty(unsigned short selector, void* data, unsigned int length, int unitIndex)
{
    if (refusesBuffer(data, length))
        return -1;
    if (takesHidRoute(selector, unitIndex))
        return getHidProperty(selector, data, length, false);
    if (isSpeakerphoneModel() || !deviceReady || !currentCamera)
        return -1;
    const bool read = currentCamera->getStructDataFor(UVCCameraControl::UVC_GET_CUR, static_cast<std::int32_t>(length),
                                                      selector, extensionUnitId(unitIndex), data);
    return read ? 0 : -1;
}

int MacUVCCamOC::setExProperty(unsigned short selector, void* data, unsigned int length, int unitIndex)
{
    if (refusesBuffer(data, length))
        return -1;
    if (takesHidRoute(selector, unitIndex))
        return setHidProperty(selector, data, length, false);
    if (isSpeakerphoneModel() || !deviceReady || !currentCamera)
        return -1;
    const bool written = currentCamera->setStructData(data, static_cast<std::int32_t>(length), selector,
                                                      extensionUnitId(unitIndex));
    return written ? 0 : -1;
}

bool MacUVCCamOC::sendPropertyReport(std::uint8_t command, unsigned short selector, const void* value, std::size_t length)
{
    std::uint8_t report[kPropertyReportSize] = {};
    report[0] = kPropertyReportId;
    report[1] = command;
    report[2] = static_cast<std::uint8_t>(selector & 0xFF);
    if (value && length > 0)
        std::memcpy(report + 3, value, std::min(length, kPropertyValueMax));
    if (!currentHidDevice || !currentHidDevice->setReport(report, kPropertyReportSize)) {
        logQtDebug("hidWrite:hid_write() failed");
        return false;
    }
    return true;
}

bool MacUVCCamOC::sendRawReport(const void* data, unsigned int length)
{
    return currentHidDevice && currentHidDevice->setReport(static_cast<const std::uint8_t*>(data), static_cast<long>(length));
}

int MacUVCCamOC::setHidProperty(unsigned short selector, void* data, unsigned int length, bool uacCmd)
{
    if (!deviceReady)
        return -1;
    // A value the report cannot carry, or that is not there, is refused before sending.
    if (length > kPropertyValueMax || refusesBuffer(data, length))
        return -1;
    const std::uint8_t command = kExtensionPropertyCommand | (uacCmd ? kUacFlag : 0);
    return sendPropertyReport(command, selector, data, length) ? 0 : -1;
}

bool MacUVCCamOC::readHidAnswer(std::uint8_t* area)
{
    std::memset(area, 0, kPropertyReportSize);
    // The wait serves hot-plug, which may drop our reference; the read keeps its own.
    const std::shared_ptr<MacHidDevice> device = currentHidDevice;
    return device->getReport(area, kPropertyReportSize);
}

int MacUVCCamOC::getHidProperty(unsigned short selector, void* data, unsigned int length, bool uacCmd)
{
    // Selector 1 is answered only when the device has something to say; selector 5 is
    // given one more chance; everything else is worth waiting several seconds for.
    const int budget = (selector == 1 && !uacCmd) ? 0 : (selector == 5 ? 30 : 50);
    if (!deviceReady || length > kPropertyValueMax)
        return -1;
    if (!currentHidDevice) {
        logSystem("Hid nil error");
        return -1;
    }

    std::uint8_t area[kPropertyReportSize];
    auto copyPayload = [&] {
        if (data && length > 0)
            std::memcpy(data, area + 3, length);
    };
    if (readHidAnswer(area)) {
        copyPayload();
        return 0;
    }

    logSystem("!doesGetReportOK(1),ctrlSelectorHid = %d, uacCmd = %d, retry = %d", selector, uacCmd ? 1 : 0, budget);
    if (selector == 3 && !uacCmd)
        return 0;
    if (budget == 0) {
        copyPayload();
        return 0;
    }

    std::chrono::microseconds pause{0};
    for (int retry = budget;; --retry, pause += kRetryPauseStep) {
        logSystem("get report error! reTry=%d", retry);
        Platform::current().runLoop().sleep(pause);
        // The device may have gone while we slept.
        if (!currentHidDevice) {
            logSystem("Hid nil error");
            return -1;
        }
        if (readHidAnswer(area)) {
            copyPayload();
            return 0;
        }
        logSystem("!doesGetReportOK(2) ctrlSelectorHid = %d", selector);
        if (retry <= 40) {
            logSystem("Cannot get Hid Value");
            return -1;
        }
    }
}

int MacUVCCamOC::setExHidProperty(void* data, unsigned int length)
{
    if (!modelName.contains(QLatin1String("ST410"), Qt::CaseInsensitive)
        && !modelName.contains(QLatin1String("ST470"), Qt::CaseInsensitive))
        return -1;
    if (refusesBuffer(data, length))
        return -1;
    if (!sendRawReport(data, length)) {
        logQtDebug("setExHidProperty write failed");
        return -1;
    }
    std::uint8_t answer[16] = {};
    if (getHidProperty(0, answer, sizeof answer, false) != 0) {
        logQtDebug("setExHidProperty read failed");
        return 0;
    }
    if (answer[0] != kAnswerType)
        logQtDebug("setExHidProperty unknown report id");
    else if (answer[1] >= kStatusLimit)
        logQtDebug("setExHidProperty status out of range");
    return 0;
}

int MacUVCCamOC::setExHidReport(void* data, unsigned int length, int mode)
{
    // Mode 0 compares the answer with byte 1 of the report, which must exist.
    if (refusesBuffer(data, length) || (mode == 0 && length < 2))
        return -1;
    if (!sendRawReport(data, length)) {
        logQtDebug("setExHidProperty write failed");
        return -1;
    }
    std::uint8_t answer[kPropertyValueMax] = {};
    if (getHidProperty(0, answer, sizeof answer, false) != 0) {
        logQtDebug("setExHidReport read failed");
        return 0;
    }
    if (answer[0] != kAnswerType) {
        logQtDebug("setExHidReport unknown report id");
        return -1;
    }
    if (mode != 0) {
        if (answer[1] == kAckAccepted || answer[1] == kAckAcceptedAlternate)
            return 0;
        logQtDebug("setExHidReport ack err");
        return -1;
    }
    if (answer[1] == static_cast<const std::uint8_t*>(data)[1])
        return answer[2];
    logQtDebug("setExHidReport ack err");
    return -1;
}

int MacUVCCamOC::getExHidReport(void* data, unsigned int length)
{
    // The answer is written back from byte 1 to byte 3 at least.
    if (!data || length < 4)
        return -1;
    if (!sendRawReport(data, length)) {
        logQtDebug("getExHidReport write failed");
        return -1;
    }
    std::uint8_t answer[kPropertyValueMax] = {};
    if (getHidProperty(0, answer, sizeof answer, false) != 0) {
        logQtDebug("getExHidReport read failed");
        return -1;
    }
    if (answer[0] != kAnswerType) {
        logQtDebug("setExHidReport unknown report id");
        return -1;
    }
    // A count beyond what the answer holds or the caller's buffer takes is not believed.
    const std::size_t count = answer[2] | (answer[3] << 8);
    if (count > kAnswerDataMax || count > length - 4)
        return -1;
    auto* out = static_cast<std::uint8_t*>(data);
    std::memcpy(out + 1, answer + 1, 3 + count);
    return 0;
}

int MacUVCCamOC::getUACHidProperty(unsigned short selector, void* data, unsigned int length)
{
    if (!isSpeakerphoneModel() || length > kUacValueMax || refusesBuffer(data, length))
        return -1;
    std::uint8_t block[kUacBlockSize] = {};
    // A failed send still leaves the read to decide: the device may answer anyway.
    if (deviceReady)
        sendPropertyReport(kExtensionPropertyCommand | kUacFlag, selector, block, sizeof block);
    const int result = getHidProperty(selector, block, sizeof block, true);
    if (result == 0 && data && length > 0)
        std::memcpy(data, block + 1, length);
    return result;
}

int MacUVCCamOC::setUACHidProperty(unsigned short selector, void* data, unsigned int length)
{
    if (!isSpeakerphoneModel() || length > kUacValueMax || refusesBuffer(data, length))
        return -1;
    std::uint8_t block[kUacBlockSize] = {};
    block[0] = 1;  // direction: set
    if (data && length > 0)
        std::memcpy(block + 1, data, length);
    if (!deviceReady)
        return -1;
    if (!sendPropertyReport(kExtensionPropertyCommand | kUacFlag, selector, block, sizeof block))
        return -1;
    // The device acknowledges, but whether it does changes nothing for the caller.
    getHidProperty(selector, block, sizeof block, true);
    return 0;
}

// --- Standard camera properties.

int MacUVCCamOC::getProperty(int property, int* value)
{
    if (!deviceReady || !currentCamera || !value)
        return -1;
    std::int32_t read = 0;
    if (!currentCamera->getPropertyByNumber(property, &read))
        return -1;
    // The value of a camera that is not connected; a control really holding it reads so too.
    if (read == MacCamera::kNotConnected)
        return -1;
    *value = read;
    return 0;
}

int MacUVCCamOC::setProperty(int property, int value, bool)
{
    if (!deviceReady || !currentCamera)
        return -1;
    return currentCamera->setPropertyByNumber(property, value) ? 0 : -1;
}

namespace {

struct RangeRow {
    bool processingUnit;  // the processing unit, else the camera terminal (1)
    std::int32_t selector;
    std::int32_t length;
};

// The maker's range table: it does not follow the control maps (see the property numbers).
constexpr RangeRow kRangeRows[13] = {
    {true, 1, 2}, {true, 2, 1}, {true, 8, 2}, {true, 3, 2}, {true, 1, 4}, {true, 10, 4}, {true, 11, 4},
    {false, 14, 4}, {false, 15, 4}, {false, 11, 4}, {false, 6, 2}, {false, 8, 1}, {false, 3, 4},
};

}  // namespace

int MacUVCCamOC::getPropertyRange(int property, int* min, int* max, int* def)
{
    if (!deviceReady || !currentCamera)
        return -1;
    // The processing unit is chosen by vendor here, not by the camera's control map.
    const std::int32_t processingUnit = currentCamera->vendorId() == ModelTable::kMakerVendorId ? 2 : 3;
    if (static_cast<unsigned>(property) > 12 || !min || !max || !def)
        return -1;
    const RangeRow& row = kRangeRows[property];
    const std::int32_t unit = row.processingUnit ? processingUnit : 1;
    const std::int32_t minimum = currentCamera->getDataFor(UVCCameraControl::UVC_GET_MIN, row.length, row.selector, unit);
    const std::int32_t maximum = currentCamera->getDataFor(UVCCameraControl::UVC_GET_MAX, row.length, row.selector, unit);
    const std::int32_t defaultValue = currentCamera->getDataFor(UVCCameraControl::UVC_GET_DEF, row.length, row.selector, unit);
    if (maximum <= minimum)
        return -1;
    *min = minimum;
    *max = maximum;
    *def = defaultValue;
    return 0;
}
