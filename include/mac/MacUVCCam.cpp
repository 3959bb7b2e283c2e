// The facade the host holds, the callbacks that become its signals, and the factory.
#include "mac/MacUVCCam.h"

#include "mac/MacUVCCamCallbacks.h"
#include "mac/MacUVCCamOC.h"

#include "platform/Log.h"

#include <cmath>
#include <limits>
#include <memory>
#include <vector>

using namespace uvccam::platform;

MacUVCCamOC* macUVCCamOC = nullptr;
MacUVCCam* calbackObject = nullptr;

namespace {

// Every core ever made lives for the rest of the process; this keeps them reachable
// (and lets a process that starts over release them). Never destroyed at exit.
std::vector<std::unique_ptr<MacUVCCamOC>>& everyCore()
{
    static auto* cores = new std::vector<std::unique_ptr<MacUVCCamOC>>();
    return *cores;
}

// A level truncated toward zero. A level that is not a number, or beyond what an int
// holds, would make the conversion undefined; it is clamped instead (NaN gives 0).
int truncateLevel(float level)
{
    if (std::isnan(level))
        return 0;
    if (level >= static_cast<float>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (level <= static_cast<float>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(level);
}

}  // namespace

void uvccam::internal::discardAllCores()
{
    macUVCCamOC = nullptr;
    calbackObject = nullptr;
    everyCore().clear();
}

UVCCam::~UVCCam() = default;

UVCCam* acquireUVCCam()
{
    return new MacUVCCam();
}

MacUVCCam::MacUVCCam() : UVCCam()
{
    // The core starts up before any callback is installed or this object is reachable.
    auto core = std::make_unique<MacUVCCamOC>();
    macUVCCamOC = core.get();
    everyCore().push_back(std::move(core));
    calbackObject = this;

    macUVCCamOC->setDeviceConnectedCallback(onDeviceConnected);
    macUVCCamOC->setDeviceDisconnectedCallback(onDeviceDisconnected);
    macUVCCamOC->setHidDeviceReadyCallback(onHidDeviceReady);
    macUVCCamOC->setHidDeviceRemoveCallback(onHidDeviceRemoved);
    macUVCCamOC->setHotKeyCallback(onHotKeyPressed);
}

MacUVCCam::~MacUVCCam()
{
    // The core keeps its callbacks; they must find no object to emit through.
    if (calbackObject == this)
        calbackObject = nullptr;
}

int MacUVCCam::setDevice(QString devicePath) { return macUVCCamOC->setDevice(devicePath); }
int MacUVCCam::getExProperty(unsigned short selector, void* data, unsigned int length, int unitIndex)
{
    return macUVCCamOC->getExProperty(selector, data, length, unitIndex);
}
int MacUVCCam::setExProperty(unsigned short selector, void* data, unsigned int length, int unitIndex)
{
    return macUVCCamOC->setExProperty(selector, data, length, unitIndex);
}
int MacUVCCam::getProperty(int property, int* value) { return macUVCCamOC->getProperty(property, value); }
int MacUVCCam::setProperty(int property, int value, bool autoMode)
{
    return macUVCCamOC->setProperty(property, value, autoMode);
}
int MacUVCCam::getUACHidProperty(unsigned short selector, void* data, unsigned int length)
{
    return macUVCCamOC->getUACHidProperty(selector, data, length);
}
int MacUVCCam::setUACHidProperty(unsigned short selector, void* data, unsigned int length)
{
    return macUVCCamOC->setUACHidProperty(selector, data, length);
}
int MacUVCCam::setExHidProperty(void* data, unsigned int length) { return macUVCCamOC->setExHidProperty(data, length); }
int MacUVCCam::setExHidReport(void* data, unsigned int length, int mode)
{
    return macUVCCamOC->setExHidReport(data, length, mode);
}
int MacUVCCam::getExHidReport(void* data, unsigned int length) { return macUVCCamOC->getExHidReport(data, length); }
int MacUVCCam::getPropertyRange(int property, int* min, int* max, int* def)
{
    return macUVCCamOC->getPropertyRange(property, min, max, def);
}
int MacUVCCam::startVideoStream(unsigned int index) { return macUVCCamOC->startVideoStream(index); }
int MacUVCCam::stopVideoStream() { return macUVCCamOC->stopVideoStream(); }
int MacUVCCam::setVideoCallback(VideoFrameCallback callback) { return macUVCCamOC->setVideoCallback(callback); }
unsigned char* MacUVCCam::GetPixelBuffer() { return macUVCCamOC->GetPixelBuffer(); }
bool MacUVCCam::findDevice() { return macUVCCamOC->findDevice(); }
void MacUVCCam::setProtocolMode(int mode) { macUVCCamOC->setProtocolMode(mode); }
QList<DeviceInfo> MacUVCCam::getDeviceList() { return macUVCCamOC->getDeviceList(); }
QString MacUVCCam::getDeviceSN() { return macUVCCamOC->getCameraSerialNum(); }
void MacUVCCam::resetCamResolution() { macUVCCamOC->resetCamResolution(); }
int MacUVCCam::startAudioPlaying(QString path) { return macUVCCamOC->startAudioPlaying(path); }
int MacUVCCam::getSpeakerVol() { return macUVCCamOC->getSpeakerVol(); }
int MacUVCCam::getMicVol() { return macUVCCamOC->getMicVol(); }

void MacUVCCam::setKeyboardConnected(bool connected)
{
    if (connected)
        macUVCCamOC->registerHotKey();
    else
        macUVCCamOC->unregisterHotKey();
}

DeviceInfo MacUVCCam::getDeviceInfo()
{
    return DeviceInfo{macUVCCamOC->deviceId, macUVCCamOC->modelName, macUVCCamOC->deviceUniqueId};
}

int MacUVCCam::startAudioRecording(int value, QString text)
{
    if (macUVCCamOC->startAudioRecording(value, text) != 0)
        return -1;
    // Installed only now, so levels flow only for a recording that started.
    macUVCCamOC->setAudioCallback(onUpdateVol);
    return 0;
}

int MacUVCCam::init() { return macUVCCamOC->init(); }
void MacUVCCam::connectNewDevice() { macUVCCamOC->connectNewDevice(); }
void MacUVCCam::setCurrentHidDevice() { macUVCCamOC->setCurrentHidDevice(); }
void MacUVCCam::removeDeviceWithUniqueID(char* uniqueId) { macUVCCamOC->removeDeviceWithUniqueID(uniqueId); }
void MacUVCCam::emitDeviceConnectedSignals() { Q_EMIT deviceAdd(); }
void MacUVCCam::emitDeviceChangedSignals() { Q_EMIT deviceChange(); }
void MacUVCCam::emitDeviceRemovedSignals() { Q_EMIT deviceRemove(); }
void MacUVCCam::emitKeyPressed(int key) { Q_EMIT keyPressed(key, true); }
void MacUVCCam::emitUpdateVolume(float level) { Q_EMIT updateVolume(truncateLevel(level)); }

namespace {

// The object the callbacks call through: the newest facade while it lives. Asked afresh
// before every emission, because a slot may destroy the object it was connected to.
// Without one the core still follows the devices, and nobody is told.
UVCCam* callbackFacade()
{
    return calbackObject;
}

}  // namespace

void onDeviceConnected(char*)
{
    if (!macUVCCamOC)
        return;
    macUVCCamOC->connectNewDevice();
    if (UVCCam* facade = callbackFacade())
        Q_EMIT facade->deviceAdd();
    if (UVCCam* facade = callbackFacade())
        Q_EMIT facade->deviceChange();
}

void onDeviceDisconnected(char* uniqueId)
{
    if (!macUVCCamOC)
        return;
    UVCCam* facade = callbackFacade();
    const bool selectionStillAttached = facade ? facade->findDevice() : macUVCCamOC->findDevice();
    if (!selectionStillAttached) {
        if ((facade = callbackFacade()))
            facade->stopVideoStream();
        else
            macUVCCamOC->stopVideoStream();
        if ((facade = callbackFacade()))
            Q_EMIT facade->deviceRemove();
    }
    macUVCCamOC->removeDeviceWithUniqueID(uniqueId);
    if ((facade = callbackFacade()))
        Q_EMIT facade->deviceChange();
}

void onHidDeviceReady()
{
    if (!macUVCCamOC)
        return;
    macUVCCamOC->connectNewDevice();
    if (UVCCam* facade = callbackFacade())
        Q_EMIT facade->deviceAdd();
    if (UVCCam* facade = callbackFacade())
        Q_EMIT facade->deviceChange();
    macUVCCamOC->setCurrentHidDevice();
    logSystem("onHidDeviceReady");
}

void onHidDeviceRemoved(char* uniqueId)
{
    if (!macUVCCamOC)
        return;
    macUVCCamOC->removeDeviceWithUniqueID(uniqueId);
    if (UVCCam* facade = callbackFacade())
        Q_EMIT facade->deviceRemove();
    if (UVCCam* facade = callbackFacade())
        Q_EMIT facade->deviceChange();
    logSystem("hidRemoved");
}

void onHotKeyPressed(int key)
{
    if (UVCCam* facade = callbackFacade())
        Q_EMIT facade->keyPressed(key, true);
}

void onUpdateVol(float level)
{
    if (UVCCam* facade = callbackFacade())
        Q_EMIT facade->updateVolume(truncateLevel(level));
}
