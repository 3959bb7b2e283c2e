// The hot-key field driven by real key events: what it shows, what it records, when editing
// ends, the action it sends, and its misuse messages.
#include "hotkey/HKHotKeyTextField.h"
#include "hotkey/HKHotKeyTextFieldCell.h"
#include "hotkey/HKHotKeyTextFieldEditor.h"

#include "support/SimulatedWorld.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

namespace {

using namespace uvccam::platform;
using uvccam::testing::SimulatedWorld;

constexpr std::uint64_t kShift = ModifierFlag::Shift;
constexpr std::uint64_t kOption = ModifierFlag::Option;
constexpr std::uint64_t kCommand = ModifierFlag::Command;
constexpr std::uint64_t kFunction = ModifierFlag::Function;

const QString kCommandGlyph = QString::fromUtf16(u"\u2318");
const QString kOptionCommandGlyphs = QString::fromUtf16(u"\u2325\u2318");

// A window with an ordinary line edit, which has the focus, and the field (holding ⌘L,
// whose task counts its runs), shown and active on the offscreen platform.
class HotKeyField : public SimulatedWorld {
protected:
    HotKeyField() : other_(&window_), field_(&window_), actions_(&field_, &HKHotKeyTextField::activated)
    {
        original_ = HKHotKey::hotKeyWithKeyCode(37, kCommand, [this](const KeyEvent&) { ++taskRuns_; });
        field_.setHotKey(original_);
        window_.show();
        QApplication::setActiveWindow(&window_);
    }

    ~HotKeyField() override { HKHotKeyTextFieldEditor::discardSharedInstance(); }

    HKHotKeyTextFieldEditor& editor() { return *HKHotKeyTextFieldEditor::existingSharedFieldEditor(); }

    void startEditing()
    {
        field_.setFocus();
        ASSERT_TRUE(field_.hasFocus());
        ASSERT_TRUE(editor().isMonitoring());
    }

    // One key event as the window system delivers it to the focused widget; unlike
    // QTest's clicks it presses nothing else first.
    static void press(Qt::Key key, Qt::KeyboardModifiers modifiers = {}, QEvent::Type type = QEvent::KeyPress)
    {
        QKeyEvent event(type, key, modifiers);
        QApplication::sendEvent(QApplication::focusWidget(), &event);
    }

    void expectHotKey(std::uint16_t keyCode, std::uint64_t flags, const QString& text)
    {
        ASSERT_TRUE(field_.hotKey());
        EXPECT_EQ(field_.hotKey()->keyCode(), keyCode);
        EXPECT_EQ(field_.hotKey()->modifierFlags(), flags);
        EXPECT_EQ(field_.text(), text);
    }

    QWidget window_;
    // First in the window, so that activating the window focuses it and not the field.
    QLineEdit other_;
    HKHotKeyTextField field_;
    QSignalSpy actions_;
    std::shared_ptr<HKHotKey> original_;
    int taskRuns_ = 0;
};

TEST_F(HotKeyField, ShowsItsHotKeyInCapitalsNoHotKeyAsAnEmptyFieldAndLogsStringAccess)
{
    EXPECT_EQ(field_.text(), kCommandGlyph + QLatin1Char('L'));
    field_.setHotKey(HKHotKey::hotKeyWithKeyCode(96, kShift | kOption | kCommand | ModifierFlag::Control, {}));
    EXPECT_EQ(field_.text(), QString::fromUtf16(u"\u2303\u2325\u21E7\u2318F5"));
    field_.setHotKey(nullptr);
    EXPECT_EQ(field_.text(), QString());

    // The string accessors are misuse: logged, and they go through.
    field_.setHotKey(original_);
    field_.setStringValue(QStringLiteral("abc"));
    EXPECT_EQ(field_.stringValue(), QStringLiteral("abc"));
    EXPECT_EQ(field_.hotKey(), original_);
    // Setting the hot key it holds changes nothing, not even the text; an equal one is
    // another object, and is shown.
    field_.setHotKey(original_);
    EXPECT_EQ(field_.text(), QStringLiteral("abc"));
    field_.setHotKey(HKHotKey::hotKeyWithKeyCode(37, kCommand, {}));
    EXPECT_EQ(field_.text(), kCommandGlyph + QLatin1Char('L'));
    EXPECT_EQ(actions_.count(), 0);
    EXPECT_EQ(log().entries().size(), 2u);
    EXPECT_EQ(logged(LogChannel::System),
              QStringList({ QStringLiteral("-[HKHotKeyTextField setStringValue:] is not what you want. Use "
                                           "-[HKHotKeyTextField setHotKey:] instead."),
                            QStringLiteral("-[HKHotKeyTextField stringValue] is not what you want. Use "
                                           "-[HKHotKeyTextField hotKey] instead.") }));
}

TEST_F(HotKeyField, ModifiersAloneShowUntilAKeyRecordsTheCombination)
{
    startEditing();
    press(Qt::Key_Control);
    EXPECT_EQ(field_.text(), kCommandGlyph);
    press(Qt::Key_Alt, Qt::ControlModifier);
    EXPECT_EQ(editor().toPlainText(), kOptionCommandGlyphs);
    press(Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    expectHotKey(40, kOption | kCommand, kOptionCommandGlyphs + QLatin1Char('K'));
    const std::shared_ptr<HKHotKey> recorded = field_.hotKey();
    EXPECT_EQ(actions_.count(), 3);

    // A key has gone down: letting go of the modifiers keeps the combination.
    press(Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, QEvent::KeyRelease);
    press(Qt::Key_Alt, Qt::ControlModifier | Qt::AltModifier, QEvent::KeyRelease);
    press(Qt::Key_Control, Qt::ControlModifier, QEvent::KeyRelease);
    EXPECT_EQ(field_.hotKey(), recorded);
    EXPECT_EQ(field_.text(), kOptionCommandGlyphs + QLatin1Char('K'));
    EXPECT_EQ(actions_.count(), 3);
    EXPECT_TRUE(field_.hasFocus());

    // The recorded hot key does what the field's hot key did.
    ASSERT_TRUE(recorded->task());
    recorded->task()(KeyEvent {});
    EXPECT_EQ(taskRuns_, 1);
}

TEST_F(HotKeyField, ReturnAloneKeepsTheRecordedHotKeyEscapeRestoresTheOriginalAndBothEndEditing)
{
    for (const auto& [key, keeps] : {std::make_pair(Qt::Key_Return, true), std::make_pair(Qt::Key_Escape, false)}) {
        SCOPED_TRACE(key);
        field_.setHotKey(original_);
        startEditing();
        QTest::keyClick(&field_, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        const std::shared_ptr<HKHotKey> recorded = field_.hotKey();
        ASSERT_NE(recorded, original_);
        actions_.clear();

        QTest::keyClick(&field_, key);
        EXPECT_EQ(field_.hotKey(), keeps ? recorded : original_);
        EXPECT_EQ(editor().toPlainText(), keeps ? kOptionCommandGlyphs + QLatin1Char('K') : kCommandGlyph + QLatin1Char('L'));
        EXPECT_EQ(actions_.count(), 1);
        EXPECT_FALSE(field_.hasFocus());
        EXPECT_FALSE(editor().isMonitoring());
        EXPECT_EQ(editor().originalHotKey(), nullptr);
    }
    // Keys reach the application again.
    other_.setFocus();
    QTest::keyClicks(&other_, QStringLiteral("ok"));
    EXPECT_EQ(other_.text(), QStringLiteral("ok"));

    // With no hot key to begin with, Escape leaves the field empty.
    field_.setHotKey(nullptr);
    startEditing();
    QTest::keyClick(&field_, Qt::Key_K, Qt::ControlModifier);
    QTest::keyClick(&field_, Qt::Key_Escape);
    EXPECT_EQ(field_.hotKey(), nullptr);
    EXPECT_EQ(field_.text(), QString());
}

TEST_F(HotKeyField, PlainKeysAreIgnoredAndThenOnlyCombinationsAndFunctionKeysRecord)
{
    startEditing();
    QTest::keyClick(&field_, Qt::Key_K);
    EXPECT_EQ(field_.text(), kCommandGlyph + QLatin1Char('L'));
    EXPECT_TRUE(editor().hasSeenKeyDown());
    press(Qt::Key_Control);  // after a key-down, modifiers alone no longer show
    EXPECT_EQ(field_.hotKey(), original_);
    EXPECT_EQ(actions_.count(), 0);

    // With modifiers, Return and Escape record like any key; a function key records alone.
    QTest::keyClick(&field_, Qt::Key_Return, Qt::ControlModifier);
    expectHotKey(36, kCommand, kCommandGlyph + QString::fromUtf16(u"\u21A9"));
    QTest::keyClick(&field_, Qt::Key_Escape, Qt::AltModifier);
    expectHotKey(53, kOption, QString::fromUtf16(u"\u2325\u238B"));
    QTest::keyClick(&field_, Qt::Key_F5);
    expectHotKey(96, kFunction, QStringLiteral("F5"));
    EXPECT_EQ(actions_.count(), 3);
    EXPECT_TRUE(editor().isMonitoring());
}

TEST_F(HotKeyField, EditingEndsWhenTheFieldLosesTheFocusOrIsDestroyedAndTheNextFieldStartsAfresh)
{
    auto second = std::make_unique<HKHotKeyTextField>(&window_);
    second->show();  // a child added to a shown window stays hidden until shown
    const auto secondHotKey = HKHotKey::hotKeyWithKeyCode(0, kCommand, {});
    second->setHotKey(secondHotKey);
    startEditing();
    QTest::keyClick(&field_, Qt::Key_K);  // a key-down seen in the first field

    second->setFocus();
    EXPECT_EQ(editor().hotKeyField(), second.get());
    EXPECT_EQ(editor().originalHotKey(), secondHotKey);
    EXPECT_FALSE(editor().hasSeenKeyDown());
    press(Qt::Key_Control);
    EXPECT_EQ(second->text(), kCommandGlyph);
    EXPECT_EQ(field_.hotKey(), original_);

    other_.setFocus();
    EXPECT_FALSE(editor().isMonitoring());
    second->setFocus();
    second.reset();
    EXPECT_FALSE(editor().isMonitoring());
    EXPECT_EQ(editor().hotKeyField(), nullptr);
}

TEST_F(HotKeyField, TheCellGivesHotKeyFieldsTheSharedEditorAndOtherWidgetsNone)
{
    HKHotKeyTextField second;
    EXPECT_EQ(field_.cell().fieldEditorForView(&other_), nullptr);

    HKHotKeyTextFieldEditor* editor = field_.cell().fieldEditorForView(&field_);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->hotKeyField(), &field_);
    EXPECT_EQ(editor->originalHotKey(), original_);
    EXPECT_EQ(editor->geometry(), QRect(0, 0, 100, 32));
    EXPECT_FALSE(editor->isMonitoring());  // until it takes the focus
    EXPECT_EQ(second.cell().fieldEditorForView(&second), editor);
    EXPECT_EQ(editor->hotKeyField(), &second);
}

// The capture rules on events a Qt keyboard cannot produce: caps lock, other newlines,
// the keypad's Enter.
TEST_F(HotKeyField, CaptureRulesForEventsOfEveryKind)
{
    enum class Outcome { Ignored, Recorded, Ended };
    using T = KeyEventType;
    const struct {
        const char* name; KeyEventType type; std::uint16_t keyCode; std::uint64_t flags; const char16_t* characters;
        Outcome outcome;
    } cases[] = {
        { "caps lock is no modifier", T::KeyDown, 40, ModifierFlag::CapsLock, u"k", Outcome::Ignored },
        { "caps lock with Shift", T::KeyDown, 40, ModifierFlag::CapsLock | kShift, u"K", Outcome::Recorded },
        { "keypad flag alone", T::KeyDown, 82, ModifierFlag::NumericPad, u"0", Outcome::Ignored },
        { "keypad Enter types no newline", T::KeyDown, 76, 0, u"\x0003", Outcome::Ignored },
        { "line feed", T::KeyDown, 36, 0, u"\n", Outcome::Ended },
        { "line separator", T::KeyDown, 36, 0, u"\u2028", Outcome::Ended },
        { "Escape by key code", T::KeyDown, 53, 0, u"", Outcome::Ended },
        { "no characters", T::KeyDown, 36, 0, u"", Outcome::Ignored },
        { "key up", T::KeyUp, 40, kCommand, u"k", Outcome::Ignored },
        { "flags changed to none", T::FlagsChanged, 55, 0, u"", Outcome::Ignored },
        { "flags changed with caps lock", T::FlagsChanged, 57, ModifierFlag::CapsLock, u"", Outcome::Ignored },
        { "flags changed with Function", T::FlagsChanged, 63, kFunction, u"", Outcome::Recorded },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        field_.setHotKey(original_);
        startEditing();
        actions_.clear();
        KeyEvent event;
        event.type = c.type;
        event.keyCode = c.keyCode;
        event.modifierFlags = c.flags;
        event.charactersIgnoringModifiers = QString::fromUtf16(c.characters);
        editor().processHotkeyEvent(event);
        const bool recorded = c.outcome == Outcome::Recorded;
        EXPECT_EQ(field_.hotKey() != original_, recorded);
        if (recorded) {
            EXPECT_EQ(field_.hotKey()->keyCode(), c.keyCode);
            EXPECT_EQ(field_.hotKey()->modifierFlags(), c.flags);
        }
        EXPECT_EQ(actions_.count(), c.outcome == Outcome::Ignored ? 0 : 1);
        EXPECT_EQ(editor().isMonitoring(), c.outcome != Outcome::Ended);
        field_.clearFocus();
    }
}

}  // namespace
