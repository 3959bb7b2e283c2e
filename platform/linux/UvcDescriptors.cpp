// Reads the device descriptor's serial index and the video-control entities from a device's raw descriptors.
#include "platform/linux/UvcDescriptors.h"

#include <algorithm>

namespace uvccam::platform {

namespace {

constexpr int kDeviceDescriptorLength = 18;
constexpr std::uint8_t kDeviceType = 0x01;
constexpr std::uint8_t kConfigurationType = 0x02;
constexpr std::uint8_t kInterfaceType = 0x04;
constexpr std::uint8_t kClassInterfaceType = 0x24;
constexpr int kSerialNumberOffset = 16;
constexpr int kConfigurationHeaderLength = 9;
constexpr int kInterfaceLength = 9;

constexpr std::uint8_t kVideoClass = 0x0E;
constexpr std::uint8_t kVideoControlSubClass = 0x01;

// Class-specific video-control descriptor subtypes.
constexpr std::uint8_t kInputTerminal = 0x02;
constexpr std::uint8_t kOutputTerminal = 0x03;
constexpr std::uint8_t kSelectorUnit = 0x04;
constexpr std::uint8_t kProcessingUnit = 0x05;
constexpr std::uint8_t kExtensionUnit = 0x06;
constexpr std::uint8_t kEncodingUnit = 0x07;
// An input terminal is a camera terminal when its wTerminalType says so.
constexpr std::uint16_t kCameraTerminalType = 0x0201;
constexpr int kInputTerminalMinLength = 8;
constexpr int kEntityMinLength = 4;

std::uint8_t byteAt(const QByteArray& bytes, int at)
{
    return static_cast<std::uint8_t>(bytes[at]);
}

std::uint16_t wordAt(const QByteArray& bytes, int at)
{
    return static_cast<std::uint16_t>(byteAt(bytes, at) | (byteAt(bytes, at + 1) << 8));
}

// The entity a class-specific video-control descriptor declares, if it declares one.
std::optional<UvcEntity> entityOf(const QByteArray& bytes, int at, int length)
{
    const std::uint8_t subtype = byteAt(bytes, at + 2);
    if (length < kEntityMinLength)
        return std::nullopt;
    UvcEntity entity;
    entity.id = byteAt(bytes, at + 3);
    switch (subtype) {
    case kInputTerminal:
        if (length < kInputTerminalMinLength)
            return std::nullopt;
        entity.kind = wordAt(bytes, at + 4) == kCameraTerminalType ? UvcEntityKind::CameraTerminal : UvcEntityKind::Other;
        return entity;
    case kProcessingUnit:
        entity.kind = UvcEntityKind::ProcessingUnit;
        return entity;
    case kExtensionUnit:
        entity.kind = UvcEntityKind::ExtensionUnit;
        return entity;
    case kOutputTerminal:
    case kSelectorUnit:
    case kEncodingUnit:
        entity.kind = UvcEntityKind::Other;
        return entity;
    default:
        return std::nullopt;  // the header, or a subtype that declares no entity
    }
}

// The video-control interfaces among the descriptors in [begin, end) of one configuration.
std::vector<UvcControlInterface> interfacesIn(const QByteArray& bytes, int begin, int end)
{
    std::vector<UvcControlInterface> interfaces;
    bool inVideoControl = false;
    for (int at = begin; at + 2 <= end;) {
        const int length = byteAt(bytes, at);
        if (length < 2 || at + length > end)
            break;
        const std::uint8_t type = byteAt(bytes, at + 1);
        if (type == kInterfaceType && length >= kInterfaceLength) {
            // Alternate settings repeat the interface; its entities come with setting 0.
            inVideoControl = byteAt(bytes, at + 5) == kVideoClass && byteAt(bytes, at + 6) == kVideoControlSubClass
                && byteAt(bytes, at + 3) == 0;
            if (inVideoControl)
                interfaces.push_back(UvcControlInterface{byteAt(bytes, at + 2), {}});
        } else if (type == kClassInterfaceType && inVideoControl) {
            if (const std::optional<UvcEntity> entity = entityOf(bytes, at, length))
                interfaces.back().entities.push_back(*entity);
        }
        at += length;
    }
    return interfaces;
}

bool hasDeviceDescriptor(const QByteArray& bytes)
{
    return bytes.size() >= kDeviceDescriptorLength && byteAt(bytes, 0) == kDeviceDescriptorLength
        && byteAt(bytes, 1) == kDeviceType;
}

}  // namespace

std::optional<UvcEntityKind> UvcControlInterface::kindOf(std::uint8_t id) const
{
    // An ID declared twice is a faulty descriptor; the first declaration stands.
    const auto found = std::find_if(entities.begin(), entities.end(), [id](const UvcEntity& entity) { return entity.id == id; });
    if (found == entities.end())
        return std::nullopt;
    return found->kind;
}

std::optional<std::uint8_t> UsbDescriptors::serialNumberIndex() const
{
    if (!hasDeviceDescriptor(bytes_))
        return std::nullopt;
    return byteAt(bytes_, kSerialNumberOffset);
}

std::vector<UvcControlInterface> UsbDescriptors::videoControlInterfaces(std::optional<int> configurationValue) const
{
    if (!hasDeviceDescriptor(bytes_))
        return {};
    // Each configuration: its header, then wTotalLength bytes in all from the header on.
    std::vector<std::pair<int, int>> blocks;  // begin, end
    std::optional<std::size_t> chosen;
    const int size = bytes_.size();
    for (int at = kDeviceDescriptorLength; at + kConfigurationHeaderLength <= size;) {
        const int length = byteAt(bytes_, at);
        const int total = wordAt(bytes_, at + 2);
        if (byteAt(bytes_, at + 1) != kConfigurationType || length < kConfigurationHeaderLength || total < length)
            break;
        if (!chosen && configurationValue && byteAt(bytes_, at + 5) == *configurationValue)
            chosen = blocks.size();
        blocks.emplace_back(at, std::min(at + total, size));
        at += total;
    }
    if (blocks.empty())
        return {};
    const auto& [begin, end] = blocks[chosen.value_or(0)];
    return interfacesIn(bytes_, begin, end);
}

}  // namespace uvccam::platform
