// One listed device: what the host shows and what it hands back to select the device.
#pragma once

#include <QList>
#include <QString>

struct DeviceInfo {
    // A camera's USB vendor ID (10811 for every listed camera), a speakerphone's product ID.
    int deviceId = -1;
    // "RX710", "RX710+", "LUM610", "RX240", "LUM630", "LUM250", "ST410", "ST470" or "VOXA760".
    QString modelName;
    // The text to pass to UVCCam::setDevice.
    QString deviceUniqueId;
};
