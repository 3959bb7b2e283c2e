// One layout of an xkb keymap (a group) and the text it types for a key-down.
#pragma once

#include "platform/KeyboardLayoutService.h"

#include <QString>

#include <cstdint>
#include <memory>

struct xkb_keymap;

namespace uvccam::platform {

// A compiled keymap, shared by every layout made from it and released with the last one.
using XkbKeymapHandle = std::shared_ptr<xkb_keymap>;
// Takes over the reference that a keymap constructor of xkbcommon returned (null stays null).
XkbKeymapHandle adoptXkbKeymap(xkb_keymap* keymap);

// Translates the desktop's key codes (key positions, see EvdevKeyCodes) through one group of
// a keymap whose key codes are the input layer's plus 8, as X servers and the "evdev" rules
// number them.
//
// The modifier state selects the level as a PC keyboard does: Shift, Caps Lock, and Option
// as the third-level key (AltGr), which is where PC layouts keep what Option types on the
// desktop. Command and Control select no other characters. Num Lock counts as on, so the
// keypad types its digits, as the desktop's keypad always does. The keyboard type is not
// used: a keymap has one table for every keyboard.
//
// Keys that type a control character or nothing (Return, Tab, Escape, arrows ...) and key
// positions a PC keyboard lacks give no text and status 0. A dead key gives no text and
// leaves its keysym in `deadKeyState`; the next key that types something composes with it
// (ê after ^ and e), or, where no single character exists, types the accent and then its
// own text; Space after a dead key types the accent alone. Key codes beyond the desktop's
// 7-bit range and a negative `maxLength` are refused with kParameterError.
class KeyboardLayoutXkb : public KeyboardLayout {
public:
    static constexpr std::int32_t kParameterError = -50;
    // Modifier-state bits (the event manager's modifiers shifted right by 8).
    static constexpr std::uint32_t kShiftState = 0x02;
    static constexpr std::uint32_t kAlphaLockState = 0x04;
    static constexpr std::uint32_t kOptionState = 0x08;

    // `layoutIndex` must be below the keymap's number of layouts.
    KeyboardLayoutXkb(XkbKeymapHandle keymap, std::uint32_t layoutIndex);
    ~KeyboardLayoutXkb() override;

    std::int32_t translateKeyDown(std::uint16_t keyCode, std::uint32_t modifierKeyState, std::uint32_t keyboardType,
                                  std::uint32_t& deadKeyState, int maxLength, QString& text) const override;

    // Whether every letter key types a printable ASCII character without modifiers, as a
    // Latin layout does and a Cyrillic or Greek one does not.
    bool isAsciiCapable() const;
    // The keymap's name for the layout ("English (US)", "German"), for diagnostics.
    QString name() const;
    std::uint32_t layoutIndex() const { return layoutIndex_; }

private:
    // The key's text at the level the modifiers select; empty for a control character.
    QString typedText(std::uint32_t xkbKeyCode, std::uint32_t modifierKeyState, std::uint32_t* keysym) const;

    XkbKeymapHandle keymap_;
    std::uint32_t layoutIndex_;
    // Modifier masks of this keymap (0 where it lacks the modifier).
    std::uint32_t shiftMask_ = 0;
    std::uint32_t lockMask_ = 0;
    std::uint32_t levelThreeMask_ = 0;
    std::uint32_t numLockMask_ = 0;
};

}  // namespace uvccam::platform
