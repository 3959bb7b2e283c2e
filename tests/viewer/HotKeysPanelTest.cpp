// The hot keys: shortcuts switched on deliver their keys to the list, switched off nothing.
#include "ViewerWorld.h"

#include "HotKeysPanel.h"

#include "UVCCamSimulation.h"

namespace uvccamviewer::testing {

namespace {

// Command + L on the simulated keyboard: key code 37, the Command flag.
constexpr int kKeyCodeL = 37;
constexpr quint64 kCommand = 0x100000;

using HotKeysPanelTest = ViewerWorld;

TEST_F(HotKeysPanelTest, ShortcutsSwitchedOnShowTheirKeys)
{
    window().hotKeys().setShortcutsEnabled(true);
    ASSERT_TRUE(uvccam::sim::pressHotKey(kKeyCodeL, kCommand, 0.05));
    pass(0.1);

    EXPECT_EQ(window().hotKeys().arrivedKeys(), (QStringList{"L pressed", "Control pressed"}));
}

TEST_F(HotKeysPanelTest, ShortcutsSwitchedOffAreGivenUp)
{
    window().hotKeys().setShortcutsEnabled(true);
    window().hotKeys().setShortcutsEnabled(false);

    // No registered hot key has the combination any more, so nothing is pressed.
    EXPECT_FALSE(uvccam::sim::pressHotKey(kKeyCodeL, kCommand, 0.05));
    EXPECT_EQ(statusText(), "Global shortcuts given up (setKeyboardConnected(false))");
}

TEST_F(HotKeysPanelTest, ShowsTheCombinationInTheField)
{
    EXPECT_TRUE(window().hotKeys().recordedCombination().startsWith(QStringLiteral("⌘L (key code 37")))
        << window().hotKeys().recordedCombination().toStdString();
}

}  // namespace

}  // namespace uvccamviewer::testing
