// The hot-key field: its hot key, its text, and handing the focus to the hot-key editor.
#include "hotkey/HKHotKeyTextField.h"

#include "hotkey/HKHotKeyTextFieldEditor.h"
#include "hotkey/HKStringFromKeyCode.h"
#include "platform/Log.h"

HKHotKeyTextField::HKHotKeyTextField(QWidget* parent) : QLineEdit(parent)
{
    // Only a recorded hot key changes the text: pasting, dropping or an input method
    // must not. A read-only line edit also draws no caret.
    setReadOnly(true);
}

HKHotKeyTextField::~HKHotKeyTextField()
{
    // The focus leaves a widget being destroyed without this class hearing of it.
    endEditingHere();
}

void HKHotKeyTextField::setHotKey(std::shared_ptr<HKHotKey> hotKey)
{
    if (hotKey == hotKey_)
        return;
    hotKey_ = std::move(hotKey);
    // No hot key, no text: naming some key the user never chose would mislead.
    QLineEdit::setText(hotKey_ ? HKStringFromKeyCode(hotKey_->keyCode(), hotKey_->modifierFlags()).toUpper()
                               : QString());
}

void HKHotKeyTextField::setStringValue(const QString& string)
{
    uvccam::platform::logSystem("-[HKHotKeyTextField setStringValue:] is not what you want. Use "
                                "-[HKHotKeyTextField setHotKey:] instead.");
    QLineEdit::setText(string);
}

QString HKHotKeyTextField::stringValue() const
{
    uvccam::platform::logSystem("-[HKHotKeyTextField stringValue] is not what you want. Use "
                                "-[HKHotKeyTextField hotKey] instead.");
    return QLineEdit::text();
}

void HKHotKeyTextField::sendAction()
{
    emit activated();
}

void HKHotKeyTextField::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    if (HKHotKeyTextFieldEditor* editor = cell_.fieldEditorForView(this))
        editor->becomeFirstResponder();
}

void HKHotKeyTextField::focusOutEvent(QFocusEvent* event)
{
    endEditingHere();
    QLineEdit::focusOutEvent(event);
}

void HKHotKeyTextField::endEditingHere()
{
    HKHotKeyTextFieldEditor* editor = HKHotKeyTextFieldEditor::existingSharedFieldEditor();
    if (editor && editor->hotKeyField() == this)
        editor->resignFirstResponder();
}
