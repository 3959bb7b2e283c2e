// Location IDs from bus numbers and port paths: readable, stable, distinct, and never a
// key that hides inside another camera's unique ID.
#include "platform/linux/UsbLocation.h"

#include <gtest/gtest.h>

#include <QSet>
#include <QStringList>

#include <vector>

using uvccam::platform::usbLocationId;

namespace {

struct Port {
    unsigned bus;
    QString path;
};

QString cameraUniqueId(std::uint32_t location)
{
    return QStringLiteral("%1%2").arg(location, 8, 16, QLatin1Char('0')).arg(QStringLiteral("2a3b2574"));
}

bool hashed(std::uint32_t location)
{
    return location >= 0x80000000u && location < 0xf0000000u;
}

}  // namespace

TEST(UsbLocation, OrdinaryTopologiesReadAsBusAndOneDigitPerTier)
{
    const struct {
        unsigned bus;
        const char* path;
        std::uint32_t location;
    } rows[] = {{1, "3", 0xf1300000}, {2, "1.4", 0xf2140000}, {3, "1.2.3.4.5.6", 0xf3123456},
                {14, "14.14", 0xfeee0000}, {1, "1", 0xf1100000}};
    for (const auto& row : rows)
        EXPECT_EQ(usbLocationId(row.bus, QLatin1String(row.path)), row.location) << row.bus << "-" << row.path;
}

TEST(UsbLocation, WhatDoesNotFitIsHashedStablyAndApartFromEveryReadableId)
{
    const Port unusual[] = {{1, "15"}, {1, "1.15"}, {15, "1"}, {0, "1"}, {200, "2"}, {1, "1.2.3.4.5.6.7"}};
    QSet<std::uint32_t> seen;
    for (const Port& port : unusual) {
        const std::uint32_t location = usbLocationId(port.bus, port.path);
        EXPECT_TRUE(hashed(location)) << port.bus << "-" << port.path.toStdString();
        EXPECT_EQ(location, usbLocationId(port.bus, port.path)) << "the same port gives the same ID";
        seen.insert(location);
    }
    EXPECT_EQ(seen.size(), static_cast<int>(std::size(unusual)));
    // A large controller: every port of two tiers of 20-port hubs stays distinct.
    QSet<std::uint32_t> large;
    for (unsigned first = 1; first <= 20; ++first)
        for (unsigned second = 1; second <= 20; ++second)
            large.insert(usbLocationId(1, QStringLiteral("%1.%2").arg(first).arg(second)));
    EXPECT_EQ(large.size(), 400);
}

TEST(UsbLocation, APathThatIsNoListOfPortsGivesNoLocation)
{
    for (const char* path : {"", "0", "1..2", "a", "1.-2", "1. 2"})
        EXPECT_EQ(usbLocationId(1, QLatin1String(path)), 0u) << '"' << path << '"';
}

TEST(UsbLocation, NoCamerasKeyTurnsUpInsideAnotherCamerasUniqueId)
{
    // The library drops every camera whose first seven location digits appear anywhere in
    // a departed camera's unique ID; on hex digits alone, 1-3 and 1-1.3 would meet.
    std::vector<std::uint32_t> locations;
    for (unsigned bus = 1; bus <= 3; ++bus) {
        for (unsigned first = 1; first <= 14; ++first) {
            locations.push_back(usbLocationId(bus, QString::number(first)));
            for (unsigned second = 1; second <= 14; ++second)
                locations.push_back(usbLocationId(bus, QStringLiteral("%1.%2").arg(first).arg(second)));
        }
    }
    for (const std::uint32_t departed : locations) {
        const QString id = cameraUniqueId(departed);
        for (const std::uint32_t other : locations) {
            if (other == departed)
                continue;
            ASSERT_FALSE(id.contains(cameraUniqueId(other).left(7))) << std::hex << departed << " hides " << other;
        }
    }
}
