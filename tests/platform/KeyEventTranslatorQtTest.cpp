// Qt key events as the desktop delivers them: key codes, flags, characters, modifier keys
// alone, and the key event monitor that sees them before any widget.
#include "platform/linux/KeyEventMonitorQt.h"
#include "platform/linux/KeyEventTranslatorQt.h"
#include "support/QtPrinters.h"

#include <QApplication>
#include <QLineEdit>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

namespace {

using namespace uvccam::platform;

constexpr std::uint64_t kShift = ModifierFlag::Shift;
constexpr std::uint64_t kControl = ModifierFlag::Control;
constexpr std::uint64_t kOption = ModifierFlag::Option;
constexpr std::uint64_t kCommand = ModifierFlag::Command;
constexpr std::uint64_t kFunction = ModifierFlag::Function;
constexpr std::uint64_t kNumericPad = ModifierFlag::NumericPad;

struct KeyCase {
    int qtKey;
    Qt::KeyboardModifiers modifiers;
    std::uint16_t keyCode;
    std::uint64_t flags;
    const char16_t* charactersIgnoringModifiers;
};

const KeyCase kKeys[] = {
    { Qt::Key_A, Qt::NoModifier, 0, 0, u"a" }, { Qt::Key_A, Qt::ShiftModifier, 0, kShift, u"A" },
    { Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, 40, kCommand | kOption, u"k" },
    { Qt::Key_L, Qt::MetaModifier, 37, kControl, u"l" }, { Qt::Key_5, Qt::NoModifier, 23, 0, u"5" },
    { Qt::Key_Exclam, Qt::ShiftModifier, 18, kShift, u"!" }, { Qt::Key_Question, Qt::ShiftModifier, 44, kShift, u"?" },
    { Qt::Key_QuoteLeft, Qt::NoModifier, 50, 0, u"`" }, { Qt::Key_Minus, Qt::NoModifier, 27, 0, u"-" },
    { Qt::Key_Return, Qt::ControlModifier, 36, kCommand, u"\r" },
    { Qt::Key_Enter, Qt::KeypadModifier, 76, kNumericPad, u"\x0003" },
    { Qt::Key_Tab, Qt::NoModifier, 48, 0, u"\t" }, { Qt::Key_Backtab, Qt::ShiftModifier, 48, kShift, u"\x0019" },
    { Qt::Key_Backspace, Qt::NoModifier, 51, 0, u"\x007F" }, { Qt::Key_Escape, Qt::NoModifier, 53, 0, u"\x001B" },
    { Qt::Key_F1, Qt::NoModifier, 122, kFunction, u"\xF704" },
    { Qt::Key_F12, Qt::ShiftModifier, 111, kFunction | kShift, u"\xF70F" },
    { Qt::Key_Left, Qt::NoModifier, 123, kFunction | kNumericPad, u"\xF702" },
    { Qt::Key_Up, Qt::AltModifier, 126, kFunction | kNumericPad | kOption, u"\xF700" },
    { Qt::Key_PageDown, Qt::NoModifier, 121, kFunction, u"\xF72D" },
    // The keypad, which Qt tells apart only by its modifier.
    { Qt::Key_0, Qt::KeypadModifier, 82, kNumericPad, u"0" }, { Qt::Key_8, Qt::KeypadModifier, 91, kNumericPad, u"8" },
    { Qt::Key_Period, Qt::KeypadModifier, 65, kNumericPad, u"." },
    { Qt::Key_Minus, Qt::KeypadModifier, 78, kNumericPad, u"-" },
    { Qt::Key_Equal, Qt::KeypadModifier, 81, kNumericPad, u"=" },
};

std::optional<KeyEvent> translate(QEvent::Type type, int qtKey, Qt::KeyboardModifiers modifiers)
{
    return KeyEventTranslatorQt::translate(QKeyEvent(type, qtKey, modifiers));
}

TEST(KeyEventTranslatorQtTest, KeyPressesBecomeKeyDownsWithTheDesktopsCodesAndFlags)
{
    for (const KeyCase& key : kKeys) {
        SCOPED_TRACE(testing::Message() << "Qt key " << std::hex << key.qtKey);
        const std::optional<KeyEvent> event = translate(QEvent::KeyPress, key.qtKey, key.modifiers);
        ASSERT_TRUE(event);
        EXPECT_EQ(event->type, KeyEventType::KeyDown);
        EXPECT_EQ(event->keyCode, key.keyCode);
        EXPECT_EQ(event->modifierFlags, key.flags);
        EXPECT_EQ(event->charactersIgnoringModifiers, QString::fromUtf16(key.charactersIgnoringModifiers));
    }
    // Keys the keyboard has no code for are not translated.
    EXPECT_FALSE(translate(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier));
    EXPECT_FALSE(translate(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier));
    EXPECT_FALSE(KeyEventTranslatorQt::virtualKeyCode(Qt::Key_Shift, Qt::NoModifier));
}

TEST(KeyEventTranslatorQtTest, ReleasesAreKeyUpsAndShortcutChecksAnnounceKeyDowns)
{
    const QKeyEvent release(QEvent::KeyRelease, Qt::Key_K, Qt::ControlModifier, QStringLiteral("\x0b"), true);
    const std::optional<KeyEvent> up = KeyEventTranslatorQt::translate(release);
    ASSERT_TRUE(up);
    EXPECT_EQ(up->type, KeyEventType::KeyUp);
    EXPECT_EQ(up->keyCode, 40);
    EXPECT_EQ(up->characters, QStringLiteral("\x0b"));
    EXPECT_EQ(up->charactersIgnoringModifiers, QStringLiteral("k"));
    EXPECT_TRUE(up->isARepeat);
    EXPECT_EQ(translate(QEvent::ShortcutOverride, Qt::Key_K, Qt::ControlModifier)->type, KeyEventType::KeyDown);
}

TEST(KeyEventTranslatorQtTest, ModifierKeysAloneChangeTheFlagsTheyHold)
{
    // Whether the window system counts the key's own modifier in its event or not, the
    // flags are those held after the change.
    const struct {
        QEvent::Type type; int qtKey; Qt::KeyboardModifiers modifiers; std::uint16_t keyCode; std::uint64_t flags;
    } cases[] = {
        { QEvent::KeyPress, Qt::Key_Control, Qt::NoModifier, 55, kCommand },
        { QEvent::KeyPress, Qt::Key_Control, Qt::ControlModifier, 55, kCommand },
        { QEvent::KeyPress, Qt::Key_Shift, Qt::AltModifier, 56, kShift | kOption },
        { QEvent::KeyPress, Qt::Key_Alt, Qt::NoModifier, 58, kOption },
        { QEvent::KeyPress, Qt::Key_Meta, Qt::NoModifier, 59, kControl },
        { QEvent::KeyPress, Qt::Key_Super_L, Qt::NoModifier, 59, kControl },
        { QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier | Qt::ControlModifier, 58, kCommand },
        { QEvent::KeyRelease, Qt::Key_Alt, Qt::ControlModifier, 58, kCommand },
        { QEvent::KeyRelease, Qt::Key_Meta, Qt::MetaModifier, 59, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "Qt key " << std::hex << c.qtKey);
        const std::optional<KeyEvent> event = translate(c.type, c.qtKey, c.modifiers);
        ASSERT_TRUE(event);
        EXPECT_EQ(event->type, KeyEventType::FlagsChanged);
        EXPECT_EQ(event->keyCode, c.keyCode);
        EXPECT_EQ(event->modifierFlags, c.flags);
        EXPECT_TRUE(event->charactersIgnoringModifiers.isEmpty());
    }
}

// A focused line edit in an active offscreen window, with a monitor recording what it sees.
class KeyEventMonitorQtTest : public ::testing::Test {
protected:
    using Seen = std::tuple<KeyEventType, std::uint16_t, std::uint64_t>;

    KeyEventMonitorQtTest() : edit_(&window_)
    {
        window_.show();
        QApplication::setActiveWindow(&window_);
        edit_.setFocus();
    }

    void monitor(std::uint64_t mask)
    {
        monitor_ = std::make_unique<KeyEventMonitorQt>(mask, [this](const KeyEvent& event) { seen_.push_back(event); });
    }

    std::vector<Seen> seen() const
    {
        std::vector<Seen> summary;
        for (const KeyEvent& event : seen_)
            summary.emplace_back(event.type, event.keyCode, event.modifierFlags);
        return summary;
    }

    QWidget window_;
    QLineEdit edit_;
    std::unique_ptr<KeyEventMonitorQt> monitor_;
    std::vector<KeyEvent> seen_;
};

TEST_F(KeyEventMonitorQtTest, SeesQTestsModifierPressesAsFlagsChanges)
{
    monitor(KeyEventMask::KeyDown | KeyEventMask::KeyUp | KeyEventMask::FlagsChanged);
    QTest::keyClick(&edit_, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);

    using T = KeyEventType;
    EXPECT_EQ(seen(), (std::vector<Seen>{ { T::FlagsChanged, 56, kShift }, { T::FlagsChanged, 55, kShift | kCommand },
                                         { T::KeyDown, 40, kShift | kCommand }, { T::KeyUp, 40, kShift | kCommand },
                                         { T::FlagsChanged, 55, kShift }, { T::FlagsChanged, 56, 0 } }));
    ASSERT_EQ(seen_.size(), 6u);
    EXPECT_EQ(seen_[2].charactersIgnoringModifiers, QStringLiteral("K"));
}

TEST_F(KeyEventMonitorQtTest, SwallowsWhatItMonitorsApplicationShortcutsIncludedAndPassesTheRestOn)
{
    QShortcut shortcut(QKeySequence(Qt::CTRL | Qt::Key_K), &window_);
    QSignalSpy fired(&shortcut, &QShortcut::activated);
    monitor(KeyEventMask::KeyDown);
    QTest::keyClicks(&edit_, QStringLiteral("ab"));
    QTest::keyClick(&edit_, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(edit_.text(), QString());
    EXPECT_EQ(fired.count(), 0);
    EXPECT_EQ(seen(), (std::vector<Seen>{ { KeyEventType::KeyDown, 0, 0 }, { KeyEventType::KeyDown, 11, 0 },
                                         { KeyEventType::KeyDown, 40, kCommand } }));

    // Not translated, so not monitored: the line edit types it.
    QTest::keyClick(&edit_, Qt::Key_Eacute, Qt::NoModifier);
    EXPECT_EQ(edit_.text(), QString::fromUtf16(u"\u00C9"));

    monitor_.reset();
    QTest::keyClicks(&edit_, QStringLiteral("ab"));
    QTest::keyClick(&edit_, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(edit_.text(), QString::fromUtf16(u"\u00C9ab"));
    EXPECT_EQ(fired.count(), 1);
    EXPECT_EQ(seen_.size(), 3u);
}

TEST_F(KeyEventMonitorQtTest, AHandlerMayRemoveItsOwnMonitor)
{
    monitor_ = std::make_unique<KeyEventMonitorQt>(KeyEventMask::KeyDown, [this](const KeyEvent& event) {
        seen_.push_back(event);
        monitor_.reset();
    });
    QTest::keyClicks(&edit_, QStringLiteral("ab"));
    EXPECT_EQ(seen_.size(), 1u);
    EXPECT_EQ(edit_.text(), QStringLiteral("b"));
}

}  // namespace
