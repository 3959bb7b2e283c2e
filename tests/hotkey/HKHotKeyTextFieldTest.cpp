// The hot-key field driven by real key events: what it shows, what it records, when editing
// ends, the action it sends, and its misuse messages.
#include "hotkey/HKHotKeyTextField.h"
#include "hotkey/HKHotKeyTextFieldCell.h"
#include "hotkey/HKHotKeyTextFieldEditor.h"

#include "support/SimulatedWorld.h"

#include <QApplication>
#include <QShortcut>
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
    static void send(QEvent::Type type, Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        QKeyEvent event(type, key, modifiers);
        QApplication::sendEvent(QApplication::focusWidget(), &event);
    }
    static void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        send(QEvent::KeyPress, key, modifiers);
    }
    static void release(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        send(QEvent::KeyRelease, key, modifiers);
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

TEST_F(HotKeyField, ShowsItsHotKeyInCapitals)
{
    EXPECT_EQ(field_.text(), kCommandGlyph + QLatin1Char('L'));
    field_.setHotKey(HKHotKey::hotKeyWithKeyCode(96, kShift | kOption | kCommand | ModifierFlag::Control, {}));
    EXPECT_EQ(field_.text(), QString::fromUtf16(u"\u2303\u2325\u21E7\u2318F5"));
    EXPECT_EQ(actions_.count(), 0);
}

TEST_F(HotKeyField, SettingTheHotKeyItHoldsChangesNothingNotEvenTheText)
{
    field_.setStringValue(QStringLiteral("typed"));
    field_.setHotKey(original_);
    EXPECT_EQ(field_.text(), QStringLiteral("typed"));

    // An equal hot key is another object, and is shown.
    field_.setHotKey(HKHotKey::hotKeyWithKeyCode(37, kCommand, {}));
    EXPECT_EQ(field_.text(), kCommandGlyph + QLatin1Char('L'));
    EXPECT_NE(field_.hotKey(), original_);
}

TEST_F(HotKeyField, NoHotKeyShowsAnEmptyField)
{
    field_.setHotKey(nullptr);
    EXPECT_EQ(field_.hotKey(), nullptr);
    EXPECT_EQ(field_.text(), QString());
}

TEST_F(HotKeyField, StringAccessLogsTheMisuseAndGoesThrough)
{
    field_.setStringValue(QStringLiteral("abc"));
    EXPECT_EQ(field_.text(), QStringLiteral("abc"));
    EXPECT_EQ(field_.stringValue(), QStringLiteral("abc"));
    EXPECT_EQ(field_.hotKey(), original_);
    EXPECT_EQ(logged(LogChannel::System),
              QStringList({ QStringLiteral("-[HKHotKeyTextField setStringValue:] is not what you want. Use "
                                           "-[HKHotKeyTextField setHotKey:] instead."),
                            QStringLiteral("-[HKHotKeyTextField stringValue] is not what you want. Use "
                                           "-[HKHotKeyTextField hotKey] instead.") }));
    EXPECT_EQ(log().entries().size(), 2u);
}

TEST_F(HotKeyField, ModifiersAloneShowUntilAKeyRecordsTheCombination)
{
    startEditing();
    press(Qt::Key_Control);
    EXPECT_EQ(field_.text(), kCommandGlyph);
    press(Qt::Key_Alt, Qt::ControlModifier);
    EXPECT_EQ(field_.text(), kOptionCommandGlyphs);
    EXPECT_EQ(editor().toPlainText(), kOptionCommandGlyphs);
    press(Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    expectHotKey(40, kOption | kCommand, kOptionCommandGlyphs + QLatin1Char('K'));
    const std::shared_ptr<HKHotKey> recorded = field_.hotKey();
    EXPECT_EQ(actions_.count(), 3);

    // A key has gone down: letting go of the modifiers keeps the combination.
    release(Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    release(Qt::Key_Alt, Qt::ControlModifier | Qt::AltModifier);
    release(Qt::Key_Control, Qt::ControlModifier);
    EXPECT_EQ(field_.hotKey(), recorded);
    EXPECT_EQ(field_.text(), kOptionCommandGlyphs + QLatin1Char('K'));
    EXPECT_EQ(actions_.count(), 3);
    EXPECT_TRUE(field_.hasFocus());

    // The recorded hot key does what the field's hot key did.
    ASSERT_TRUE(recorded->task());
    recorded->task()(KeyEvent {});
    EXPECT_EQ(taskRuns_, 1);
}

TEST_F(HotKeyField, PlainKeysAreIgnoredAndThenModifiersAloneNoLongerShow)
{
    startEditing();
    QTest::keyClick(&field_, Qt::Key_K);
    EXPECT_EQ(field_.hotKey(), original_);
    EXPECT_EQ(field_.text(), kCommandGlyph + QLatin1Char('L'));
    EXPECT_EQ(actions_.count(), 0);
    EXPECT_TRUE(editor().hasSeenKeyDown());

    press(Qt::Key_Control);
    EXPECT_EQ(field_.hotKey(), original_);
    EXPECT_EQ(actions_.count(), 0);

    // With a key they still record.
    QTest::keyClick(&field_, Qt::Key_J, Qt::ControlModifier);
    expectHotKey(38, kCommand, kCommandGlyph + QLatin1Char('J'));
    EXPECT_EQ(actions_.count(), 1);
}

TEST_F(HotKeyField, ReturnAloneEndsEditingAndKeepsTheRecordedHotKey)
{
    startEditing();
    QTest::keyClick(&field_, Qt::Key_K, Qt::ControlModifier);
    const std::shared_ptr<HKHotKey> recorded = field_.hotKey();
    const int afterRecording = actions_.count();

    QTest::keyClick(&field_, Qt::Key_Return);
    EXPECT_EQ(field_.hotKey(), recorded);
    EXPECT_EQ(field_.text(), kCommandGlyph + QLatin1Char('K'));
    EXPECT_EQ(actions_.count(), afterRecording + 1);
    EXPECT_FALSE(field_.hasFocus());
    EXPECT_FALSE(editor().isMonitoring());
    EXPECT_EQ(editor().hotKeyField(), nullptr);
    EXPECT_EQ(editor().originalHotKey(), nullptr);

    // Keys reach the application again.
    other_.setFocus();
    QTest::keyClicks(&other_, QStringLiteral("ok"));
    EXPECT_EQ(other_.text(), QStringLiteral("ok"));
}

TEST_F(HotKeyField, EscapeRestoresTheHotKeyEditingBeganWith)
{
    startEditing();
    QTest::keyClick(&field_, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    ASSERT_NE(field_.hotKey(), original_);
    const int afterRecording = actions_.count();

    QTest::keyClick(&field_, Qt::Key_Escape);
    EXPECT_EQ(field_.hotKey(), original_);
    EXPECT_EQ(field_.text(), kCommandGlyph + QLatin1Char('L'));
    EXPECT_EQ(editor().toPlainText(), kCommandGlyph + QLatin1Char('L'));
    EXPECT_EQ(actions_.count(), afterRecording + 1);
    EXPECT_FALSE(field_.hasFocus());
    EXPECT_FALSE(editor().isMonitoring());
}

TEST_F(HotKeyField, EscapeWithoutAnOriginalHotKeyLeavesTheFieldEmpty)
{
    field_.setHotKey(nullptr);
    startEditing();
    QTest::keyClick(&field_, Qt::Key_K, Qt::ControlModifier);
    QTest::keyClick(&field_, Qt::Key_Escape);
    EXPECT_EQ(field_.hotKey(), nullptr);
    EXPECT_EQ(field_.text(), QString());
    EXPECT_EQ(editor().toPlainText(), QString());
}

TEST_F(HotKeyField, ReturnOrEscapeWithModifiersRecord)
{
    startEditing();
    QTest::keyClick(&field_, Qt::Key_Return, Qt::ControlModifier);
    expectHotKey(36, kCommand, kCommandGlyph + QString::fromUtf16(u"\u21A9"));
    QTest::keyClick(&field_, Qt::Key_Escape, Qt::AltModifier);
    expectHotKey(53, kOption, QString::fromUtf16(u"\u2325\u238B"));
    EXPECT_TRUE(field_.hasFocus());
    EXPECT_TRUE(editor().isMonitoring());
}

TEST_F(HotKeyField, AFunctionKeyAloneRecordsWithTheFunctionFlagOnly)
{
    startEditing();
    QTest::keyClick(&field_, Qt::Key_F5);
    expectHotKey(96, kFunction, QStringLiteral("F5"));
    EXPECT_EQ(actions_.count(), 1);
}

TEST_F(HotKeyField, ApplicationShortcutsWaitWhileTheFieldRecords)
{
    QShortcut shortcut(QKeySequence(Qt::CTRL | Qt::Key_K), &window_);
    QSignalSpy fired(&shortcut, &QShortcut::activated);
    startEditing();
    QTest::keyClick(&field_, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(fired.count(), 0);
    expectHotKey(40, kCommand, kCommandGlyph + QLatin1Char('K'));

    other_.setFocus();
    QTest::keyClick(&other_, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(fired.count(), 1);
}

TEST_F(HotKeyField, FocusLeavingTheFieldEndsEditingAndTheNextFieldStartsAfresh)
{
    HKHotKeyTextField second(&window_);
    second.show();  // a child added to a shown window stays hidden until shown
    const auto secondHotKey = HKHotKey::hotKeyWithKeyCode(0, kCommand, {});
    second.setHotKey(secondHotKey);
    startEditing();
    QTest::keyClick(&field_, Qt::Key_K);  // a key-down seen in the first field

    second.setFocus();
    EXPECT_EQ(editor().hotKeyField(), &second);
    EXPECT_EQ(editor().originalHotKey(), secondHotKey);
    EXPECT_FALSE(editor().hasSeenKeyDown());
    press(Qt::Key_Control);
    EXPECT_EQ(second.text(), kCommandGlyph);
    EXPECT_EQ(field_.hotKey(), original_);

    other_.setFocus();
    EXPECT_FALSE(editor().isMonitoring());
    EXPECT_EQ(editor().hotKeyField(), nullptr);
}

TEST_F(HotKeyField, AFieldDestroyedWhileEditedEndsTheEdit)
{
    auto doomed = std::make_unique<HKHotKeyTextField>(&window_);
    doomed->show();
    doomed->setFocus();
    ASSERT_EQ(editor().hotKeyField(), doomed.get());
    doomed.reset();
    EXPECT_FALSE(editor().isMonitoring());
    EXPECT_EQ(editor().hotKeyField(), nullptr);
    other_.setFocus();
    QTest::keyClicks(&other_, QStringLiteral("x"));
    EXPECT_EQ(other_.text(), QStringLiteral("x"));
}

TEST_F(HotKeyField, TheCellGivesHotKeyFieldsTheSharedEditorAndOtherWidgetsNone)
{
    HKHotKeyTextField second;
    EXPECT_EQ(field_.cell().fieldEditorForView(&other_), nullptr);
    EXPECT_EQ(field_.cell().fieldEditorForView(nullptr), nullptr);
    EXPECT_EQ(HKHotKeyTextFieldEditor::existingSharedFieldEditor(), nullptr);

    HKHotKeyTextFieldEditor* editor = field_.cell().fieldEditorForView(&field_);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->hotKeyField(), &field_);
    EXPECT_EQ(editor->originalHotKey(), original_);
    EXPECT_EQ(editor->cursorWidth(), 0);
    EXPECT_TRUE(editor->isFieldEditor());
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
    const struct {
        const char* name;
        KeyEventType type;
        std::uint16_t keyCode;
        std::uint64_t flags;
        const char16_t* characters;
        Outcome outcome;
    } cases[] = {
        { "caps lock is no modifier", KeyEventType::KeyDown, 40, ModifierFlag::CapsLock, u"k", Outcome::Ignored },
        { "caps lock with Shift", KeyEventType::KeyDown, 40, ModifierFlag::CapsLock | kShift, u"K", Outcome::Recorded },
        { "keypad flag alone", KeyEventType::KeyDown, 82, ModifierFlag::NumericPad, u"0", Outcome::Ignored },
        { "keypad Enter types no newline", KeyEventType::KeyDown, 76, 0, u"\x0003", Outcome::Ignored },
        { "line feed", KeyEventType::KeyDown, 36, 0, u"\n", Outcome::Ended },
        { "line separator", KeyEventType::KeyDown, 36, 0, u"\u2028", Outcome::Ended },
        { "Escape by key code", KeyEventType::KeyDown, 53, 0, u"", Outcome::Ended },
        { "no characters", KeyEventType::KeyDown, 36, 0, u"", Outcome::Ignored },
        { "key up", KeyEventType::KeyUp, 40, kCommand, u"k", Outcome::Ignored },
        { "flags changed to none", KeyEventType::FlagsChanged, 55, 0, u"", Outcome::Ignored },
        { "flags changed with caps lock", KeyEventType::FlagsChanged, 57, ModifierFlag::CapsLock, u"",
          Outcome::Ignored },
        { "flags changed with Function", KeyEventType::FlagsChanged, 63, kFunction, u"", Outcome::Recorded },
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
        switch (c.outcome) {
        case Outcome::Ignored:
            EXPECT_EQ(field_.hotKey(), original_);
            EXPECT_EQ(actions_.count(), 0);
            EXPECT_TRUE(editor().isMonitoring());
            break;
        case Outcome::Recorded:
            ASSERT_NE(field_.hotKey(), original_);
            EXPECT_EQ(field_.hotKey()->keyCode(), c.keyCode);
            EXPECT_EQ(field_.hotKey()->modifierFlags(), c.flags);
            EXPECT_EQ(actions_.count(), 1);
            EXPECT_TRUE(editor().isMonitoring());
            break;
        case Outcome::Ended:
            EXPECT_EQ(field_.hotKey(), original_);
            EXPECT_EQ(actions_.count(), 1);
            EXPECT_FALSE(editor().isMonitoring());
            EXPECT_FALSE(field_.hasFocus());
            break;
        }
        field_.clearFocus();
    }
}

}  // namespace
