// getExProperty / setExProperty with the protocol mode chosen per request.
#include "VendorPanel.h"

#include "StatusLine.h"

#include "UVCCam.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>

namespace uvccamviewer {

namespace {

// Extension units 1 to 6; a HID report carries at most 509 bytes of a property.
constexpr int kFirstUnit = 1;
constexpr int kLastUnit = 6;
constexpr int kLongestValue = 509;

}  // namespace

std::optional<QByteArray> parseHexBytes(const QString& text)
{
    QString digits = text;
    digits.remove(QRegularExpression(QStringLiteral("\\s")));
    static const QRegularExpression hex(QStringLiteral("^([0-9A-Fa-f]{2})+$"));
    if (!hex.match(digits).hasMatch())
        return std::nullopt;
    return QByteArray::fromHex(digits.toLatin1());
}

QString hexText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

VendorPanel::VendorPanel(UVCCam& camera, StatusLine& status, QWidget* parent)
    : QGroupBox(tr("Vendor property"), parent),
      camera_(camera),
      status_(status),
      route_(new QComboBox),
      unit_(new QSpinBox),
      selector_(new QSpinBox),
      bytes_(new QLineEdit),
      length_(new QSpinBox),
      get_(new QPushButton(tr("Get"))),
      set_(new QPushButton(tr("Set"))),
      result_(new QLabel),
      answer_(new QLabel)
{
    route_->addItem(tr("HID (setProtocolMode(1))"), static_cast<int>(Route::Hid));
    route_->addItem(tr("UVC (setProtocolMode(0))"), static_cast<int>(Route::Uvc));
    route_->setToolTip(tr("In HID mode selector 3 of unit 1, and every selector up to 6 of unit 1 on a speakerphone, "
                          "travel as vendor HID reports"));
    unit_->setRange(kFirstUnit, kLastUnit);
    selector_->setRange(0, 0xffff);
    selector_->setValue(3);
    bytes_->setPlaceholderText(tr("bytes in hex, e.g. a5 5a"));
    bytes_->setText(QStringLiteral("a5 5a"));
    length_->setRange(1, kLongestValue);
    length_->setValue(2);
    length_->setToolTip(tr("How many bytes Get reads"));
    result_->setObjectName(QStringLiteral("vendorResult"));
    answer_->setObjectName(QStringLiteral("vendorAnswer"));
    answer_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    answer_->setWordWrap(true);

    connect(get_, &QPushButton::clicked, this, [this] { get(); });
    connect(set_, &QPushButton::clicked, this, [this] { set(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(tr("Length:")));
    buttons->addWidget(length_);
    buttons->addWidget(get_);
    buttons->addWidget(set_);
    auto* layout = new QFormLayout(this);
    layout->addRow(tr("Route:"), route_);
    layout->addRow(tr("Extension unit:"), unit_);
    layout->addRow(tr("Selector:"), selector_);
    layout->addRow(tr("Bytes:"), bytes_);
    layout->addRow(buttons);
    layout->addRow(tr("Result:"), result_);
    layout->addRow(tr("Answer:"), answer_);
    setEnabled(false);
}

void VendorPanel::showDevice(const DeviceInfo& device)
{
    setEnabled(!device.deviceUniqueId.isEmpty());
    result_->clear();
    answer_->clear();
}

void VendorPanel::setRequest(Route route, int unitIndex, int selector, const QString& hexBytes)
{
    route_->setCurrentIndex(route_->findData(static_cast<int>(route)));
    unit_->setValue(unitIndex);
    selector_->setValue(selector);
    bytes_->setText(hexBytes);
    if (const std::optional<QByteArray> bytes = parseHexBytes(hexBytes); bytes && !bytes->isEmpty())
        length_->setValue(bytes->size());
}

std::optional<int> VendorPanel::get()
{
    QByteArray answer;
    const int result = readInto(answer);
    showOutcome(result, result == 0 ? answer : QByteArray());
    if (result != 0)
        status_.refused(describeRequest(QStringLiteral("getExProperty"), answer.size()), result);
    else
        status_.say(tr("%1: read %2").arg(describeRequest(QStringLiteral("getExProperty"), answer.size()), hexText(answer)));
    return result;
}

std::optional<int> VendorPanel::set()
{
    const std::optional<QByteArray> parsed = parseHexBytes(bytes_->text());
    if (!parsed || parsed->size() > kLongestValue) {
        status_.rejected(tr("Vendor property: '%1' is not 1 to %2 bytes in hex").arg(bytes_->text()).arg(kLongestValue));
        return std::nullopt;
    }
    QByteArray value = *parsed;
    const QString call = describeRequest(QStringLiteral("setExProperty"), value.size());
    int result = 0;
    {
        chooseRoute();
        BusyScope busy(status_, call);
        result = camera_.setExProperty(static_cast<unsigned short>(selector_->value()), value.data(),
                                       static_cast<unsigned int>(value.size()), unit_->value());
    }
    if (result != 0) {
        showOutcome(result, QByteArray());
        status_.refused(call, result);
        return result;
    }
    // The device's answer: the property read back in the length just written. Over HID the
    // read takes the device's reply to the write, which the firmware sends for every
    // property report.
    length_->setValue(value.size());
    QByteArray answer;
    const int readResult = readInto(answer);
    showOutcome(result, readResult == 0 ? answer : QByteArray());
    if (readResult != 0)
        status_.refused(describeRequest(QStringLiteral("getExProperty"), answer.size()), readResult);
    else
        status_.say(tr("%1: done, reads back %2").arg(call, hexText(answer)));
    return result;
}

QString VendorPanel::resultText() const
{
    return result_->text();
}

QString VendorPanel::answerText() const
{
    return answer_->text();
}

void VendorPanel::chooseRoute()
{
    camera_.setProtocolMode(route_->currentData().toInt() == static_cast<int>(Route::Hid) ? 1 : 0);
}

QString VendorPanel::describeRequest(const QString& call, int length) const
{
    return QStringLiteral("%1(selector %2, %3 bytes, unit %4) over %5")
        .arg(call)
        .arg(selector_->value())
        .arg(length)
        .arg(unit_->value())
        .arg(route_->currentData().toInt() == static_cast<int>(Route::Hid) ? QStringLiteral("HID") : QStringLiteral("UVC"));
}

int VendorPanel::readInto(QByteArray& answer)
{
    answer.fill('\0', length_->value());
    chooseRoute();
    BusyScope busy(status_, describeRequest(QStringLiteral("getExProperty"), answer.size()));
    return camera_.getExProperty(static_cast<unsigned short>(selector_->value()), answer.data(),
                                 static_cast<unsigned int>(answer.size()), unit_->value());
}

void VendorPanel::showOutcome(int result, const QByteArray& answer)
{
    result_->setText(QString::number(result));
    answer_->setText(answer.isEmpty() ? tr("(none)") : hexText(answer));
}

}  // namespace uvccamviewer
