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

bool controlHasRange(int number)
{
    return number >= 0 && number <= 12;
}

QStringList controlNameList()
{
    QStringList names;
    for (const ControlName& control : controlNames())
        names << QLatin1String(control.name);
    return names;
}

}  // namespace uvccamctl
