// Key and modifier tables from Qt's keys to the desktop's virtual key codes and flags.
#include "platform/linux/KeyEventTranslatorQt.h"

#include <QHash>

namespace uvccam::platform {

namespace {

constexpr std::uint16_t kReturnKey = 36;
constexpr std::uint16_t kCommandKey = 55;
constexpr std::uint16_t kShiftKey = 56;
constexpr std::uint16_t kOptionKey = 58;
constexpr std::uint16_t kControlKey = 59;
constexpr std::uint16_t kKeypadEnterKey = 76;

struct KeyInfo {
    std::uint16_t keyCode;
    // Flags the desktop adds by itself for this key.
    std::uint64_t flags = 0;
    // What the key types with no modifier but Shift; empty for none.
    char16_t character = 0;
};

constexpr std::uint64_t kNavigation = ModifierFlag::Function | ModifierFlag::NumericPad;

// Keys that have the same position whatever the modifiers. Qt names a key by what it
// types, so the shifted characters of the US layout appear here at their keys too: Shift+1
// arrives as Qt::Key_Exclam.
const QHash<int, KeyInfo>& mainKeys()
{
    static const QHash<int, KeyInfo> keys = [] {
        QHash<int, KeyInfo> table;
        const struct {
            int qtKey;
            std::uint16_t keyCode;
        } positions[] = {
            { Qt::Key_A, 0 }, { Qt::Key_S, 1 }, { Qt::Key_D, 2 }, { Qt::Key_F, 3 }, { Qt::Key_H, 4 },
            { Qt::Key_G, 5 }, { Qt::Key_Z, 6 }, { Qt::Key_X, 7 }, { Qt::Key_C, 8 }, { Qt::Key_V, 9 },
            { Qt::Key_B, 11 }, { Qt::Key_Q, 12 }, { Qt::Key_W, 13 }, { Qt::Key_E, 14 }, { Qt::Key_R, 15 },
            { Qt::Key_Y, 16 }, { Qt::Key_T, 17 }, { Qt::Key_O, 31 }, { Qt::Key_U, 32 }, { Qt::Key_I, 34 }, { Qt::Key_P, 35 }, { Qt::Key_L, 37 },
            { Qt::Key_J, 38 }, { Qt::Key_K, 40 }, { Qt::Key_N, 45 }, { Qt::Key_M, 46 },
            { Qt::Key_1, 18 }, { Qt::Key_2, 19 }, { Qt::Key_3, 20 }, { Qt::Key_4, 21 }, { Qt::Key_6, 22 },
            { Qt::Key_5, 23 }, { Qt::Key_9, 25 }, { Qt::Key_7, 26 }, { Qt::Key_8, 28 }, { Qt::Key_0, 29 },
            { Qt::Key_Exclam, 18 }, { Qt::Key_At, 19 }, { Qt::Key_NumberSign, 20 }, { Qt::Key_Dollar, 21 },
            { Qt::Key_AsciiCircum, 22 }, { Qt::Key_Percent, 23 }, { Qt::Key_ParenLeft, 25 },
            { Qt::Key_Ampersand, 26 }, { Qt::Key_Asterisk, 28 }, { Qt::Key_ParenRight, 29 },
            { Qt::Key_Equal, 24 }, { Qt::Key_Plus, 24 }, { Qt::Key_Minus, 27 }, { Qt::Key_Underscore, 27 },
            { Qt::Key_BracketRight, 30 }, { Qt::Key_BraceRight, 30 }, { Qt::Key_BracketLeft, 33 },
            { Qt::Key_BraceLeft, 33 }, { Qt::Key_Apostrophe, 39 }, { Qt::Key_QuoteDbl, 39 },
            { Qt::Key_Semicolon, 41 }, { Qt::Key_Colon, 41 }, { Qt::Key_Backslash, 42 }, { Qt::Key_Bar, 42 },
            { Qt::Key_Comma, 43 }, { Qt::Key_Less, 43 }, { Qt::Key_Slash, 44 }, { Qt::Key_Question, 44 },
            { Qt::Key_Period, 47 }, { Qt::Key_Greater, 47 }, { Qt::Key_QuoteLeft, 50 },
            { Qt::Key_AsciiTilde, 50 },
        };
        for (const auto& key : positions)
            table.insert(key.qtKey, KeyInfo { key.keyCode });

        // The desktop's characters for keys that type none: control characters for the
        // editing keys, private-use characters for function and navigation keys.
        table.insert(Qt::Key_Return, KeyInfo { kReturnKey, 0, u'\r' });
        table.insert(Qt::Key_Enter, KeyInfo { kKeypadEnterKey, ModifierFlag::NumericPad, 0x0003 });
        table.insert(Qt::Key_Tab, KeyInfo { 48, 0, u'\t' });
        table.insert(Qt::Key_Backtab, KeyInfo { 48, 0, 0x0019 });  // Qt's name for Shift+Tab
        table.insert(Qt::Key_Space, KeyInfo { 49, 0, u' ' });
        table.insert(Qt::Key_Backspace, KeyInfo { 51, 0, 0x007F });
        table.insert(Qt::Key_Escape, KeyInfo { 53, 0, 0x001B });
        table.insert(Qt::Key_VolumeUp, KeyInfo { 72 });
        table.insert(Qt::Key_VolumeDown, KeyInfo { 73 });
        table.insert(Qt::Key_VolumeMute, KeyInfo { 74 });
        table.insert(Qt::Key_Insert, KeyInfo { 114, ModifierFlag::Function, 0xF746 });  // the Help key's place
        table.insert(Qt::Key_Help, KeyInfo { 114, ModifierFlag::Function, 0xF746 });
        table.insert(Qt::Key_Home, KeyInfo { 115, ModifierFlag::Function, 0xF729 });
        table.insert(Qt::Key_PageUp, KeyInfo { 116, ModifierFlag::Function, 0xF72C });
        table.insert(Qt::Key_Delete, KeyInfo { 117, ModifierFlag::Function, 0xF728 });
        table.insert(Qt::Key_End, KeyInfo { 119, ModifierFlag::Function, 0xF72B });
        table.insert(Qt::Key_PageDown, KeyInfo { 121, ModifierFlag::Function, 0xF72D });
        table.insert(Qt::Key_Left, KeyInfo { 123, kNavigation, 0xF702 });
        table.insert(Qt::Key_Right, KeyInfo { 124, kNavigation, 0xF703 });
        table.insert(Qt::Key_Down, KeyInfo { 125, kNavigation, 0xF701 });
        table.insert(Qt::Key_Up, KeyInfo { 126, kNavigation, 0xF700 });
        // The function keys' codes follow the keyboard's wiring, not their numbers.
        const std::uint16_t functionKeys[] = { 122, 120, 99, 118, 96, 97, 98, 100, 101, 109,
                                               103, 111, 105, 107, 113, 106, 64, 79, 80, 90 };
        for (int number = 0; number < 20; ++number) {
            table.insert(Qt::Key_F1 + number, KeyInfo { functionKeys[number], ModifierFlag::Function,
                                                        static_cast<char16_t>(0xF704 + number) });
        }
        return table;
    }();
    return keys;
}

// Keys of the numeric keypad, which Qt tells apart only by Qt::KeypadModifier.
const QHash<int, KeyInfo>& keypadKeys()
{
    static const QHash<int, KeyInfo> keys = [] {
        QHash<int, KeyInfo> table;
        const std::uint16_t digits[] = { 82, 83, 84, 85, 86, 87, 88, 89, 91, 92 };
        for (int digit = 0; digit < 10; ++digit)
            table.insert(Qt::Key_0 + digit, KeyInfo { digits[digit], 0, static_cast<char16_t>(u'0' + digit) });
        table.insert(Qt::Key_Period, KeyInfo { 65, 0, u'.' });
        table.insert(Qt::Key_Asterisk, KeyInfo { 67, 0, u'*' });
        table.insert(Qt::Key_Plus, KeyInfo { 69, 0, u'+' });
        table.insert(Qt::Key_Clear, KeyInfo { 71, 0, 0xF739 });
        table.insert(Qt::Key_Slash, KeyInfo { 75, 0, u'/' });
        table.insert(Qt::Key_Enter, KeyInfo { kKeypadEnterKey, 0, 0x0003 });
        table.insert(Qt::Key_Minus, KeyInfo { 78, 0, u'-' });
        table.insert(Qt::Key_Equal, KeyInfo { 81, 0, u'=' });
        return table;
    }();
    return keys;
}

std::optional<KeyInfo> keyInfo(int qtKey, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::KeypadModifier) {
        const auto keypad = keypadKeys().constFind(qtKey);
        if (keypad != keypadKeys().constEnd())
            return *keypad;
    }
    const auto key = mainKeys().constFind(qtKey);
    if (key == mainKeys().constEnd())
        return std::nullopt;
    return *key;
}

struct ModifierKey {
    std::uint16_t keyCode;
    Qt::KeyboardModifier modifier;
};

// Modifier keys: their own key code and the Qt modifier they hold down. The Super keys
// are where X11 puts the Windows keys that Qt reports as Meta.
std::optional<ModifierKey> modifierKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Control:
        return ModifierKey { kCommandKey, Qt::ControlModifier };
    case Qt::Key_Shift:
        return ModifierKey { kShiftKey, Qt::ShiftModifier };
    case Qt::Key_Alt:
        return ModifierKey { kOptionKey, Qt::AltModifier };
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
        return ModifierKey { kControlKey, Qt::MetaModifier };
    default:
        return std::nullopt;
    }
}

QString charactersIgnoringModifiers(int qtKey, const KeyInfo& key, Qt::KeyboardModifiers modifiers)
{
    if (key.character != 0)
        return QString(QChar(key.character));
    // Qt's letter keys are the capitals; what the key types without modifiers but Shift
    // is the small letter unless Shift is held.
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        const QChar capital(static_cast<char16_t>(qtKey));
        return QString(modifiers & Qt::ShiftModifier ? capital : capital.toLower());
    }
    if (qtKey > 0x20 && qtKey < 0x7F)
        return QString(QChar(static_cast<char16_t>(qtKey)));
    return QString();
}

}  // namespace

std::uint64_t KeyEventTranslatorQt::modifierFlags(Qt::KeyboardModifiers modifiers)
{
    std::uint64_t flags = 0;
    if (modifiers & Qt::ShiftModifier)
        flags |= ModifierFlag::Shift;
    if (modifiers & Qt::ControlModifier)
        flags |= ModifierFlag::Command;
    if (modifiers & Qt::MetaModifier)
        flags |= ModifierFlag::Control;
    if (modifiers & Qt::AltModifier)
        flags |= ModifierFlag::Option;
    if (modifiers & Qt::KeypadModifier)
        flags |= ModifierFlag::NumericPad;
    return flags;
}

std::optional<std::uint16_t> KeyEventTranslatorQt::virtualKeyCode(int qtKey, Qt::KeyboardModifiers modifiers)
{
    const std::optional<KeyInfo> key = keyInfo(qtKey, modifiers);
    if (!key)
        return std::nullopt;
    return key->keyCode;
}

std::optional<KeyEvent> KeyEventTranslatorQt::translate(const QKeyEvent& event)
{
    const bool pressed = event.type() == QEvent::KeyPress || event.type() == QEvent::ShortcutOverride;
    if (!pressed && event.type() != QEvent::KeyRelease)
        return std::nullopt;

    KeyEvent translated;
    translated.timestamp = static_cast<double>(event.timestamp()) / 1000.0;
    translated.isARepeat = event.isAutoRepeat();

    if (const std::optional<ModifierKey> modifier = modifierKey(event.key())) {
        // Window systems differ in whether a modifier key's own event already counts the
        // modifier; the desktop reports the flags held once the change is made.
        Qt::KeyboardModifiers after = event.modifiers();
        after.setFlag(modifier->modifier, pressed);
        translated.type = KeyEventType::FlagsChanged;
        translated.keyCode = modifier->keyCode;
        translated.modifierFlags = modifierFlags(after);
        return translated;
    }

    const std::optional<KeyInfo> key = keyInfo(event.key(), event.modifiers());
    if (!key)
        return std::nullopt;
    translated.type = pressed ? KeyEventType::KeyDown : KeyEventType::KeyUp;
    translated.keyCode = key->keyCode;
    translated.modifierFlags = modifierFlags(event.modifiers()) | key->flags;
    translated.charactersIgnoringModifiers = charactersIgnoringModifiers(event.key(), *key, event.modifiers());
    translated.characters = event.text().isEmpty() ? translated.charactersIgnoringModifiers : event.text();
    return translated;
}

}  // namespace uvccam::platform
