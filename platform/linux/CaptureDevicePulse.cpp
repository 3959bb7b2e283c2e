// A sound-server source's identity: USB sources named after their device's location, IDs, product and serial number.
#include "platform/linux/CaptureDevicePulse.h"

#include "platform/linux/UsbLocation.h"

#include <QRegularExpression>
#include <QStringList>

#include <optional>

namespace uvccam::platform {

namespace {

struct UsbPort {
    unsigned busnum;
    QString devpath;
};

// sysfs names a USB device "<bus>-<port>[.<port>…]"; the hubs above it are directories of
// the same form and its interfaces below add ":<configuration>.<interface>", so the last
// component of that form is the device the sound card belongs to.
std::optional<UsbPort> usbPortOf(const QString& sysfsPath)
{
    static const QRegularExpression usbDevice(QStringLiteral("^([0-9]+)-([0-9]+(?:\\.[0-9]+)*)$"));
    const QStringList components = sysfsPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (auto component = components.crbegin(); component != components.crend(); ++component) {
        const QRegularExpressionMatch match = usbDevice.match(*component);
        if (match.hasMatch())
            return UsbPort{match.captured(1).toUInt(), match.captured(2)};
    }
    return std::nullopt;
}

// PulseAudio writes USB IDs as udev does ("2a3b"), PipeWire's server with a "0x" before them.
unsigned usbId(const QString& text)
{
    QString digits = text.trimmed();
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    bool valid = false;
    const unsigned id = digits.toUInt(&valid, 16);
    return valid && id <= 0xFFFF ? id : 0;
}

}  // namespace

std::shared_ptr<CaptureDevicePulse> CaptureDevicePulse::fromSource(const QString& sourceName,
                                                                   const QString& description,
                                                                   const Properties& properties)
{
    if (properties.value(QStringLiteral("device.class")) == QLatin1String("monitor"))
        return nullptr;
    std::shared_ptr<CaptureDevicePulse> device(new CaptureDevicePulse());
    device->_sourceName = sourceName;
    device->_localizedName = description.isEmpty() ? sourceName : description;
    const QString product = properties.value(QStringLiteral("device.product.name"));
    device->_modelID = product.isEmpty() ? device->_localizedName : product;

    const std::optional<UsbPort> port = usbPortOf(properties.value(QStringLiteral("sysfs.path")));
    if (!port && properties.value(QStringLiteral("device.bus")) != QLatin1String("usb")) {
        device->_uniqueID = sourceName;
        return device;
    }
    const std::uint32_t location = port ? usbLocationId(port->busnum, port->devpath) : 0;
    // Joined rather than formatted: a product name or serial number may itself hold "%1".
    device->_uniqueID = QStringLiteral("0x%1%2%3")
                            .arg(location, 8, 16, QLatin1Char('0'))
                            .arg(usbId(properties.value(QStringLiteral("device.vendor.id"))), 4, 16, QLatin1Char('0'))
                            .arg(usbId(properties.value(QStringLiteral("device.product.id"))), 4, 16, QLatin1Char('0'))
        + QLatin1Char(':') + product + QLatin1Char(':') + properties.value(QStringLiteral("device.serial"))
        + QLatin1Char(':') + sourceName;
    return device;
}

}  // namespace uvccam::platform
