// The UVC requests a simulated camera received, as comparable text lines.
#pragma once

#include "platform/sim/UvcCameraModel.h"

#include <QString>

namespace uvccam::testing {

// "bmRequestType bRequest wValue wIndex wLength [data]", e.g. "21 01 0200 0300 2 [fb ff]".
inline QString wire(const platform::UvcCameraModel::Request& r)
{
    return QStringLiteral("%1 %2 %3 %4 %5 [%6]")
        .arg(r.setup.bmRequestType, 2, 16, QLatin1Char('0'))
        .arg(r.setup.bRequest, 2, 16, QLatin1Char('0'))
        .arg(r.setup.wValue, 4, 16, QLatin1Char('0'))
        .arg(r.setup.wIndex, 4, 16, QLatin1Char('0'))
        .arg(r.setup.wLength)
        .arg(QString::fromLatin1(r.data.toHex(' ')));
}

}  // namespace uvccam::testing
