// Device kinds by model name, as the library lists them.
#include "DeviceDescription.h"

namespace uvccamviewer {

bool isSpeakerphone(const DeviceInfo& device)
{
    return device.modelName.startsWith(QLatin1String("VOXA"));
}

bool isCamera(const DeviceInfo& device)
{
    return !device.deviceUniqueId.isEmpty() && !isSpeakerphone(device);
}

QString describe(const DeviceInfo& device)
{
    return QStringLiteral("%1 (%2)").arg(device.modelName, device.deviceUniqueId);
}

}  // namespace uvccamviewer
