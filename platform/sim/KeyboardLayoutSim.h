// A simulated keyboard layout: the US layout of an ANSI keyboard, as a host's user would have it.
#pragma once

#include "platform/KeyboardLayoutService.h"

#include <cstdint>
#include <vector>

namespace uvccam::platform {

// Types the base character of every letter, digit and punctuation key and of the keypad,
// and the shifted character when the modifier state holds Shift (letters also with caps
// lock). Keys that type nothing (Return, arrows, function keys ...) translate to no text,
// and key codes beyond the layout's table are refused. The US layout has no dead keys.
class KeyboardLayoutSim : public KeyboardLayout {
public:
    // Status of a refused translation: the key code is not in the layout's table.
    static constexpr std::int32_t kParameterError = -50;
    // Modifier-state bits (the event manager's modifiers shifted right by 8).
    static constexpr std::uint32_t kShiftState = 0x02;
    static constexpr std::uint32_t kAlphaLockState = 0x04;

    // One translation as it was asked for, so that tests see what a caller passes.
    struct Translation {
        std::uint16_t keyCode;
        std::uint32_t modifierKeyState;
        std::uint32_t keyboardType;
        std::uint32_t deadKeyState;
        int maxLength;
    };

    std::int32_t translateKeyDown(std::uint16_t keyCode, std::uint32_t modifierKeyState, std::uint32_t keyboardType,
                                  std::uint32_t& deadKeyState, int maxLength, QString& text) const override;

    const std::vector<Translation>& translations() const { return translations_; }

private:
    mutable std::vector<Translation> translations_;
};

}  // namespace uvccam::platform
