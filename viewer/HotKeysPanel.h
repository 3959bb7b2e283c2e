// Global shortcuts on or off, the keys they deliver, and the hot-key field.
#pragma once

#include <QGroupBox>

class HKHotKeyTextField;
class QCheckBox;
class QLabel;
class QListWidget;
class UVCCam;

namespace uvccamviewer {

class StatusLine;

// Names a key value of keyPressed: "Control", "L", "Left".
QString keyName(int key);

class HotKeysPanel : public QGroupBox {
    Q_OBJECT

public:
    HotKeysPanel(UVCCam& camera, StatusLine& status, QWidget* parent = nullptr);
    ~HotKeysPanel() override;

    void setShortcutsEnabled(bool enabled);

    // The keys that arrived, newest first.
    QStringList arrivedKeys() const;
    HKHotKeyTextField* field() const { return field_; }
    QString recordedCombination() const;

private:
    void keyArrived(int key, bool pressed);
    void showRecordedCombination();

    UVCCam& camera_;
    StatusLine& status_;
    QCheckBox* enabled_;
    QListWidget* keys_;
    HKHotKeyTextField* field_;
    QLabel* recorded_;
};

}  // namespace uvccamviewer
