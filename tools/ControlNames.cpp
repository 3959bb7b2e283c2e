// The names the tool gives the library's property numbers.
#include "ControlNames.h"

#include "CommandLine.h"

namespace uvccamctl {

const std::array<ControlName, 14>& controlNames()
{
    static const std::array<ControlName, 14> names{{
        {0, "contrast", false},
        {1, "brightness", false},
        {2, "sharpness", false},
        {3, "saturation", false},
        {4, "backlight", false},
        {5, "white-balance", false},
        {6, "auto-white-balance", true},
        {7, "pan", false},
        {8, "tilt", false},
        {9, "zoom", false},
        {10, "focus", false},
        {11, "auto-focus", true},
        {12, "exposure", false},
        {13, "power-line", false},
    }};
    return names;
}

std::optional<ControlName> findControl(const QString& nameOrNumber)
{
    const std::optional<qint64> number = parseInteger(nameOrNumber);
    for (const ControlName& control : controlNames()) {
        if (number ? *number == control.number : nameOrNumber.compare(QLatin1String(control.name), Qt::CaseInsensitive) == 0)
            return control;
    }
    return std::nullopt;
}

QString rangeAsks(int number)
{
    // Each number's row of the library's range table, by the unit and selector it asks:
    // 0 asks the processing unit's selector 1, backlight compensation's (in two bytes where
    // the control has four); 3 asks selector 3, contrast's; 12 asks the camera terminal's
    // selector 3, the exposure mode, where the exposure time is selector 4. Every other
    // number asks its own control.
    static const char* const asks[kRangeNumbers] = {
        "backlight", "brightness", "sharpness", "contrast", "backlight", "white-balance", "auto-white-balance",
        "pan", "tilt", "zoom", "focus", "auto-focus", "exposure-mode",
    };
    return number >= 0 && number < kRangeNumbers ? QLatin1String(asks[number]) : QString();
}

std::optional<int> rangeNumberOf(const ControlName& control)
{
    // A control's own number first: backlight is asked by 0 and 4, and 4 asks in its length.
    if (rangeAsks(control.number) == QLatin1String(control.name))
        return control.number;
    for (int number = 0; number < kRangeNumbers; ++number) {
        if (rangeAsks(number) == QLatin1String(control.name))
            return number;
    }
    return std::nullopt;
}

QStringList controlNameList()
{
    QStringList names;
    for (const ControlName& control : controlNames())
        names << QLatin1String(control.name);
    return names;
}

}  // namespace uvccamctl
