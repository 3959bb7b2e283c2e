// The camera's standard controls by name and by the property number the library takes.
#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace uvccamctl {

struct ControlName {
    int number;        // the property number of getProperty / setProperty
    const char* name;  // what the user types
    bool isSwitch;     // 0 or 1 (off or on)
};

// The 14 controls in property-number order.
const std::array<ControlName, 14>& controlNames();
// By name or by number ("zoom", "9"); none for anything else.
std::optional<ControlName> findControl(const QString& nameOrNumber);
// Ranges cover property numbers 0 to 12; power-line frequency has none.
bool controlHasRange(int number);
QStringList controlNameList();

}  // namespace uvccamctl
