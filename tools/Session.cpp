// The camera object of one run and the checks that keep bad requests away from the device.
#include "Session.h"

#include "Interrupt.h"

#include "UVCCamSimulation.h"

#include <algorithm>

namespace uvccamctl {

namespace {

// Short enough that Ctrl-C feels immediate, long enough not to spin.
constexpr double kWaitStep = 0.1;
// The library's clock counts nanoseconds; a difference below one is rounding.
constexpr double kClockResolution = 1e-9;

}  // namespace

bool isSpeakerphone(const DeviceInfo& device)
{
    return device.modelName.startsWith(QLatin1String("VOXA"));
}

QString describe(const DeviceInfo& device)
{
    return QStringLiteral("%1 (%2)").arg(device.modelName, device.deviceUniqueId);
}

Session::Session(const GlobalOptions& options, Console& console)
    : options_(options), console_(console), camera_(acquireUVCCam()), events_(std::make_unique<CameraEvents>(*camera_))
{
    // Devices that were there before the camera object announce themselves through the
    // event loop, and a camera finds its HID interface there too; let that settle first.
    uvccam::sim::wait(0);
}

int Session::selectRequestedDevice()
{
    if (!options_.device)
        return kSuccess;
    const QString& wanted = *options_.device;
    const QList<DeviceInfo> devices = camera_->getDeviceList();
    const bool listed = std::any_of(devices.begin(), devices.end(),
                                    [&wanted](const DeviceInfo& device) { return device.deviceUniqueId == wanted; });
    if (!listed)
        return noDevice(QStringLiteral("--device %1: no such device is attached (see 'uvccamctl list')").arg(wanted));
    if (camera_->setDevice(wanted) != 1)
        return refused(QStringLiteral("--device %1: the library did not select it").arg(wanted));
    uvccam::sim::wait(0);
    return kSuccess;
}

bool Session::requireDevice(const QString& command)
{
    const DeviceInfo selected = camera_->getDeviceInfo();
    if (selected.deviceUniqueId.isEmpty()) {
        const bool none = camera_->getDeviceList().isEmpty();
        noDevice(QStringLiteral("%1: no device selected (%2)")
                     .arg(command, none ? QStringLiteral("none of the maker's devices is attached")
                                        : QStringLiteral("choose one with --device")));
        return false;
    }
    if (!camera_->findDevice()) {
        noDevice(QStringLiteral("%1: the selected device %2 has left").arg(command, describe(selected)));
        return false;
    }
    return true;
}

bool Session::requireCamera(const QString& command)
{
    if (!requireDevice(command))
        return false;
    const DeviceInfo selected = camera_->getDeviceInfo();
    if (isSpeakerphone(selected)) {
        noDevice(QStringLiteral("%1: the selected device %2 is a speakerphone; choose a camera with --device")
                     .arg(command, describe(selected)));
        return false;
    }
    return true;
}

bool Session::requireSpeakerphone(const QString& command)
{
    if (!requireDevice(command))
        return false;
    const DeviceInfo selected = camera_->getDeviceInfo();
    if (!isSpeakerphone(selected)) {
        noDevice(QStringLiteral("%1: the selected device %2 is a camera; choose a speakerphone with --device")
                     .arg(command, describe(selected)));
        return false;
    }
    return true;
}

bool Session::wait(double seconds)
{
    const double end = now() + std::max(seconds, 0.0);
    do {
        if (interrupted())
            return false;
        uvccam::sim::wait(std::min(kWaitStep, end - now()));
    } while (end - now() > kClockResolution);
    return !interrupted();
}

double Session::now() const
{
    return uvccam::sim::clockSeconds();
}

int Session::badUsage(const QString& message)
{
    console_.error(message);
    return kBadUsage;
}

int Session::refused(const QString& message)
{
    console_.error(message);
    return kRefused;
}

int Session::noDevice(const QString& message)
{
    console_.error(message);
    return kNoDevice;
}

}  // namespace uvccamctl
