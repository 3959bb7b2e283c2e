// A key event of the window system, in the vocabulary the hot-key classes speak.
#pragma once

#include "UVCCamExport.h"

#include <QPointF>
#include <QString>

#include <cstdint>

namespace uvccam::platform {

// Modifier flags of a key event. The values are those of the desktop the key codes come
// from; a backend for another window system translates its own modifiers into these.
namespace ModifierFlag {
constexpr std::uint64_t CapsLock = 0x10000;
constexpr std::uint64_t Shift = 0x20000;
constexpr std::uint64_t Control = 0x40000;
constexpr std::uint64_t Option = 0x80000;
constexpr std::uint64_t Command = 0x100000;
constexpr std::uint64_t NumericPad = 0x200000;
constexpr std::uint64_t Function = 0x800000;
}  // namespace ModifierFlag

enum class KeyEventType : int {
    KeyDown = 10,
    KeyUp = 11,
    FlagsChanged = 12,
};

// Key codes are virtual key codes: the position of a key on the keyboard, not the
// character it types (37 is the L key whatever the layout).
// Exported: a host's hot-key action receives one and may describe it.
struct UVCCAM_EXPORT KeyEvent {
    KeyEventType type = KeyEventType::KeyUp;
    QPointF locationInWindow;
    std::uint64_t modifierFlags = 0;
    double timestamp = 0.0;  // seconds on the clock of the event's source
    long windowNumber = -1;
    QString characters;
    QString charactersIgnoringModifiers;
    bool isARepeat = false;
    std::uint16_t keyCode = 0;

    // One line for diagnostics: every field, in a fixed order.
    QString description() const;
};

}  // namespace uvccam::platform

#include <QMetaType>
// Carried as the first argument of a hot key's action, which is invoked by name.
Q_DECLARE_METATYPE(uvccam::platform::KeyEvent)
