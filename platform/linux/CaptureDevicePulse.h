// One input source of the sound server as an audio capture device, named so that the library finds a camera's microphone by the camera.
#pragma once

#include "platform/CaptureService.h"

#include <QMap>
#include <QString>

#include <memory>

namespace uvccam::platform {

// A source's identity is made once, from what the server said of it when it appeared:
//
// - A source of a USB device (property device.bus "usb", or a sysfs.path below a USB
//   device): uniqueID "0x" + location (8 hex digits) + vendor (4) + product (4), the way a
//   camera's unique ID is written, then ":" device.product.name ":" device.serial ":" the
//   source's name, each part empty when the server gives none:
//   "0xf11400002a3b2574:RX710:2a3b_RX710_SN2574:alsa_input.usb-…". The location is
//   usbLocationId() of the last "<bus>-<port>[.<port>…]" directory of sysfs.path
//   (".../usb1/1-1/1-1.4/1-1.4:1.2/sound/card1": bus 1, ports "1.4", 0xf1140000), 0 without
//   one; vendor and product are device.vendor.id and device.product.id in hex, with or
//   without "0x". The library picks a microphone by a substring of its uniqueID: a camera's
//   seven location digits (its microphone is a function of the same USB device), its serial
//   number, or for a speakerphone the product name ("VOXA"). The source's name at the end
//   keeps two sources of one card apart.
// - Any other source: uniqueID is the source's name.
// - A sink's monitor (device.class "monitor") is no microphone and makes no device.
//
// localizedName is the source's description (its name when it has none); modelID is
// device.product.name, or the description when the server names no product.
class CaptureDevicePulse : public CaptureDevice {
public:
    using Properties = QMap<QString, QString>;

    // nullptr for a sink's monitor.
    static std::shared_ptr<CaptureDevicePulse> fromSource(const QString& sourceName, const QString& description,
                                                          const Properties& properties);

    QString uniqueID() const override { return _uniqueID; }
    QString localizedName() const override { return _localizedName; }
    QString modelID() const override { return _modelID; }
    bool hasMediaType(MediaType type) const override { return type == MediaType::Audio; }
    bool isConnected() const override { return _connected; }

    // The server's name of the source: what pulsesrc's `device` property takes.
    const QString& sourceName() const { return _sourceName; }
    void markDisconnected() { _connected = false; }

private:
    CaptureDevicePulse() = default;

    QString _sourceName;
    QString _uniqueID;
    QString _localizedName;
    QString _modelID;
    bool _connected = true;
};

}  // namespace uvccam::platform
