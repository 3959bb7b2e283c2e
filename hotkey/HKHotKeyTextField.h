// A text field in which the user records a shortcut by pressing it.
#pragma once

#include "UVCCamExport.h"
#include "hotkey/HKHotKey.h"
#include "hotkey/HKHotKeyTextFieldCell.h"

#include <QLineEdit>

#include <memory>

// Shows its hot key as text (⌥⌘K). While it has the keyboard focus, the shared
// HKHotKeyTextFieldEditor takes every key press of the application: modifiers pressed
// alone show as they are held, a key pressed with modifiers records a new hot key (with
// the task of the hot key the field had), Return ends editing and Escape puts the old
// hot key back. Each recording and each end of editing emits activated().
class UVCCAM_EXPORT HKHotKeyTextField : public QLineEdit {
    Q_OBJECT
public:
    explicit HKHotKeyTextField(QWidget* parent = nullptr);
    // Ends editing first when the field is being edited.
    ~HKHotKeyTextField() override;

    const std::shared_ptr<HKHotKey>& hotKey() const { return hotKey_; }
    // Stores the hot key and shows its text in capitals, unless it is the very object
    // the field holds already; none shows an empty field.
    void setHotKey(std::shared_ptr<HKHotKey> hotKey);

    // The text is what the hot key says; use setHotKey() and hotKey(). These log the
    // misuse on the system log and then do what they are asked all the same.
    void setStringValue(const QString& string);
    QString stringValue() const;

    // The field's cell, which chooses its editor.
    const HKHotKeyTextFieldCell& cell() const { return cell_; }

    // Sends the field's action to its target: emits activated().
    void sendAction();

signals:
    // The field's action: a hot key was recorded, or editing ended with Return or Escape.
    void activated();

protected:
    // Qt has no field editor of its own: the focus arriving at the field hands editing
    // to the cell's editor, and the focus leaving it ends editing.
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void endEditingHere();

    std::shared_ptr<HKHotKey> hotKey_;
    HKHotKeyTextFieldCell cell_;
};
