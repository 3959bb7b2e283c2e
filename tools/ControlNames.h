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
QStringList controlNameList();

// The library's range query covers property numbers 0 to 12, but its table does not
// follow the property numbers everywhere: some numbers ask another control's selector.
constexpr int kRangeNumbers = 13;
// The control whose range property number `number` (0 to 12) really reports: a control
// name, or "exposure-mode" for the camera terminal's exposure mode, which no property
// number sets.
QString rangeAsks(int number);
// The property number whose range is this control's own; none when no number asks it.
std::optional<int> rangeNumberOf(const ControlName& control);

}  // namespace uvccamctl
