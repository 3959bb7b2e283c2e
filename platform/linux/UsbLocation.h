// The 32-bit location ID of a USB device on Linux, from its bus number and port path.
#pragma once

#include <QString>

#include <cstdint>

namespace uvccam::platform {

// The library names a USB device by a 32-bit location: the unique IDs of a camera's video
// and HID functions are built from it, and the two are paired by it. It must be the same
// for one physical port across re-plugs (so it comes from sysfs `busnum` and `devpath`,
// never `devnum`), and its top hex digit must not be zero (a HID unique ID is "%x" of the
// location and has to begin with the camera's seven-digit key).
//
// Ordinary topologies get a readable ID: hex digit F, the bus number, then one digit per
// hub tier from the root port, unused tiers 0 ("2-1.4" gives 0xf2140000). That covers
// buses 1 to 14, ports 1 to 14 and up to six tiers. The digit F appears nowhere else in a
// readable ID, nor in the "2a3b" that follows the location in a camera's unique ID, so one
// camera's seven-digit key can never turn up inside another camera's ID, which is how the
// library tells which camera left.
//
// Anything else (bus 0 or above 14, a port above 14, a deeper chain) is hashed: FNV-1a over
// "busnum-devpath", placed in 0x80000000 to 0xefffffff, so it never equals a readable ID.
// Two hashed IDs are distinct unless their hashes collide (about one pair in 2^30).
// A `devpath` that is not a dotted list of port numbers gives 0: no location.
std::uint32_t usbLocationId(unsigned busnum, const QString& devpath);

}  // namespace uvccam::platform
