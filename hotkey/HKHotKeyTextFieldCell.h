// The cell of a hot-key field: chooses the editor that records shortcuts for it.
#pragma once

#include "UVCCamExport.h"

class QWidget;
class HKHotKeyTextFieldEditor;

class UVCCAM_EXPORT HKHotKeyTextFieldCell {
public:
    // For an HKHotKeyTextField: the shared hot-key editor, set to edit that field, with
    // its caret hidden. None for any other widget, which edits as it always does.
    HKHotKeyTextFieldEditor* fieldEditorForView(QWidget* view) const;
};
