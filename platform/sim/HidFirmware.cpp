// The simulated firmware's answers to the maker's vendor HID reports.
#include "platform/sim/HidFirmware.h"

namespace uvccam::platform {

namespace {

constexpr int kPropertyReportId = 0x08;
constexpr int kCallerAnswerReportId = 0x09;
constexpr int kPropertyCommand = 0x10;
constexpr int kUacCommand = 0x11;
constexpr int kApplyCommand = 7;
constexpr int kReadRequestBit = 0x80;
constexpr int kPayload = 3;  // answers carry their payload from byte 3
constexpr int kReadAnswerBytes = 8;

// Byte i of a report, 0 past its end: a short report reads as if padded with zeros.
int byteAt(const QByteArray& report, int i)
{
    return i < report.size() ? static_cast<std::uint8_t>(report[i]) : 0;
}

// `length` bytes of `bytes` from `from`, zero-padded.
QByteArray slice(const QByteArray& bytes, int from, int length)
{
    QByteArray out = bytes.mid(from, length);
    out.append(QByteArray(length - out.size(), '\0'));
    return out;
}

QByteArray stored(const std::map<int, QByteArray>& values, int selector, int length)
{
    auto found = values.find(selector);
    return found == values.end() ? QByteArray(length, '\0') : found->second;
}

}  // namespace

HidFirmware::HidFirmware(HidDeviceModel& hid, UvcCameraModel* uvc, std::uint16_t productId) : hid_(hid), uvc_(uvc)
{
    // Only the ST470 needs the apply command before a new transfer mode counts.
    if (uvc_ && productId == kSt470ProductId)
        uvc_->setDeferredProperty(kTransferModeUnit, kTransferModeSelector);
    install();
}

void HidFirmware::install()
{
    hid_.setResponder([this](const QByteArray& report) { return respond(report); });
}

std::optional<QByteArray> HidFirmware::respond(const QByteArray& report)
{
    const int command = byteAt(report, 1);
    const int selector = byteAt(report, 2);
    if (byteAt(report, 0) == kPropertyReportId) {
        switch (command) {
        case kPropertyCommand:
            setProperty(selector, report.mid(kPayload));
            return propertyAnswer(selector);
        case kUacCommand:
            return uacAnswer(report);
        case kApplyCommand:
            if (uvc_)
                uvc_->applyDeferredProperties();
            return callerBuiltAnswer(0, false);
        default:
            break;
        }
    }
    return callerBuiltAnswer(command, (command & kReadRequestBit) != 0);
}

void HidFirmware::reportProperty(int selector)
{
    hid_.sendInputReport(propertyAnswer(selector & 0xFF), hid_.answerDelay());
}

QByteArray HidFirmware::property(int selector) const
{
    return stored(properties_, selector, kValueLength);
}

void HidFirmware::setProperty(int selector, const QByteArray& value)
{
    properties_[selector & 0xFF] = slice(value, 0, kValueLength);
}

QByteArray HidFirmware::uacProperty(int selector) const
{
    return stored(uacProperties_, selector, kUacValueLength);
}

QByteArray HidFirmware::propertyAnswer(int selector) const
{
    QByteArray answer;
    answer.append(char(kPropertyReportId)).append(char(kPropertyCommand)).append(char(selector));
    return answer + property(selector);
}

QByteArray HidFirmware::uacAnswer(const QByteArray& request)
{
    const int selector = byteAt(request, 2);
    const int direction = byteAt(request, kPayload);
    if (direction == 1)
        uacProperties_[selector] = slice(request, kPayload + 1, kUacValueLength);
    QByteArray answer(kReportLength, '\0');
    answer[0] = char(kPropertyReportId);
    answer[1] = char(kUacCommand);
    answer[2] = char(selector);
    answer[kPayload] = char(direction);
    answer.replace(kPayload + 1, kUacValueLength, uacProperty(selector));
    return answer;
}

QByteArray HidFirmware::callerBuiltAnswer(int acknowledgement, bool isRead) const
{
    QByteArray answer(kReportLength, '\0');
    char* payload = answer.data() + kPayload;
    answer[0] = char(kCallerAnswerReportId);
    payload[0] = char(answerType_);
    payload[1] = char(payloadByte1_.value_or(acknowledgement));
    if (!isRead) {
        payload[2] = char(resultByte_);
        return answer;
    }
    const int count = countOverride_.value_or(kReadAnswerBytes);
    payload[2] = char(count & 0xFF);
    payload[3] = char((count >> 8) & 0xFF);
    for (int i = 0; i < kReadAnswerBytes; ++i)
        payload[4 + i] = char(i);
    return answer;
}

}  // namespace uvccam::platform
