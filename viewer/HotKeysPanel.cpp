// setKeyboardConnected and keyPressed, beside the field in which the user records a combination.
#include "HotKeysPanel.h"

#include "StatusLine.h"

#include "UVCCam.h"
#include "hotkey/HKHotKey.h"
#include "hotkey/HKHotKeyTextField.h"
#include "hotkey/HKStringFromKeyCode.h"
#include "mac/MacUVCCam.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QKeySequence>
#include <QLabel>
#include <QListWidget>
#include <QSignalBlocker>

namespace uvccamviewer {

namespace {

// Enough to see a shortcut's modifier, its key and a few repeats.
constexpr int kKeysKept = 12;
// Command + L, the field's first combination: key code 37 is the L key's position.
constexpr std::uint16_t kKeyCodeL = 37;
constexpr std::uint64_t kCommandFlag = 0x100000;

}  // namespace

QString keyName(int key)
{
    switch (key) {
    case Qt::Key_Control:
        return QStringLiteral("Control");
    case Qt::Key_Alt:
        return QStringLiteral("Alt");
    case Qt::Key_Shift:
        return QStringLiteral("Shift");
    case Qt::Key_Meta:
        return QStringLiteral("Meta");
    default:
        return QKeySequence(key).toString();
    }
}

HotKeysPanel::HotKeysPanel(UVCCam& camera, StatusLine& status, QWidget* parent)
    : QGroupBox(tr("Hot keys"), parent),
      camera_(camera),
      status_(status),
      enabled_(new QCheckBox(tr("Global shortcuts (setKeyboardConnected)"))),
      keys_(new QListWidget),
      field_(new HKHotKeyTextField),
      recorded_(new QLabel)
{
    enabled_->setObjectName(QStringLiteral("globalShortcuts"));
    keys_->setObjectName(QStringLiteral("arrivedKeys"));
    keys_->setMaximumHeight(fontMetrics().height() * 5);
    recorded_->setObjectName(QStringLiteral("recordedCombination"));
    field_->setHotKey(HKHotKey::hotKeyWithKeyCode(kKeyCodeL, kCommandFlag, [](const auto&) {}));

    connect(enabled_, &QCheckBox::toggled, this, &HotKeysPanel::setShortcutsEnabled);
    connect(field_, &HKHotKeyTextField::activated, this, &HotKeysPanel::showRecordedCombination);
    connect(qobject_cast<MacUVCCam*>(&camera_), &MacUVCCam::keyPressed, this, &HotKeysPanel::keyArrived);

    auto* layout = new QFormLayout(this);
    layout->addRow(enabled_);
    layout->addRow(tr("Keys (keyPressed):"), keys_);
    layout->addRow(tr("Record a combination:"), field_);
    layout->addRow(tr("Recorded:"), recorded_);
    showRecordedCombination();
}

HotKeysPanel::~HotKeysPanel()
{
    // The grabs belong to the window; another program may want the keys once it is gone.
    if (enabled_->isChecked())
        camera_.setKeyboardConnected(false);
}

void HotKeysPanel::setShortcutsEnabled(bool enabled)
{
    camera_.setKeyboardConnected(enabled);
    const QSignalBlocker quiet(enabled_);
    enabled_->setChecked(enabled);
    // The library reports no result; a combination another program holds stops the
    // registration, which only its log says.
    status_.say(enabled ? tr("Global shortcuts registered (setKeyboardConnected(true))")
                        : tr("Global shortcuts given up (setKeyboardConnected(false))"));
}

QStringList HotKeysPanel::arrivedKeys() const
{
    QStringList keys;
    for (int row = 0; row < keys_->count(); ++row)
        keys << keys_->item(row)->text();
    return keys;
}

QString HotKeysPanel::recordedCombination() const
{
    return recorded_->text();
}

void HotKeysPanel::keyArrived(int key, bool pressed)
{
    keys_->insertItem(0, tr("%1 %2").arg(keyName(key), pressed ? tr("pressed") : tr("released")));
    while (keys_->count() > kKeysKept)
        delete keys_->takeItem(keys_->count() - 1);
}

void HotKeysPanel::showRecordedCombination()
{
    const std::shared_ptr<HKHotKey>& hotKey = field_->hotKey();
    // In capitals, as the field shows it.
    recorded_->setText(hotKey ? tr("%1 (key code %2, modifiers 0x%3)")
                                    .arg(HKStringFromKeyCode(hotKey->keyCode(), hotKey->modifierFlags()).toUpper())
                                    .arg(hotKey->keyCode())
                                    .arg(hotKey->modifierFlags(), 0, 16)
                              : tr("(none)"));
}

}  // namespace uvccamviewer
