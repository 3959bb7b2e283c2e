// The maker's model names, found from a device's product name.
#pragma once

#include <QString>

#include <cstdint>

class ModelTable {
public:
    // The maker's USB vendor ID, on every camera the library controls.
    static constexpr std::uint32_t kMakerVendorId = 0x2A3B;
    // Its lower-case hexadecimal text ends the location part of a camera's unique ID.
    static const QString& makerVendorHex();
    // Every speakerphone is listed and selected under this one model name.
    static const QString& speakerphoneModelName();

    // The model name of a camera whose product name begins with a known prefix, tested in
    // the table's order and case-sensitively; an empty string when nothing matches.
    static QString modelNameForProductName(const QString& productName);
};
