// The desktop's key codes (key positions) and the Linux input layer's, for the X11 and
// keyboard-layout backends.
#pragma once

#include <cstdint>
#include <optional>

namespace uvccam::platform {

// The input layer's code of the key at a key code's position (KEY_L for 37), or none for a
// position a PC keyboard does not have. The modifier keys follow the convention of the
// Qt key translation: Ctrl is Command, the Windows (Super) key is Control, Alt is Option.
std::optional<std::uint16_t> evdevCodeForKeyCode(std::uint16_t keyCode);
// The key code of the key with that input-layer code, or none.
std::optional<std::uint16_t> keyCodeForEvdevCode(std::uint16_t evdevCode);

// X servers number keys as the input layer does, shifted by 8 (the core protocol's lowest
// key code), under the evdev keymaps X.Org and Xwayland use.
constexpr std::uint32_t kX11KeyCodeOffset = 8;

}  // namespace uvccam::platform
