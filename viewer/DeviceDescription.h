// What kind of device a listed one is, and how the viewer names it.
#pragma once

#include "DeviceInfo.h"

#include <QString>

namespace uvccamviewer {

// A speakerphone is listed under a model name of its family; everything else is a camera.
bool isSpeakerphone(const DeviceInfo& device);
// A device is selected and it has a picture.
bool isCamera(const DeviceInfo& device);
// "RX710 (0x101000002a3b2574)".
QString describe(const DeviceInfo& device);

}  // namespace uvccamviewer
