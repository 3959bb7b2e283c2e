// Which range query answers for which control.
#include "ControlTable.h"

namespace uvccamviewer {

const std::array<ControlDescription, 14>& controlTable()
{
    // The range table's row 0 asks backlight compensation's selector and row 3 contrast's;
    // row 12 asks the exposure mode, not the exposure time. So contrast's range comes from
    // number 3, and saturation, exposure and power-line frequency have none.
    static const std::array<ControlDescription, 14> table{{
        {0, "contrast", "Contrast", ControlKind::Value, 3},
        {1, "brightness", "Brightness", ControlKind::Value, 1},
        {2, "sharpness", "Sharpness", ControlKind::Value, 2},
        {3, "saturation", "Saturation", ControlKind::Value, std::nullopt},
        {4, "backlight", "Backlight compensation", ControlKind::Value, 4},
        {5, "white-balance", "White balance", ControlKind::Value, 5},
        {6, "auto-white-balance", "Automatic white balance", ControlKind::Automatic, std::nullopt},
        {7, "pan", "Pan", ControlKind::Value, 7},
        {8, "tilt", "Tilt", ControlKind::Value, 8},
        {9, "zoom", "Zoom", ControlKind::Value, 9},
        {10, "focus", "Focus", ControlKind::Value, 10},
        {11, "auto-focus", "Automatic focus", ControlKind::Automatic, std::nullopt},
        {12, "exposure", "Exposure", ControlKind::Value, std::nullopt},
        {13, "power-line", "Power-line frequency", ControlKind::Value, std::nullopt},
    }};
    return table;
}

}  // namespace uvccamviewer
