// Hands a hot-key field the shared editor.
#include "hotkey/HKHotKeyTextFieldCell.h"

#include "hotkey/HKHotKeyTextField.h"
#include "hotkey/HKHotKeyTextFieldEditor.h"

HKHotKeyTextFieldEditor* HKHotKeyTextFieldCell::fieldEditorForView(QWidget* view) const
{
    auto* field = qobject_cast<HKHotKeyTextField*>(view);
    if (!field)
        return nullptr;
    HKHotKeyTextFieldEditor* editor = HKHotKeyTextFieldEditor::sharedFieldEditor();
    // Nothing is typed into a hot-key field; a caret would only suggest otherwise.
    editor->setCursorWidth(0);
    editor->setHotKeyField(field);
    return editor;
}
