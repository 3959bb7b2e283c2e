// Reading numbers out of the platform's identity texts, the way the operating system does.
#pragma once

#include <QString>

#include <cstdint>

namespace TextNumbers {

// An optional "0x" (either case of the x), then hexadecimal digits up to the first other
// character. No digits gives 0; a value beyond 32 bits gives 0xFFFFFFFF.
std::uint32_t hexUInt32(const QString& text);

// Leading blanks, an optional sign, then decimal digits up to the first other character.
// No digits gives 0; values beyond the 32-bit range give INT32_MAX or INT32_MIN.
std::int32_t decimalInt32(const QString& text);

}  // namespace TextNumbers
