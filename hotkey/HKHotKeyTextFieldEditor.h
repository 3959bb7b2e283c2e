// The one editor of every hot-key field: captures key presses and turns them into hot keys.
#pragma once

#include "UVCCamExport.h"
#include "hotkey/HKHotKey.h"
#include "KeyEvent.h"

#include <QPlainTextEdit>
#include <QPointer>

#include <memory>

class HKHotKeyTextField;

namespace uvccam::platform {
class KeyEventMonitorQt;
}

class UVCCAM_EXPORT HKHotKeyTextFieldEditor : public QPlainTextEdit {
    Q_OBJECT
public:
    // The editor all hot-key fields share, made the first time a field asks for one and
    // kept for the rest of the process.
    static HKHotKeyTextFieldEditor* sharedFieldEditor();
    // The shared editor when it has been made, otherwise none.
    static HKHotKeyTextFieldEditor* existingSharedFieldEditor();
    // Destroys the shared editor, for tests that must start from none. Needs the
    // QApplication still in place.
    static void discardSharedInstance();

    ~HKHotKeyTextFieldEditor() override;

    HKHotKeyTextField* hotKeyField() const;
    // Edits `field` (or nothing) from here on; the field's hot key now is what Escape
    // restores.
    void setHotKeyField(HKHotKeyTextField* field);
    const std::shared_ptr<HKHotKey>& originalHotKey() const { return originalHotKey_; }
    bool hasSeenKeyDown() const { return hasSeenKeyDown_; }
    // True while the key monitor is installed, from taking the focus to losing it.
    bool isMonitoring() const { return globalMonitor_ != nullptr; }

    // A field editor edits one line, and Tab leaves it.
    bool isFieldEditor() const { return fieldEditor_; }
    void setFieldEditor(bool fieldEditor);

    // Taking the focus: every key-down and flags-changed event of the application comes
    // here (and nowhere else) until the focus goes. Returns true: the editor accepts.
    bool becomeFirstResponder();
    // Losing the focus: stops monitoring and forgets the field. Returns true.
    bool resignFirstResponder();

    // One key-down or flags-changed event while editing: Return or Escape without
    // modifiers end editing (Escape restores the original hot key); a key pressed with
    // modifiers records a hot key, and so do modifiers alone until the first key-down;
    // any other key is ignored. Modifiers are Shift, Control, Option, Command and
    // Function; caps lock is not one.
    void processHotkeyEvent(const uvccam::platform::KeyEvent& event);

private:
    HKHotKeyTextFieldEditor();

    void record(const uvccam::platform::KeyEvent& event);
    // As the window's first responder becoming none: the field loses the focus.
    void endEditing();

    QPointer<HKHotKeyTextField> hotKeyField_;
    // Owned: Escape must find the original alive even after recording replaced it in the
    // field, which then no longer holds it.
    std::shared_ptr<HKHotKey> originalHotKey_;
    bool hasSeenKeyDown_ = false;
    std::unique_ptr<uvccam::platform::KeyEventMonitorQt> globalMonitor_;
    bool fieldEditor_ = false;
};
