// The camera's standard controls as the viewer shows them, one row per property number.
#pragma once

#include <array>
#include <optional>

namespace uvccamviewer {

enum class ControlKind {
    Value,      // a number, shown as a slider over its range or a plain field without one
    Automatic,  // an automatic mode, on or off
};

struct ControlDescription {
    int number;        // the property number of getProperty / setProperty
    const char* name;  // the name in status messages, as uvccamctl spells it
    const char* label;
    ControlKind kind;
    // The number whose getPropertyRange reports this control's range; none when no
    // number asks it (the library's range table does not follow the property numbers).
    std::optional<int> rangeNumber;
};

// The 14 controls in property-number order.
const std::array<ControlDescription, 14>& controlTable();

}  // namespace uvccamviewer
