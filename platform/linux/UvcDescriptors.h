// What a camera's USB descriptors say: its serial string's index, and which unit ID is which kind of entity.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>
#include <vector>

namespace uvccam::platform {

// The kinds of video-control entity a request can address. uvcvideo offers the camera
// terminal's and the processing unit's controls as V4L2 controls and the extension units'
// as raw queries; every other entity (output terminals, selector and encoding units, input
// terminals that are not cameras) has no way through.
enum class UvcEntityKind { CameraTerminal, ProcessingUnit, ExtensionUnit, Other };

struct UvcEntity {
    std::uint8_t id = 0;
    UvcEntityKind kind = UvcEntityKind::Other;
};

// One video-control interface (alternate setting 0) and the entities its class-specific
// descriptors declare, in descriptor order.
struct UvcControlInterface {
    std::uint8_t interfaceNumber = 0;
    std::vector<UvcEntity> entities;

    // The kind of the entity with this ID; none when the interface declares no such ID.
    std::optional<UvcEntityKind> kindOf(std::uint8_t id) const;
};

// The contents of a USB device's sysfs `descriptors`: its 18-byte device descriptor, then
// each configuration's descriptors as the device sent them (wTotalLength bytes each).
class UsbDescriptors {
public:
    explicit UsbDescriptors(QByteArray bytes) : bytes_(std::move(bytes)) {}

    // iSerialNumber of the device descriptor (0: the device has no serial string); none
    // when there is no well-formed device descriptor.
    std::optional<std::uint8_t> serialNumberIndex() const;

    // The video-control interfaces of the configuration with this bConfigurationValue, or
    // of the first configuration when none has it (an unconfigured device, or the value
    // unknown). Parsing stops at the first malformed descriptor, keeping what came before.
    std::vector<UvcControlInterface> videoControlInterfaces(std::optional<int> configurationValue) const;

private:
    QByteArray bytes_;
};

}  // namespace uvccam::platform
