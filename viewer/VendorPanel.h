// Vendor properties: an extension unit's selector read or written, over UVC or the HID route.
#pragma once

#include "DeviceInfo.h"

#include <QByteArray>
#include <QGroupBox>

#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class UVCCam;

namespace uvccamviewer {

class StatusLine;

// "12 34 ab", or none when the text is not whole bytes in hex (spaces between them allowed).
std::optional<QByteArray> parseHexBytes(const QString& text);
QString hexText(const QByteArray& bytes);

class VendorPanel : public QGroupBox {
    Q_OBJECT

public:
    enum class Route { Hid, Uvc };

    VendorPanel(UVCCam& camera, StatusLine& status, QWidget* parent = nullptr);

    void showDevice(const DeviceInfo& device);

    // The request the panel's fields describe.
    void setRequest(Route route, int unitIndex, int selector, const QString& hexBytes);
    // What the Get and Set buttons do: the library's result code, or none when the panel
    // refused the request itself. Set writes the bytes and reads the property back.
    std::optional<int> get();
    std::optional<int> set();

    // "0" or "-1", and the device's answer in hex.
    QString resultText() const;
    QString answerText() const;

private:
    void chooseRoute();
    QString describeRequest(const QString& call, int length) const;
    int readInto(QByteArray& answer);
    void showOutcome(int result, const QByteArray& answer);

    UVCCam& camera_;
    StatusLine& status_;
    QComboBox* route_;
    QSpinBox* unit_;
    QSpinBox* selector_;
    QLineEdit* bytes_;
    QSpinBox* length_;
    QPushButton* get_;
    QPushButton* set_;
    QLabel* result_;
    QLabel* answer_;
};

}  // namespace uvccamviewer
