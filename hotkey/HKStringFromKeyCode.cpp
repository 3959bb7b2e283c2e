// Names key combinations from the fixed table of special keys and the current keyboard layout.
#include "hotkey/HKStringFromKeyCode.h"

#include "KeyEvent.h"
#include "platform/Platform.h"

#include <unordered_map>

namespace {

namespace ModifierFlag = uvccam::platform::ModifierFlag;

constexpr std::uint16_t kCommandKey = 55;
constexpr std::uint16_t kShiftKey = 56;
constexpr std::uint16_t kOptionKey = 58;
constexpr std::uint16_t kControlKey = 59;

// Layout translation: a key-down, no translation options, and room for any text a key
// can type.
constexpr std::uint32_t kNoModifierState = 0;
constexpr int kMaxTranslatedLength = 255;

using KeyCodeMap = std::unordered_map<std::uint16_t, QString>;

// Keys whose text is a symbol rather than what the layout types: modifiers, whitespace and
// editing keys, navigation, media keys and function keys. Built on first use, once per
// process (a function-local static is initialised exactly once), and never changed.
const KeyCodeMap& hkKeyCodeToCharacterMap()
{
    static const KeyCodeMap map = [] {
        KeyCodeMap keys {
            { 36, QStringLiteral(u"\u21A9") },      // Return
            { 48, QStringLiteral(u"\u21E5") },      // Tab
            { 49, QStringLiteral(u"\u23B5") },      // Space
            { 51, QStringLiteral(u"\u232B") },      // Delete
            { 53, QStringLiteral(u"\u238B") },      // Escape
            { 55, QStringLiteral(u"\u2318") },      // Command
            { 56, QStringLiteral(u"\u21E7") },      // Shift
            { 57, QStringLiteral(u"\u21EA") },      // Caps Lock
            { 58, QStringLiteral(u"\u2325") },      // Option
            { 59, QStringLiteral(u"\u2303") },      // Control
            { 60, QStringLiteral(u"\u21E7") },      // right Shift
            { 61, QStringLiteral(u"\u2325") },      // right Option
            { 62, QStringLiteral(u"\u2303") },      // right Control
            // The Function key has no glyph of its own on the keys' labels; it is shown
            // as the Command glyph.
            { 63, QStringLiteral(u"\u2318") },
            { 72, QStringLiteral(u"\U0001F50A") },  // Volume Up
            { 73, QStringLiteral(u"\U0001F508") },  // Volume Down
            { 74, QStringLiteral(u"\U0001F507") },  // Mute
            { 117, QStringLiteral(u"\u2326") },     // Forward Delete
            { 115, QStringLiteral(u"\u2196") },     // Home
            { 119, QStringLiteral(u"\u2198") },     // End
            { 116, QStringLiteral(u"\u21DE") },     // Page Up
            { 121, QStringLiteral(u"\u21DF") },     // Page Down
            { 123, QStringLiteral(u"\u2190") },     // left arrow
            { 124, QStringLiteral(u"\u2192") },     // right arrow
            { 125, QStringLiteral(u"\u2193") },     // down arrow
            { 126, QStringLiteral(u"\u2191") },     // up arrow
        };
        // The function keys' codes follow the keyboard's wiring, not their numbers.
        const std::uint16_t functionKeys[] = { 122, 120, 99, 118, 96, 97, 98, 100, 101, 109,
                                               103, 111, 105, 107, 113, 106, 64, 79, 80, 90 };
        int number = 1;
        for (std::uint16_t keyCode : functionKeys)
            keys.emplace(keyCode, QStringLiteral("F%1").arg(number++));
        return keys;
    }();
    return map;
}

// The text the current keyboard layout gives the key, or none when no layout data can be
// read or the layout types nothing for it.
QString layoutCharacters(std::uint16_t keyCode)
{
    auto& service = uvccam::platform::Platform::current().keyboardLayout();
    // An input method as the current source has no layout data of its own; the user's
    // ASCII-capable layout names the keys then.
    std::shared_ptr<const uvccam::platform::KeyboardLayout> layout = service.currentKeyboardLayout();
    if (!layout)
        layout = service.currentAsciiCapableKeyboardLayout();
    if (!layout)
        return QString();

    // The key is named by its base character, whatever modifiers the combination holds.
    // The glyphs in front already say which modifiers are held, and a shortcut label
    // names the key, not what the key types under them: Shift+2 reads ⇧2 rather than ⇧@,
    // and Option with a letter never turns into an accented letter or a dead key.
    std::uint32_t deadKeyState = 0;
    QString characters;
    const std::int32_t status = layout->translateKeyDown(keyCode, kNoModifierState, service.keyboardType() & 0xFFu,
                                                         deadKeyState, kMaxTranslatedLength, characters);
    if (status != 0)
        return QString();
    return characters.left(kMaxTranslatedLength);
}

}  // namespace

QString HKStringFromKeyCode(std::uint16_t keyCode, unsigned long modifierFlags)
{
    const KeyCodeMap& map = hkKeyCodeToCharacterMap();
    QString text;
    if (modifierFlags & ModifierFlag::Control)
        text += map.at(kControlKey);
    if (modifierFlags & ModifierFlag::Option)
        text += map.at(kOptionKey);
    if (modifierFlags & ModifierFlag::Shift)
        text += map.at(kShiftKey);
    if (modifierFlags & ModifierFlag::Command)
        text += map.at(kCommandKey);

    // A modifier key pressed alone is shown by its glyph among the modifiers already.
    // The right-hand modifier keys are not among these and add their glyph once more.
    if (keyCode == kCommandKey || keyCode == kShiftKey || keyCode == kOptionKey || keyCode == kControlKey)
        return text;

    const auto special = map.find(keyCode);
    if (special != map.end())
        return text + special->second;
    return text + layoutCharacters(keyCode);
}
