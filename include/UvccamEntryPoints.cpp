// The transfer-mode switch of the ST470, driven only through the camera interface.
#include "UvccamEntryPoints.h"

#include "UVCCam.h"
#include "platform/Platform.h"

#include <array>
#include <chrono>
#include <cstdint>

namespace {

using namespace std::chrono_literals;

// A listed device is an ST470 when its ID carries the model's product ID and the maker's
// vendor ID in hexadecimal.
bool isSt470(const DeviceInfo& device)
{
    const QString id = device.deviceUniqueId.toLower();
    return id.contains(QLatin1String("470a")) && id.contains(QLatin1String("2a3b"));
}

constexpr unsigned short kTransferModeSelector = 2;
constexpr int kTransferModeUnitIndex = 6;
constexpr std::uint8_t kWantedMode = 1;
constexpr int kSelectRetries = 300;
constexpr int kSwitchPasses = 100;

void waitFor(std::chrono::milliseconds duration)
{
    uvccam::platform::Platform::current().runLoop().sleep(duration);
}

}  // namespace

Uvccam::Uvccam() : uvcCam(acquireUVCCam()) {}

Uvccam::~Uvccam()
{
    delete uvcCam;
}

bool Uvccam::updateUvcCamTransferMode()
{
    if (!uvcCam)
        return false;
    bool switched = false;
    const QList<DeviceInfo> devices = uvcCam->getDeviceList();
    for (const DeviceInfo& device : devices) {
        if (!isSt470(device))
            continue;

        // A camera that has just arrived may not be selectable at once.
        int budget = kSelectRetries;
        int selected = uvcCam->setDevice(device.deviceUniqueId);
        while (selected == 0 && budget > 0) {
            waitFor(10ms);
            selected = uvcCam->setDevice(device.deviceUniqueId);
            --budget;
        }
        if (budget == 0)
            continue;

        std::uint8_t mode = 0;
        if (uvcCam->getExProperty(kTransferModeSelector, &mode, 1, kTransferModeUnitIndex) != 0 || mode == kWantedMode)
            continue;

        switched = true;
        for (int pass = 0; pass < kSwitchPasses; ++pass) {
            waitFor(100ms);
            mode = kWantedMode;
            if (uvcCam->setExProperty(kTransferModeSelector, &mode, 1, kTransferModeUnitIndex) == 0) {
                waitFor(500ms);
                // The written mode takes effect on the apply command: report 8, command 7.
                std::array<std::uint8_t, 12> apply{0x08, 0x07};
                if (uvcCam->setExHidProperty(apply.data(), static_cast<unsigned>(apply.size())) != 0) {
                    waitFor(500ms);
                    mode = 0xFF;
                    uvcCam->getExProperty(kTransferModeSelector, &mode, 1, kTransferModeUnitIndex);
                }
            }
            if (mode == kWantedMode)
                break;
        }
    }
    return switched;
}

Uvccam* createUvcCamControl()
{
    return new Uvccam();
}

void disposeUvcCamControl(Uvccam* handle)
{
    delete handle;
}

bool updateUvcCamTransferMode(Uvccam* handle)
{
    return handle ? handle->updateUvcCamTransferMode() : false;
}
