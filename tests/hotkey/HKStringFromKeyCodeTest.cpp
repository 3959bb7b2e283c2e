// Names of key combinations: modifier glyphs, the special keys' symbols, and the layout's
// characters with their fallbacks.
#include "hotkey/HKStringFromKeyCode.h"

#include "KeyEvent.h"
#include "platform/Platform.h"
#include "platform/sim/KeyboardLayoutServiceSim.h"
#include "support/SimulatedWorld.h"

#include <tuple>

namespace {

using namespace uvccam::platform;
using uvccam::testing::SimulatedWorld;
using LayoutData = KeyboardLayoutServiceSim::LayoutData;

constexpr unsigned long kControl = ModifierFlag::Control;
constexpr unsigned long kOption = ModifierFlag::Option;
constexpr unsigned long kShift = ModifierFlag::Shift;
constexpr unsigned long kCommand = ModifierFlag::Command;
constexpr unsigned long kAllFour = kControl | kOption | kShift | kCommand;

class KeyNames : public SimulatedWorld {
protected:
    KeyboardLayoutServiceSim& layouts()
    {
        return static_cast<KeyboardLayoutServiceSim&>(Platform::current().keyboardLayout());
    }
};

struct NamedKey {
    std::uint16_t keyCode;
    const char16_t* text;
};

// Every special key, each named once, with no modifiers.
const NamedKey kSpecialKeys[] = {
    { 36, u"\u21A9" }, { 48, u"\u21E5" }, { 49, u"\u23B5" }, { 51, u"\u232B" }, { 53, u"\u238B" },
    { 57, u"\u21EA" }, { 60, u"\u21E7" }, { 61, u"\u2325" }, { 62, u"\u2303" }, { 63, u"\u2318" },
    { 72, u"\U0001F50A" }, { 73, u"\U0001F508" }, { 74, u"\U0001F507" }, { 117, u"\u2326" },
    { 115, u"\u2196" }, { 119, u"\u2198" }, { 116, u"\u21DE" }, { 121, u"\u21DF" }, { 123, u"\u2190" },
    { 124, u"\u2192" }, { 125, u"\u2193" }, { 126, u"\u2191" },
    { 122, u"F1" }, { 120, u"F2" }, { 99, u"F3" }, { 118, u"F4" }, { 96, u"F5" }, { 97, u"F6" },
    { 98, u"F7" }, { 100, u"F8" }, { 101, u"F9" }, { 109, u"F10" }, { 103, u"F11" }, { 111, u"F12" },
    { 105, u"F13" }, { 107, u"F14" }, { 113, u"F15" }, { 106, u"F16" }, { 64, u"F17" }, { 79, u"F18" },
    { 80, u"F19" }, { 90, u"F20" },
};

TEST_F(KeyNames, EverySpecialKeyHasItsSymbolAndNeedsNoLayout)
{
    // The symbols do not come from the layout: they show with no layout at all.
    layouts().setLayoutData(LayoutData::None);
    for (const NamedKey& key : kSpecialKeys)
        EXPECT_EQ(HKStringFromKeyCode(key.keyCode, 0), QString::fromUtf16(key.text)) << "key code " << key.keyCode;
    EXPECT_TRUE(layouts().usLayout().translations().empty());
}

TEST_F(KeyNames, ModifierGlyphsInTheirFixedOrderThenTheKeysNameOrTheLayoutsBaseCharacter)
{
    const struct {
        std::uint16_t keyCode;
        unsigned long flags;
        const char16_t* text;
    } cases[] = {
        // The four modifier keys themselves (55, 56, 58, 59) add nothing; the right-hand
        // ones are ordinary table keys and add their glyph once more.
        { 56, kShift, u"\u21E7" }, { 60, kShift, u"\u21E7\u21E7" }, { 55, kCommand, u"\u2318" },
        { 58, kOption | kCommand, u"\u2325\u2318" }, { 59, 0, u"" }, { 55, 0, u"" }, { 63, 0, u"\u2318" },
        { 96, kAllFour, u"\u2303\u2325\u21E7\u2318F5" }, { 96, kCommand | kControl, u"\u2303\u2318F5" },
        { 96, kShift | kOption, u"\u2325\u21E7F5" },
        // Caps lock, the keypad and the Function key have no glyph.
        { 96, ModifierFlag::CapsLock | ModifierFlag::NumericPad | ModifierFlag::Function, u"F5" },
        // Shift is shown as its glyph; the key keeps its base character, not "!".
        { 37, kCommand, u"\u2318l" }, { 18, kShift, u"\u21E71" }, { 82, kControl, u"\u23030" },
        // Keys that type nothing, or that the layout refuses, show only the glyphs.
        { 10, kCommand, u"\u2318" }, { 200, kCommand, u"\u2318" }, { 0xFFFF, 0, u"" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(HKStringFromKeyCode(c.keyCode, c.flags), QString::fromUtf16(c.text)) << "key code " << c.keyCode;
}

TEST_F(KeyNames, TheLayoutIsAskedForTheBaseCharacterOnTheServicesKeyboardType)
{
    layouts().setKeyboardType(0xC5);
    EXPECT_EQ(HKStringFromKeyCode(18, kShift), QString::fromUtf16(u"\u21E71"));
    const auto& translations = layouts().usLayout().translations();
    ASSERT_EQ(translations.size(), 1u);
    const auto& t = translations[0];  // key code, modifier state, keyboard type, dead-key state, length
    EXPECT_EQ(std::make_tuple(t.keyCode, t.modifierKeyState, t.keyboardType, t.deadKeyState, t.maxLength),
              std::make_tuple(std::uint16_t{18}, 0u, 0xC5u, 0u, 255));
}

TEST_F(KeyNames, AnAsciiCapableLayoutStandsInForASourceWithoutLayoutDataAndWithoutAnyOnlyTheGlyphsShow)
{
    layouts().setLayoutData(LayoutData::AsciiCapableOnly);
    EXPECT_EQ(HKStringFromKeyCode(40, kOption | kCommand), QString::fromUtf16(u"\u2325\u2318k"));
    layouts().setLayoutData(LayoutData::None);
    EXPECT_EQ(HKStringFromKeyCode(40, kOption | kCommand), QString::fromUtf16(u"\u2325\u2318"));
    EXPECT_EQ(HKStringFromKeyCode(40, 0), QString());
}

// The simulated US layout itself: base, shifted and caps-lock characters.
TEST(KeyboardLayoutSimTest, TranslatesWithTheModifierState)
{
    using L = KeyboardLayoutSim;
    const struct {
        std::uint16_t keyCode;
        std::uint32_t state;
        const char* text;
    } cases[] = {
        { 0, 0, "a" }, { 0, L::kShiftState, "A" }, { 0, L::kAlphaLockState, "A" }, { 18, L::kAlphaLockState, "1" },
        { 18, L::kShiftState, "!" }, { 39, L::kShiftState, "\"" }, { 50, 0, "`" }, { 92, L::kShiftState, "9" },
        { 36, 0, "" },
    };
    KeyboardLayoutSim layout;
    for (const auto& c : cases) {
        std::uint32_t deadKeyState = 0;
        QString text = QStringLiteral("stale");
        EXPECT_EQ(layout.translateKeyDown(c.keyCode, c.state, 40, deadKeyState, 255, text), 0);
        EXPECT_EQ(text, QString::fromLatin1(c.text)) << "key code " << c.keyCode;
    }
    std::uint32_t deadKeyState = 0;
    QString text;
    EXPECT_EQ(layout.translateKeyDown(128, 0, 40, deadKeyState, 255, text), KeyboardLayoutSim::kParameterError);
    EXPECT_EQ(layout.translateKeyDown(0, 0, 40, deadKeyState, 0, text), 0);
    EXPECT_TRUE(text.isEmpty());
}

}  // namespace
