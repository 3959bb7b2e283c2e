// Recording shortcuts: the capture rules and the key monitor's life with the focus.
#include "hotkey/HKHotKeyTextFieldEditor.h"

#include "hotkey/HKHotKeyTextField.h"
#include "hotkey/HKStringFromKeyCode.h"
#include "platform/linux/KeyEventMonitorQt.h"

using uvccam::platform::KeyEvent;
using uvccam::platform::KeyEventType;
using uvccam::platform::KeyEventMonitorQt;
namespace KeyEventMask = uvccam::platform::KeyEventMask;
namespace ModifierFlag = uvccam::platform::ModifierFlag;

namespace {

// Caps lock is left out: it stays on while the user types, and a plain key typed with it
// must not become a hot key.
constexpr std::uint64_t kHeldModifierMask = ModifierFlag::Shift | ModifierFlag::Control | ModifierFlag::Option
    | ModifierFlag::Command | ModifierFlag::Function;
constexpr std::uint16_t kEscapeKeyCode = 53;

// Widgets live on the GUI thread only, so this one thread is all the guard the shared
// editor's creation needs. Never destroyed at exit: the pointer keeps it reachable.
HKHotKeyTextFieldEditor*& sharedEditorSlot()
{
    static HKHotKeyTextFieldEditor* editor = nullptr;
    return editor;
}

bool isNewline(QChar character)
{
    const char16_t unit = character.unicode();
    return (unit >= 0x000A && unit <= 0x000D) || unit == 0x0085 || unit == 0x2028 || unit == 0x2029;
}

QString displayText(std::uint16_t keyCode, std::uint64_t modifierFlags)
{
    return HKStringFromKeyCode(keyCode, modifierFlags).toUpper();
}

}  // namespace

HKHotKeyTextFieldEditor* HKHotKeyTextFieldEditor::sharedFieldEditor()
{
    HKHotKeyTextFieldEditor*& editor = sharedEditorSlot();
    if (!editor) {
        editor = new HKHotKeyTextFieldEditor();
        editor->setGeometry(0, 0, 100, 32);
        editor->setFieldEditor(true);
    }
    return editor;
}

HKHotKeyTextFieldEditor* HKHotKeyTextFieldEditor::existingSharedFieldEditor()
{
    return sharedEditorSlot();
}

void HKHotKeyTextFieldEditor::discardSharedInstance()
{
    delete sharedEditorSlot();
    sharedEditorSlot() = nullptr;
}

HKHotKeyTextFieldEditor::HKHotKeyTextFieldEditor() = default;

HKHotKeyTextFieldEditor::~HKHotKeyTextFieldEditor() = default;

void HKHotKeyTextFieldEditor::setFieldEditor(bool fieldEditor)
{
    fieldEditor_ = fieldEditor;
    setLineWrapMode(fieldEditor ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
    setTabChangesFocus(fieldEditor);
}

HKHotKeyTextField* HKHotKeyTextFieldEditor::hotKeyField() const
{
    return hotKeyField_.data();
}

void HKHotKeyTextFieldEditor::setHotKeyField(HKHotKeyTextField* field)
{
    hotKeyField_ = field;
    originalHotKey_ = field ? field->hotKey() : nullptr;
}

bool HKHotKeyTextFieldEditor::becomeFirstResponder()
{
    hasSeenKeyDown_ = false;
    globalMonitor_ = std::make_unique<KeyEventMonitorQt>(KeyEventMask::KeyDown | KeyEventMask::FlagsChanged,
                                                         [this](const KeyEvent& event) { processHotkeyEvent(event); });
    return true;
}

bool HKHotKeyTextFieldEditor::resignFirstResponder()
{
    setHotKeyField(nullptr);
    globalMonitor_.reset();
    return true;
}

void HKHotKeyTextFieldEditor::processHotkeyEvent(const KeyEvent& event)
{
    // The monitor runs only while a field is edited; without one nothing is recorded.
    if (!hotKeyField_)
        return;
    const bool modifierHeld = (event.modifierFlags & kHeldModifierMask) != 0;

    switch (event.type) {
    case KeyEventType::KeyDown: {
        hasSeenKeyDown_ = true;
        const bool escape = event.keyCode == kEscapeKeyCode;
        const bool newline = !event.charactersIgnoringModifiers.isEmpty()
            && isNewline(event.charactersIgnoringModifiers.front());
        if (!modifierHeld && (escape || newline)) {
            if (escape) {
                const std::shared_ptr<HKHotKey> original = originalHotKey_;
                hotKeyField_->setHotKey(original);
                setPlainText(original ? displayText(original->keyCode(), original->modifierFlags()) : QString());
            }
            // The action's receiver may close the field's window.
            if (QPointer<HKHotKeyTextField> field = hotKeyField_) {
                field->sendAction();
                if (field)
                    endEditing();
            }
            return;
        }
        if (modifierHeld)
            record(event);
        return;
    }
    case KeyEventType::FlagsChanged:
        // Modifiers pressed alone show while the user builds the combination; once a key
        // has gone down they are the combination's, and releasing them changes nothing.
        if (!hasSeenKeyDown_ && modifierHeld)
            record(event);
        return;
    case KeyEventType::KeyUp:
        return;
    }
}

void HKHotKeyTextFieldEditor::record(const KeyEvent& event)
{
    HKHotKey::Task task = originalHotKey_ ? originalHotKey_->task() : HKHotKey::Task();
    hotKeyField_->setHotKey(HKHotKey::hotKeyWithKeyCode(event.keyCode, event.modifierFlags, std::move(task)));
    setPlainText(displayText(event.keyCode, event.modifierFlags));
    hotKeyField_->sendAction();
}

void HKHotKeyTextFieldEditor::endEditing()
{
    if (HKHotKeyTextField* field = hotKeyField_.data())
        field->clearFocus();
    // A field edited without holding the focus hears no focus change; editing ends all
    // the same.
    if (isMonitoring() || hotKeyField_)
        resignFirstResponder();
}
