// Qt's key events as the desktop the hot-key classes speak of would deliver them.
#pragma once

#include "KeyEvent.h"

#include <QKeyEvent>

#include <cstdint>
#include <optional>

namespace uvccam::platform {

// Key codes are the desktop's virtual key codes (key positions of an ANSI keyboard with
// the US layout); modifiers become its flags the way a user of that desktop expects on a
// PC keyboard: Ctrl is Command, the Meta (Windows) key is Control, Alt is Option.
class KeyEventTranslatorQt {
public:
    // A key press (or the shortcut check that announces one) becomes a key-down, a
    // release a key-up; a modifier key pressed or released on its own becomes a
    // flags-changed event with the flags held after the change. None for other events
    // and for keys the desktop's keyboard has no key for.
    static std::optional<KeyEvent> translate(const QKeyEvent& event);

    // The virtual key code of a Qt key; keypad keys when `modifiers` has
    // Qt::KeypadModifier. None for keys that have none and for modifier keys.
    static std::optional<std::uint16_t> virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers);

    // The desktop's flags for Qt's modifiers (keypad included).
    static std::uint64_t modifierFlags(Qt::KeyboardModifiers modifiers);
};

}  // namespace uvccam::platform
