// Identity texts of a simulated device, in the forms the operating system uses.
#include "platform/sim/SimulatedDevice.h"

namespace uvccam::platform {

SimulatedDevice::SimulatedDevice(DeviceProfile profile) : profile_(std::move(profile))
{
    // The RX710 lays its controls out differently; every other camera shares one layout.
    if (isCamera())
        uvc_ = std::make_unique<UvcCameraModel>(profile_.productId == kRx710ProductId, profile_.serialNumber);
    firmware_ = std::make_unique<HidFirmware>(*hid_, uvc_.get(), profile_.productId);
}

QString SimulatedDevice::captureUniqueID() const
{
    if (!isCamera())
        return audioCaptureUniqueID();
    return QStringLiteral("0x%1%2%3")
        .arg(profile_.locationId, 8, 16, QLatin1Char('0'))
        .arg(profile_.vendorId, 4, 16, QLatin1Char('0'))
        .arg(profile_.productId, 4, 16, QLatin1Char('0'));
}

QString SimulatedDevice::audioCaptureUniqueID() const
{
    return profile_.productName + QLatin1Char(':') + QStringLiteral("%1").arg(profile_.locationId, 8, 16, QLatin1Char('0'))
        + QLatin1Char(':') + profile_.serialNumber;
}

QString SimulatedDevice::captureModelID() const
{
    return QStringLiteral("UVC Camera VendorID_%1 ProductID_%2").arg(profile_.vendorId).arg(profile_.productId);
}

QString SimulatedDevice::listedUniqueID() const
{
    return isCamera() ? captureUniqueID() : QString::number(profile_.locationId, 16);
}

}  // namespace uvccam::platform
