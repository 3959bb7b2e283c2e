// Key names on Linux: the layout the XKB_DEFAULT_* variables name without a display, the X
// server's layout with one (a new keymap and a group switch picked up), and what a layout
// types for a key-down (levels, dead keys, keys that type nothing, refusals).
#include "platform/linux/KeyboardLayoutServiceXkb.h"

#include "KeyEvent.h"
#include "hotkey/HKStringFromKeyCode.h"
#include "platform/Platform.h"
#include "platform/linux/KeyboardLayoutXkb.h"
#include "platform/linux/PlatformLinux.h"
#include "support/CategoryMessages.h"
#include "support/PrivateXServer.h"
#include "support/QtPrinters.h"
#include "support/ScopedEnvironment.h"


#include <gtest/gtest.h>

#include <xcb/xcb.h>
// The XKB protocol header names a structure member "explicit", which C++ reserves.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <vector>

namespace uvccam::platform {
namespace {

using testing::CategoryMessages;
using testing::PrivateXServer;
using testing::ScopedEnvironment;

constexpr unsigned long kShift = ModifierFlag::Shift;
constexpr unsigned long kCommand = ModifierFlag::Command;

// Positions named in the cases below.
constexpr std::uint16_t kA = 0, kZ = 6, kQ = 12, kW = 13, kE = 14, kY = 16, kOne = 18, kTwo = 19, kEqual = 24,
                        kMinus = 27, kZero = 29, kLeftBracket = 33, kL = 37, kQuote = 39, kSemicolon = 41,
                        kComma = 43, kM = 46, kSpace = 49, kGrave = 50, kShiftKey = 56, kKeypadZero = 82;

const char* const kRuleVariables[] = { "XKB_DEFAULT_RULES", "XKB_DEFAULT_MODEL", "XKB_DEFAULT_LAYOUT",
                                       "XKB_DEFAULT_VARIANT", "XKB_DEFAULT_OPTIONS" };

// The Linux platform with no display and none of the XKB_DEFAULT_* variables unless a test
// sets them.
class KeyNamesOnLinux : public ::testing::Test {
protected:
    KeyNamesOnLinux()
    {
        environment.unset("DISPLAY");
        for (const char* variable : kRuleVariables)
            environment.unset(variable);
        Platform::install(PlatformLinux::create());
    }
    ~KeyNamesOnLinux() override { Platform::install(nullptr); }

    static QString name(std::uint16_t keyCode, unsigned long modifiers = 0)
    {
        return HKStringFromKeyCode(keyCode, modifiers);
    }
    static KeyboardLayoutService& layouts() { return Platform::current().keyboardLayout(); }

    ScopedEnvironment environment;
};

struct NamedKey {
    std::uint16_t keyCode;
    unsigned long modifiers;
    const char16_t* text;
};

struct LayoutNames {
    const char* layout;
    std::vector<NamedKey> keys;
};

class KeyNamesOfALayout : public KeyNamesOnLinux, public ::testing::WithParamInterface<LayoutNames> {
};

TEST_P(KeyNamesOfALayout, EachKeyIsNamedByWhatTheLayoutTypesThere)
{
    environment.set("XKB_DEFAULT_LAYOUT", GetParam().layout);
    for (const NamedKey& key : GetParam().keys) {
        EXPECT_EQ(name(key.keyCode, key.modifiers), QString::fromUtf16(key.text))
            << GetParam().layout << ", key code " << key.keyCode << ", modifiers " << std::hex << key.modifiers;
    }
}

// The base character whatever the modifiers (Shift+2 reads ⇧2, not ⇧@); a dead key names
// nothing, so only the modifiers show; the keypad has its digits (Num Lock counts as on).
INSTANTIATE_TEST_SUITE_P(
    Layouts, KeyNamesOfALayout,
    ::testing::Values(
        LayoutNames { "us",
                      { { kL, kCommand, u"\u2318l" }, { kY, 0, u"y" }, { kZ, 0, u"z" }, { kA, 0, u"a" },
                        { kQ, 0, u"q" }, { kTwo, kShift, u"\u21E72" }, { kMinus, 0, u"-" }, { kGrave, 0, u"`" },
                        { kKeypadZero, 0, u"0" }, { kSemicolon, 0, u";" } } },
        LayoutNames { "de",
                      { { kY, 0, u"z" }, { kZ, 0, u"y" }, { kTwo, kShift, u"\u21E72" }, { kMinus, 0, u"\u00DF" },
                        { kSemicolon, 0, u"\u00F6" }, { kQuote, 0, u"\u00E4" }, { kLeftBracket, 0, u"\u00FC" },
                        { kEqual, kCommand, u"\u2318" }, { kGrave, 0, u"" }, { kL, kCommand, u"\u2318l" } } },
        LayoutNames { "fr",
                      { { kA, 0, u"q" }, { kQ, 0, u"a" }, { kW, 0, u"z" }, { kZ, 0, u"w" }, { kSemicolon, 0, u"m" },
                        { kM, 0, u"," }, { kTwo, kShift, u"\u21E7\u00E9" }, { kOne, 0, u"&" }, { kZero, 0, u"\u00E0" },
                        { kLeftBracket, kCommand, u"\u2318" } } }),
    [](const ::testing::TestParamInfo<LayoutNames>& row) { return std::string(row.param.layout); });

TEST_F(KeyNamesOnLinux, WithoutVariablesTheLayoutIsUsAndAChangeOfThemIsPickedUp)
{
    EXPECT_EQ(name(kY), "y");
    environment.set("XKB_DEFAULT_LAYOUT", "de");
    EXPECT_EQ(name(kY), "z");
    environment.set("XKB_DEFAULT_LAYOUT", "fr");
    environment.set("XKB_DEFAULT_VARIANT", "bepo");
    EXPECT_EQ(name(kA), "a") << "bépo types a at that key";
    EXPECT_EQ(name(kQ), "b");
}

TEST_F(KeyNamesOnLinux, ANonLatinLayoutNamesItsKeysAndTheAsciiCapableOneIsTheFirstLatinLayout)
{
    environment.set("XKB_DEFAULT_LAYOUT", "ru,de");
    EXPECT_EQ(name(kA), QStringLiteral("\u0444"));
    const std::shared_ptr<const KeyboardLayout> ascii = layouts().currentAsciiCapableKeyboardLayout();
    ASSERT_NE(ascii, nullptr);
    std::uint32_t deadKeyState = 0;
    QString text;
    ASSERT_EQ(ascii->translateKeyDown(kY, 0, layouts().keyboardType(), deadKeyState, 255, text), 0);
    EXPECT_EQ(text, "z") << "the German layout, the keymap's second";

    environment.set("XKB_DEFAULT_LAYOUT", "ru");
    EXPECT_NE(layouts().currentKeyboardLayout(), nullptr);
    EXPECT_EQ(layouts().currentAsciiCapableKeyboardLayout(), nullptr);
}

TEST_F(KeyNamesOnLinux, NamesThatDoNotCompileFallBackToUsWithOneWarning)
{
    CategoryMessages messages("uvccam.linux.keyboard");
    environment.set("XKB_DEFAULT_LAYOUT", "no-such-layout");
    EXPECT_EQ(name(kY), "y");
    EXPECT_EQ(name(kZ), "z");
    EXPECT_EQ(messages.warnings().size(), 1) << messages.texts().join(QLatin1Char('\n')).toStdString();
}

// A layout's translation of single key-downs and of dead-key sequences.
class LayoutTranslation : public ::testing::Test {
protected:
    static KeyboardLayoutXkb layout(const char* layoutName)
    {
        static xkb_context* const context = xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES);
        const xkb_rule_names names { "evdev", "pc105", layoutName, "", "" };
        XkbKeymapHandle keymap = adoptXkbKeymap(xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
        EXPECT_NE(keymap, nullptr) << layoutName;
        return KeyboardLayoutXkb(keymap, 0);
    }

    // The text of each key-down in turn, carrying the dead-key state.
    static QStringList typed(const KeyboardLayoutXkb& layout, std::initializer_list<std::uint16_t> keyCodes,
                             std::uint32_t* finalDeadKeyState = nullptr)
    {
        std::uint32_t deadKeyState = 0;
        QStringList texts;
        for (const std::uint16_t keyCode : keyCodes) {
            QString text;
            EXPECT_EQ(layout.translateKeyDown(keyCode, 0, 40, deadKeyState, 255, text), 0);
            texts << text;
        }
        if (finalDeadKeyState)
            *finalDeadKeyState = deadKeyState;
        return texts;
    }
};

struct Translation {
    const char* layout;
    std::uint16_t keyCode;
    std::uint32_t modifierState;
    const char16_t* text;
};

class KeyDownTranslation : public LayoutTranslation, public ::testing::WithParamInterface<Translation> {
};

TEST_P(KeyDownTranslation, TypesTheCharacterOfTheLevelTheModifiersSelect)
{
    const Translation& row = GetParam();
    std::uint32_t deadKeyState = 0;
    QString text = QStringLiteral("left over");
    EXPECT_EQ(layout(row.layout).translateKeyDown(row.keyCode, row.modifierState, 40, deadKeyState, 255, text), 0);
    EXPECT_EQ(text, QString::fromUtf16(row.text)) << row.layout << ", key code " << row.keyCode;
    EXPECT_EQ(deadKeyState, 0u);
}

constexpr std::uint32_t kShiftState = KeyboardLayoutXkb::kShiftState;
constexpr std::uint32_t kCapsLockState = KeyboardLayoutXkb::kAlphaLockState;
constexpr std::uint32_t kOptionState = KeyboardLayoutXkb::kOptionState;

// Shift and Caps Lock (which leaves digits alone), Option as the third level, Command
// selecting nothing else; keys that type control characters or nothing, and a position a
// PC keyboard does not have (52), give no text.
INSTANTIATE_TEST_SUITE_P(
    Levels, KeyDownTranslation,
    ::testing::Values(Translation { "us", kA, kShiftState, u"A" }, Translation { "us", kA, kCapsLockState, u"A" },
                      Translation { "us", kTwo, kCapsLockState, u"2" }, Translation { "us", kTwo, kShiftState, u"@" },
                      Translation { "us", kA, 0x01, u"a" }, Translation { "de", kQ, kOptionState, u"@" },
                      Translation { "de", kE, kOptionState, u"\u20AC" }, Translation { "fr", kTwo, kShiftState, u"2" },
                      Translation { "us", 36, 0, u"" }, Translation { "us", 48, 0, u"" },
                      Translation { "us", 51, 0, u"" }, Translation { "us", 53, 0, u"" },
                      Translation { "us", 117, 0, u"" }, Translation { "us", 76, 0, u"" },
                      Translation { "us", 123, 0, u"" }, Translation { "us", 52, 0, u"" }));

TEST_F(LayoutTranslation, ADeadKeyTypesNothingAndComposesWithTheNextKey)
{
    const KeyboardLayoutXkb french = layout("fr");
    std::uint32_t pending = 0;
    EXPECT_EQ(typed(french, { kLeftBracket }, &pending), QStringList { "" });
    EXPECT_NE(pending, 0u) << "the circumflex waits for the next key";
    EXPECT_EQ(typed(french, { kLeftBracket, kE }, &pending), (QStringList { "", QStringLiteral("\u00EA") }));
    EXPECT_EQ(pending, 0u);
    EXPECT_EQ(typed(french, { kLeftBracket, kSpace }), (QStringList { "", "^" })) << "Space types the accent alone";
    EXPECT_EQ(typed(french, { kLeftBracket, kM }), (QStringList { "", "^," })) << "nothing composes with a comma";
    EXPECT_EQ(typed(french, { kLeftBracket, kLeftBracket }), (QStringList { "", "^^" }));
    EXPECT_EQ(typed(french, { kLeftBracket, kShiftKey, kE }), (QStringList { "", "", QStringLiteral("\u00EA") }))
        << "a modifier key in between types nothing and keeps the accent waiting";
    EXPECT_EQ(typed(layout("de"), { kEqual, kE }), (QStringList { "", QStringLiteral("\u00E9") }));
}

TEST_F(LayoutTranslation, OutOfRangeKeyCodesAndNegativeLengthsAreRefusedAndALengthCuts)
{
    const KeyboardLayoutXkb us = layout("us");
    std::uint32_t deadKeyState = 0;
    QString text = QStringLiteral("left over");
    EXPECT_EQ(us.translateKeyDown(128, 0, 40, deadKeyState, 255, text), KeyboardLayoutXkb::kParameterError);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_EQ(us.translateKeyDown(kA, 0, 40, deadKeyState, -1, text), KeyboardLayoutXkb::kParameterError);
    EXPECT_EQ(us.translateKeyDown(kA, 0, 40, deadKeyState, 0, text), 0);
    EXPECT_TRUE(text.isEmpty());
}

// ---- The X server's layout -------------------------------------------------------------

// Runs setxkbmap against the test's server; false with the reason when it fails.
::testing::AssertionResult setxkbmap(const PrivateXServer& server, const QStringList& arguments)
{
    QString failure;
    server.run(QStringLiteral("setxkbmap"), arguments, &failure);
    if (!failure.isEmpty())
        return ::testing::AssertionFailure() << failure.toStdString();
    return ::testing::AssertionSuccess();
}

// Locks the keyboard's group as a group-switch key does, from a connection of the test's.
::testing::AssertionResult lockGroup(std::uint8_t group)
{
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool ready = !xcb_connection_has_error(connection)
        && xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
                                       XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, nullptr, nullptr);
    xcb_generic_error_t* error = nullptr;
    if (ready) {
        error = xcb_request_check(
            connection, xcb_xkb_latch_lock_state_checked(connection, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, group, 0, 0, 0));
    }
    const bool locked = ready && !error;
    std::free(error);
    xcb_disconnect(connection);
    return locked ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << "the group was not locked";
}

class KeyNamesOnAnXServer : public KeyNamesOnLinux {
protected:
    KeyNamesOnAnXServer() { privateServer.emplace(); }
    void SetUp() override { ASSERT_TRUE(server().error().isEmpty()) << server().error().toStdString(); }

    const PrivateXServer& server() const { return *privateServer; }

    std::optional<PrivateXServer> privateServer;
};

TEST_F(KeyNamesOnAnXServer, TheServersLayoutWinsOverTheVariablesAndANewKeymapIsPickedUp)
{
    environment.set("XKB_DEFAULT_LAYOUT", "fr");
    EXPECT_EQ(name(kA), "a") << "the server's keymap is us";
    ASSERT_TRUE(setxkbmap(server(), { QStringLiteral("-layout"), QStringLiteral("de") }));
    EXPECT_EQ(name(kY), "z");
    EXPECT_EQ(name(kTwo, kShift), QStringLiteral("\u21E72"));
    ASSERT_TRUE(setxkbmap(server(), { QStringLiteral("-layout"), QStringLiteral("fr") }));
    EXPECT_EQ(name(kA), "q");
}

TEST_F(KeyNamesOnAnXServer, SwitchingTheKeyboardsGroupSwitchesTheNames)
{
    ASSERT_TRUE(setxkbmap(server(), { QStringLiteral("-layout"), QStringLiteral("us,fr") }));
    EXPECT_EQ(name(kA), "a");
    ASSERT_TRUE(lockGroup(1));
    EXPECT_EQ(name(kA), "q");
    EXPECT_EQ(name(kTwo, kShift), QStringLiteral("\u21E7\u00E9"));
    ASSERT_TRUE(lockGroup(0));
    EXPECT_EQ(name(kA), "a");
}

TEST_F(KeyNamesOnAnXServer, WhenTheServerIsGoneTheVariablesLayoutTakesOverWithOneMessage)
{
    CategoryMessages messages("uvccam.linux.keyboard");
    environment.set("XKB_DEFAULT_LAYOUT", "de");
    ASSERT_TRUE(setxkbmap(server(), { QStringLiteral("-layout"), QStringLiteral("fr") }));
    EXPECT_EQ(name(kA), "q");
    EXPECT_TRUE(messages.texts().isEmpty());

    // The server goes while the service holds its connection, and DISPLAY names a display
    // nobody serves (not the lost one's number, which another test's server may take).
    privateServer.reset();
    environment.set("DISPLAY", ":32767");
    EXPECT_EQ(name(kY), "z");
    EXPECT_EQ(name(kY), "z");
    EXPECT_EQ(messages.texts().size(), 1) << messages.texts().join(QLatin1Char('\n')).toStdString();
}

}  // namespace
}  // namespace uvccam::platform
