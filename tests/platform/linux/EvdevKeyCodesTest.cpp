// The key-position table checked against what an X server's "us" keymap puts at each key:
// every key of the 29 global shortcuts and of the key names, with their neighbours.
#include "platform/linux/EvdevKeyCodes.h"

#include <xkbcommon/xkbcommon.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace uvccam::platform {
namespace {

struct KeyRow {
    std::uint16_t keyCode;
    // What the "us" keymap types at that key, with Shift or Num Lock where the plain level
    // is another symbol (the keypad digits are navigation keys without Num Lock).
    const char* keysym;
};

class EvdevKeyCodes : public ::testing::TestWithParam<KeyRow> {
protected:
    static void SetUpTestSuite()
    {
        context_.reset(xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES));
        const xkb_rule_names names { "evdev", "pc105", "us", "", "" };
        keymap_.reset(xkb_keymap_new_from_names(context_.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS));
        ASSERT_NE(keymap_, nullptr) << "the us keymap (xkb-data) is missing";
    }

    // Every keysym the key has on its first two levels.
    static std::string keysymsAt(std::uint32_t xKeyCode)
    {
        std::string names;
        for (xkb_level_index_t level = 0; level < 2; ++level) {
            const xkb_keysym_t* syms = nullptr;
            const int count = xkb_keymap_key_get_syms_by_level(keymap_.get(), xKeyCode, 0, level, &syms);
            for (int i = 0; i < count; ++i) {
                char name[64];
                xkb_keysym_get_name(syms[i], name, sizeof name);
                names += std::string(" ") + name;
            }
        }
        return names + " ";
    }

    struct ContextRelease {
        void operator()(xkb_context* context) const { xkb_context_unref(context); }
    };
    struct KeymapRelease {
        void operator()(xkb_keymap* keymap) const { xkb_keymap_unref(keymap); }
    };
    static inline std::unique_ptr<xkb_context, ContextRelease> context_;
    static inline std::unique_ptr<xkb_keymap, KeymapRelease> keymap_;
};

TEST_P(EvdevKeyCodes, TheKeyAtThePositionIsTheOneTheUsLayoutPrints)
{
    const KeyRow row = GetParam();
    const std::optional<std::uint16_t> evdev = evdevCodeForKeyCode(row.keyCode);
    ASSERT_TRUE(evdev) << "key code " << row.keyCode;
    EXPECT_NE(keysymsAt(*evdev + kX11KeyCodeOffset).find(std::string(" ") + row.keysym + " "), std::string::npos)
        << "key code " << row.keyCode << " has" << keysymsAt(*evdev + kX11KeyCodeOffset);
    EXPECT_EQ(keyCodeForEvdevCode(*evdev), row.keyCode) << "two positions share input-layer code " << *evdev;
}

// The shortcuts: Option with the digits (main keyboard and keypad), Command with L, the
// arrows, plus and minus. The key names: the special keys and the function keys. The
// modifiers: Ctrl is Command, Super is Control, Alt is Option.
INSTANTIATE_TEST_SUITE_P(
    Positions, EvdevKeyCodes,
    ::testing::Values(
        KeyRow { 29, "0" }, KeyRow { 18, "1" }, KeyRow { 19, "2" }, KeyRow { 20, "3" }, KeyRow { 21, "4" },
        KeyRow { 23, "5" }, KeyRow { 22, "6" }, KeyRow { 26, "7" }, KeyRow { 28, "8" }, KeyRow { 25, "9" },
        KeyRow { 82, "KP_0" }, KeyRow { 83, "KP_1" }, KeyRow { 84, "KP_2" }, KeyRow { 85, "KP_3" },
        KeyRow { 86, "KP_4" }, KeyRow { 87, "KP_5" }, KeyRow { 88, "KP_6" }, KeyRow { 89, "KP_7" },
        KeyRow { 91, "KP_8" }, KeyRow { 92, "KP_9" }, KeyRow { 37, "l" }, KeyRow { 123, "Left" },
        KeyRow { 124, "Right" }, KeyRow { 125, "Down" }, KeyRow { 126, "Up" }, KeyRow { 24, "plus" },
        KeyRow { 69, "KP_Add" }, KeyRow { 27, "minus" }, KeyRow { 78, "KP_Subtract" }, KeyRow { 36, "Return" },
        KeyRow { 48, "Tab" }, KeyRow { 49, "space" }, KeyRow { 51, "BackSpace" }, KeyRow { 53, "Escape" },
        KeyRow { 117, "Delete" }, KeyRow { 115, "Home" }, KeyRow { 119, "End" }, KeyRow { 116, "Prior" },
        KeyRow { 121, "Next" }, KeyRow { 114, "Insert" }, KeyRow { 76, "KP_Enter" }, KeyRow { 122, "F1" },
        KeyRow { 120, "F2" }, KeyRow { 99, "F3" }, KeyRow { 118, "F4" }, KeyRow { 96, "F5" }, KeyRow { 97, "F6" },
        KeyRow { 98, "F7" }, KeyRow { 100, "F8" }, KeyRow { 101, "F9" }, KeyRow { 109, "F10" },
        KeyRow { 103, "F11" }, KeyRow { 111, "F12" }, KeyRow { 72, "XF86AudioRaiseVolume" },
        KeyRow { 73, "XF86AudioLowerVolume" }, KeyRow { 74, "XF86AudioMute" }, KeyRow { 55, "Control_L" },
        KeyRow { 54, "Control_R" }, KeyRow { 59, "Super_L" }, KeyRow { 62, "Super_R" }, KeyRow { 58, "Alt_L" },
        KeyRow { 61, "Alt_R" }, KeyRow { 56, "Shift_L" }, KeyRow { 60, "Shift_R" }, KeyRow { 57, "Caps_Lock" },
        KeyRow { 0, "a" }, KeyRow { 16, "y" }, KeyRow { 6, "z" }, KeyRow { 12, "q" }, KeyRow { 50, "grave" },
        KeyRow { 42, "backslash" }, KeyRow { 10, "less" }));

TEST(EvdevKeyCodesOutsideTheTable, PositionsAPcKeyboardLacksHaveNoCode)
{
    EXPECT_FALSE(evdevCodeForKeyCode(63)) << "Function";
    EXPECT_FALSE(evdevCodeForKeyCode(52)) << "no key has this position";
    EXPECT_FALSE(evdevCodeForKeyCode(0xFFFF));
    EXPECT_FALSE(keyCodeForEvdevCode(0));
}

}  // namespace
}  // namespace uvccam::platform
