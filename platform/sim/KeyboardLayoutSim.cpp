// The US layout's key table and its translation of a key-down.
#include "platform/sim/KeyboardLayoutSim.h"

#include <array>

namespace uvccam::platform {

namespace {

struct KeyCharacters {
    char base = 0;
    char shifted = 0;
};

// Indexed by virtual key code. Codes absent here are keys that type no character.
constexpr std::size_t kTableSize = 128;

constexpr std::array<KeyCharacters, kTableSize> makeUsTable()
{
    std::array<KeyCharacters, kTableSize> table {};
    auto set = [&table](std::size_t keyCode, char base, char shifted) { table[keyCode] = KeyCharacters { base, shifted }; };
    set(0, 'a', 'A');
    set(1, 's', 'S');
    set(2, 'd', 'D');
    set(3, 'f', 'F');
    set(4, 'h', 'H');
    set(5, 'g', 'G');
    set(6, 'z', 'Z');
    set(7, 'x', 'X');
    set(8, 'c', 'C');
    set(9, 'v', 'V');
    set(11, 'b', 'B');
    set(12, 'q', 'Q');
    set(13, 'w', 'W');
    set(14, 'e', 'E');
    set(15, 'r', 'R');
    set(16, 'y', 'Y');
    set(17, 't', 'T');
    set(18, '1', '!');
    set(19, '2', '@');
    set(20, '3', '#');
    set(21, '4', '$');
    set(22, '6', '^');
    set(23, '5', '%');
    set(24, '=', '+');
    set(25, '9', '(');
    set(26, '7', '&');
    set(27, '-', '_');
    set(28, '8', '*');
    set(29, '0', ')');
    set(30, ']', '}');
    set(31, 'o', 'O');
    set(32, 'u', 'U');
    set(33, '[', '{');
    set(34, 'i', 'I');
    set(35, 'p', 'P');
    set(37, 'l', 'L');
    set(38, 'j', 'J');
    set(39, '\'', '"');
    set(40, 'k', 'K');
    set(41, ';', ':');
    set(42, '\\', '|');
    set(43, ',', '<');
    set(44, '/', '?');
    set(45, 'n', 'N');
    set(46, 'm', 'M');
    set(47, '.', '>');
    set(50, '`', '~');
    // The keypad types the same character with or without Shift.
    set(65, '.', '.');
    set(67, '*', '*');
    set(69, '+', '+');
    set(75, '/', '/');
    set(78, '-', '-');
    set(81, '=', '=');
    const char keypadDigits[] = { '0', '1', '2', '3', '4', '5', '6', '7' };
    for (std::size_t digit = 0; digit < 8; ++digit)
        set(82 + digit, keypadDigits[digit], keypadDigits[digit]);
    set(91, '8', '8');
    set(92, '9', '9');
    return table;
}

constexpr std::array<KeyCharacters, kTableSize> kUsTable = makeUsTable();

bool isLetter(char c) { return c >= 'a' && c <= 'z'; }

}  // namespace

std::int32_t KeyboardLayoutSim::translateKeyDown(std::uint16_t keyCode, std::uint32_t modifierKeyState,
                                                 std::uint32_t keyboardType, std::uint32_t& deadKeyState,
                                                 int maxLength, QString& text) const
{
    translations_.push_back(Translation { keyCode, modifierKeyState, keyboardType, deadKeyState, maxLength });
    text.clear();
    if (keyCode >= kTableSize || maxLength < 0)
        return kParameterError;
    deadKeyState = 0;
    const KeyCharacters& key = kUsTable[keyCode];
    if (key.base == 0 || maxLength == 0)
        return 0;
    const bool shifted = (modifierKeyState & kShiftState)
        || ((modifierKeyState & kAlphaLockState) && isLetter(key.base));
    text = QString(QChar::fromLatin1(shifted ? key.shifted : key.base));
    return 0;
}

}  // namespace uvccam::platform
