// Location IDs from sysfs bus numbers and port paths: readable where they fit, hashed otherwise.
#include "platform/linux/UsbLocation.h"

#include <QStringList>

#include <algorithm>
#include <vector>

namespace uvccam::platform {

namespace {

constexpr std::uint32_t kReadableMarker = 0xF0000000u;
constexpr unsigned kLargestReadableNumber = 0xE;  // bus or port: F is the marker's alone
constexpr std::size_t kReadableTiers = 6;
constexpr std::uint32_t kHashedBase = 0x80000000u;
constexpr std::uint32_t kHashedSpan = 0x70000000u;

std::uint32_t fnv1a(const QByteArray& bytes)
{
    std::uint32_t hash = 2166136261u;
    for (const char byte : bytes) {
        hash ^= static_cast<std::uint8_t>(byte);
        hash *= 16777619u;
    }
    return hash;
}

}  // namespace

std::uint32_t usbLocationId(unsigned busnum, const QString& devpath)
{
    std::vector<unsigned> ports;
    for (const QString& part : devpath.split(QLatin1Char('.'))) {
        const bool digitsOnly = !part.isEmpty() && std::all_of(part.begin(), part.end(), [](QChar c) {
            return c >= QLatin1Char('0') && c <= QLatin1Char('9');
        });
        bool fits = false;
        const unsigned port = digitsOnly ? part.toUInt(&fits) : 0;
        if (!fits || port == 0)
            return 0;
        ports.push_back(port);
    }

    bool readable = busnum >= 1 && busnum <= kLargestReadableNumber && ports.size() <= kReadableTiers;
    for (const unsigned port : ports)
        readable = readable && port <= kLargestReadableNumber;
    if (!readable)
        return kHashedBase + fnv1a(QByteArray::number(busnum) + '-' + devpath.toLatin1()) % kHashedSpan;

    std::uint32_t location = kReadableMarker | busnum << 24;
    int shift = 20;
    for (const unsigned port : ports) {
        location |= port << shift;
        shift -= 4;
    }
    return location;
}

}  // namespace uvccam::platform
