// A keymap group's translation of key-downs: levels from the modifier state, dead keys composed.
#include "platform/linux/KeyboardLayoutXkb.h"

#include "platform/linux/EvdevKeyCodes.h"

#include <xkbcommon/xkbcommon.h>

#include <array>
#include <memory>
#include <optional>
#include <utility>

namespace uvccam::platform {

namespace {

// A key-down event of the desktop carries a 7-bit key code.
constexpr std::uint16_t kKeyCodeCount = 128;

// The keysyms of dead keys, dead_grave to dead_longsolidusoverlay.
constexpr xkb_keysym_t kFirstDeadKeysym = 0xfe50;
constexpr xkb_keysym_t kLastDeadKeysym = 0xfe93;

// The accents a dead key puts on the next character: the combining mark that Unicode
// composes with it, and the accent on its own, which the dead key types when nothing
// composes (after Space, or before a character the accent does not go on).
struct DeadKeyAccent {
    xkb_keysym_t keysym;
    char16_t combining;
    char16_t spacing;
};

constexpr DeadKeyAccent kDeadKeyAccents[] = {
    { 0xfe50, 0x0300, 0x0060 },  // dead_grave: `
    { 0xfe51, 0x0301, 0x00B4 },  // dead_acute: ´
    { 0xfe52, 0x0302, 0x005E },  // dead_circumflex: ^
    { 0xfe53, 0x0303, 0x007E },  // dead_tilde: ~
    { 0xfe54, 0x0304, 0x00AF },  // dead_macron: ¯
    { 0xfe55, 0x0306, 0x02D8 },  // dead_breve: ˘
    { 0xfe56, 0x0307, 0x02D9 },  // dead_abovedot: ˙
    { 0xfe57, 0x0308, 0x00A8 },  // dead_diaeresis: ¨
    { 0xfe58, 0x030A, 0x02DA },  // dead_abovering: ˚
    { 0xfe59, 0x030B, 0x02DD },  // dead_doubleacute: ˝
    { 0xfe5a, 0x030C, 0x02C7 },  // dead_caron: ˇ
    { 0xfe5b, 0x0327, 0x00B8 },  // dead_cedilla: ¸
    { 0xfe5c, 0x0328, 0x02DB },  // dead_ogonek: ˛
};

bool isDeadKeysym(xkb_keysym_t keysym) { return keysym >= kFirstDeadKeysym && keysym <= kLastDeadKeysym; }

const DeadKeyAccent* accentOf(xkb_keysym_t deadKeysym)
{
    for (const DeadKeyAccent& accent : kDeadKeyAccents) {
        if (accent.keysym == deadKeysym)
            return &accent;
    }
    return nullptr;
}

// The accent a dead key types on its own; nothing for a dead key whose accent has no
// character of its own here.
QString spacingAccent(xkb_keysym_t deadKeysym)
{
    const DeadKeyAccent* accent = accentOf(deadKeysym);
    return accent ? QString(QChar(accent->spacing)) : QString();
}

// What a dead key and the text of the key after it type together.
QString composed(xkb_keysym_t deadKeysym, const QString& typed)
{
    const DeadKeyAccent* accent = accentOf(deadKeysym);
    if (!accent)
        return typed;
    if (typed == QLatin1String(" "))
        return QString(QChar(accent->spacing));
    const QString precomposed = (typed + QChar(accent->combining)).normalized(QString::NormalizationForm_C);
    if (precomposed.size() == 1)
        return precomposed;
    return QChar(accent->spacing) + typed;
}

bool isControlCharacter(const QString& text)
{
    return text.size() == 1 && (text.at(0).unicode() < 0x20 || text.at(0).unicode() == 0x7F);
}

std::uint32_t maskOf(xkb_keymap* keymap, const char* modifierName)
{
    const xkb_mod_index_t index = xkb_keymap_mod_get_index(keymap, modifierName);
    return index == XKB_MOD_INVALID ? 0 : (1u << index);
}

struct StateRelease {
    void operator()(xkb_state* state) const { xkb_state_unref(state); }
};

// The letter keys A to Z by position.
constexpr std::array<std::uint16_t, 26> kLetterKeyCodes = { 0,  11, 8,  2, 14, 3,  5,  4,  34, 38, 40, 37, 46,
                                                            45, 31, 35, 12, 15, 1, 17, 32, 9, 13, 7,  16, 6 };

}  // namespace

XkbKeymapHandle adoptXkbKeymap(xkb_keymap* keymap)
{
    if (!keymap)
        return nullptr;
    return XkbKeymapHandle(keymap, [](xkb_keymap* compiled) { xkb_keymap_unref(compiled); });
}

KeyboardLayoutXkb::KeyboardLayoutXkb(XkbKeymapHandle keymap, std::uint32_t layoutIndex)
    : keymap_(std::move(keymap)), layoutIndex_(layoutIndex)
{
    shiftMask_ = maskOf(keymap_.get(), XKB_MOD_NAME_SHIFT);
    lockMask_ = maskOf(keymap_.get(), XKB_MOD_NAME_CAPS);
    // Virtual modifiers: xkbcommon maps them onto the real ones the keymap binds them to
    // (Mod5 and Mod2 in the usual keymaps).
    levelThreeMask_ = maskOf(keymap_.get(), "LevelThree");
    numLockMask_ = maskOf(keymap_.get(), "NumLock");
}

KeyboardLayoutXkb::~KeyboardLayoutXkb() = default;

QString KeyboardLayoutXkb::typedText(std::uint32_t xkbKeyCode, std::uint32_t modifierKeyState,
                                     std::uint32_t* keysym) const
{
    // A state of its own for each translation: nothing carries over between calls but the
    // caller's dead-key state.
    const std::unique_ptr<xkb_state, StateRelease> state(xkb_state_new(keymap_.get()));
    if (!state)
        return QString();
    std::uint32_t depressed = 0;
    if (modifierKeyState & kShiftState)
        depressed |= shiftMask_;
    if (modifierKeyState & kOptionState)
        depressed |= levelThreeMask_;
    std::uint32_t locked = numLockMask_;
    if (modifierKeyState & kAlphaLockState)
        locked |= lockMask_;
    xkb_state_update_mask(state.get(), depressed, 0, locked, 0, 0, layoutIndex_);

    // A key with several keysyms at one level has no single one; such keys are rare and
    // type nothing here.
    *keysym = xkb_state_key_get_one_sym(state.get(), xkbKeyCode);
    if (*keysym == XKB_KEY_NoSymbol || isDeadKeysym(*keysym))
        return QString();
    char utf8[64];
    const int length = xkb_state_key_get_utf8(state.get(), xkbKeyCode, utf8, sizeof utf8);
    if (length <= 0 || std::size_t(length) >= sizeof utf8)
        return QString();
    const QString text = QString::fromUtf8(utf8, length);
    return isControlCharacter(text) ? QString() : text;
}

std::int32_t KeyboardLayoutXkb::translateKeyDown(std::uint16_t keyCode, std::uint32_t modifierKeyState,
                                                 std::uint32_t /*keyboardType*/, std::uint32_t& deadKeyState,
                                                 int maxLength, QString& text) const
{
    text.clear();
    if (keyCode >= kKeyCodeCount || maxLength < 0)
        return kParameterError;
    const std::optional<std::uint16_t> evdevCode = evdevCodeForKeyCode(keyCode);
    if (!evdevCode)
        return 0;

    std::uint32_t keysym = XKB_KEY_NoSymbol;
    QString typed = typedText(*evdevCode + kX11KeyCodeOffset, modifierKeyState, &keysym);
    const xkb_keysym_t pending = isDeadKeysym(deadKeyState) ? deadKeyState : XKB_KEY_NoSymbol;
    if (isDeadKeysym(keysym)) {
        // A second dead key ends the first: both accents, as typed on their own.
        if (pending != XKB_KEY_NoSymbol) {
            typed = spacingAccent(pending) + spacingAccent(keysym);
            deadKeyState = 0;
        } else {
            deadKeyState = keysym;
        }
    } else if (!typed.isEmpty()) {
        if (pending != XKB_KEY_NoSymbol)
            typed = composed(pending, typed);
        deadKeyState = 0;
    }
    // A key that types nothing (a modifier key, say) leaves a pending dead key pending.
    text = typed.left(maxLength);
    return 0;
}

bool KeyboardLayoutXkb::isAsciiCapable() const
{
    for (const std::uint16_t keyCode : kLetterKeyCodes) {
        std::uint32_t keysym = XKB_KEY_NoSymbol;
        const QString typed = typedText(*evdevCodeForKeyCode(keyCode) + kX11KeyCodeOffset, 0, &keysym);
        if (typed.size() != 1 || typed.at(0).unicode() <= 0x20 || typed.at(0).unicode() >= 0x7F)
            return false;
    }
    return true;
}

QString KeyboardLayoutXkb::name() const
{
    return QString::fromUtf8(xkb_keymap_layout_get_name(keymap_.get(), layoutIndex_));
}

}  // namespace uvccam::platform
