// Keyboard layouts: the text a key types with the user's current layout.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>

namespace uvccam::platform {

// The Unicode key-layout data of one input source.
class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;

    // Translates a key-down of `keyCode` into at most `maxLength` UTF-16 units.
    // `modifierKeyState` and `keyboardType` select the layout's table; `deadKeyState`
    // carries a pending dead key from one call to the next (0 to start). Returns 0 and
    // the text, which may be empty (a dead key), or a non-zero status.
    virtual std::int32_t translateKeyDown(std::uint16_t keyCode, std::uint32_t modifierKeyState,
                                          std::uint32_t keyboardType, std::uint32_t& deadKeyState, int maxLength,
                                          QString& text) const = 0;
};

class KeyboardLayoutService {
public:
    virtual ~KeyboardLayoutService() = default;

    // The layout data of the current keyboard input source, or none when that source has
    // no Unicode layout data (an input method, for example).
    virtual std::shared_ptr<const KeyboardLayout> currentKeyboardLayout() const = 0;
    // The layout data of the current ASCII-capable keyboard layout, or none.
    virtual std::shared_ptr<const KeyboardLayout> currentAsciiCapableKeyboardLayout() const = 0;
    // The physical keyboard's type, as the layout tables are indexed by it.
    virtual std::uint8_t keyboardType() const = 0;
};

}  // namespace uvccam::platform
