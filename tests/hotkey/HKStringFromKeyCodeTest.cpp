// Names of key combinations: modifier glyphs, the special keys' symbols, and the layout's
// characters with their fallbacks.
#include "hotkey/HKStringFromKeyCode.h"

#include "platform/KeyEvent.h"
#include "platform/Platform.h"
#include "platform/sim/KeyboardLayoutServiceSim.h"
#include "support/SimulatedWorld.h"

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

TEST_F(KeyNames, ModifierKeysAloneShowOnlyTheHeldModifiers)
{
    // The four modifier keys themselves (55, 56, 58, 59) add nothing; the right-hand
    // ones are ordinary table keys and add their glyph once more.
    const struct {
        std::uint16_t keyCode;
        unsigned long flags;
        const char16_t* text;
    } cases[] = {
        { 56, kShift, u"\u21E7" },
        { 60, kShift, u"\u21E7\u21E7" },
        { 55, kCommand, u"\u2318" },
        { 58, kOption | kCommand, u"\u2325\u2318" },
        { 59, 0, u"" },
        { 55, 0, u"" },
        { 63, 0, u"\u2318" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(HKStringFromKeyCode(c.keyCode, c.flags), QString::fromUtf16(c.text)) << "key code " << c.keyCode;
}

TEST_F(KeyNames, ModifierGlyphsComeInTheirFixedOrder)
{
    EXPECT_EQ(HKStringFromKeyCode(96, kAllFour), QString::fromUtf16(u"\u2303\u2325\u21E7\u2318F5"));
    EXPECT_EQ(HKStringFromKeyCode(96, kCommand | kControl), QString::fromUtf16(u"\u2303\u2318F5"));
    EXPECT_EQ(HKStringFromKeyCode(96, kShift | kOption), QString::fromUtf16(u"\u2325\u21E7F5"));
    // Caps lock, the keypad and the Function key have no glyph.
    EXPECT_EQ(HKStringFromKeyCode(96, ModifierFlag::CapsLock | ModifierFlag::NumericPad | ModifierFlag::Function),
              QStringLiteral("F5"));
}

TEST_F(KeyNames, OtherKeysAreNamedByTheLayoutsBaseCharacter)
{
    EXPECT_EQ(HKStringFromKeyCode(37, kCommand), QString::fromUtf16(u"\u2318l"));
    // Shift is shown as its glyph; the key keeps its base character, not "!".
    EXPECT_EQ(HKStringFromKeyCode(18, kShift), QString::fromUtf16(u"\u21E71"));
    EXPECT_EQ(HKStringFromKeyCode(82, kControl), QString::fromUtf16(u"\u23030"));

    const auto& translations = layouts().usLayout().translations();
    ASSERT_EQ(translations.size(), 3u);
    for (const auto& translation : translations) {
        EXPECT_EQ(translation.modifierKeyState, 0u);
        EXPECT_EQ(translation.keyboardType, KeyboardLayoutServiceSim::kDefaultKeyboardType);
        EXPECT_EQ(translation.deadKeyState, 0u);
        EXPECT_EQ(translation.maxLength, 255);
    }
    EXPECT_EQ(translations[1].keyCode, 18);
}

TEST_F(KeyNames, KeyboardTypeIsTheLayoutServices)
{
    layouts().setKeyboardType(0xC5);
    HKStringFromKeyCode(0, 0);
    ASSERT_EQ(layouts().usLayout().translations().size(), 1u);
    EXPECT_EQ(layouts().usLayout().translations()[0].keyboardType, 0xC5u);
}

TEST_F(KeyNames, AsciiCapableLayoutStandsInForASourceWithoutLayoutData)
{
    layouts().setLayoutData(LayoutData::AsciiCapableOnly);
    EXPECT_EQ(HKStringFromKeyCode(40, kOption | kCommand), QString::fromUtf16(u"\u2325\u2318k"));
}

TEST_F(KeyNames, WithoutAnyLayoutOnlyTheGlyphsShow)
{
    layouts().setLayoutData(LayoutData::None);
    EXPECT_EQ(HKStringFromKeyCode(40, kOption | kCommand), QString::fromUtf16(u"\u2325\u2318"));
    EXPECT_EQ(HKStringFromKeyCode(40, 0), QString());
}

TEST_F(KeyNames, KeysThatTypeNothingOrAreRefusedShowOnlyTheGlyphs)
{
    EXPECT_EQ(HKStringFromKeyCode(10, kCommand), QString::fromUtf16(u"\u2318"));    // types nothing
    EXPECT_EQ(HKStringFromKeyCode(200, kCommand), QString::fromUtf16(u"\u2318"));   // not in the layout
    EXPECT_EQ(HKStringFromKeyCode(0xFFFF, 0), QString());
}

// The simulated US layout itself: base, shifted and caps-lock characters.
TEST(KeyboardLayoutSimTest, TranslatesWithTheModifierState)
{
    const struct {
        std::uint16_t keyCode;
        std::uint32_t state;
        const char* text;
    } cases[] = {
        { 0, 0, "a" },
        { 0, KeyboardLayoutSim::kShiftState, "A" },
        { 0, KeyboardLayoutSim::kAlphaLockState, "A" },
        { 18, KeyboardLayoutSim::kAlphaLockState, "1" },
        { 18, KeyboardLayoutSim::kShiftState, "!" },
        { 39, KeyboardLayoutSim::kShiftState, "\"" },
        { 50, 0, "`" },
        { 92, KeyboardLayoutSim::kShiftState, "9" },
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
