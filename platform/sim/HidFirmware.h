// The maker's HID firmware on a simulated device: answers property, UAC and caller-built reports.
#pragma once

#include "platform/sim/HidDeviceModel.h"
#include "platform/sim/UvcCameraModel.h"

#include <QByteArray>

#include <cstdint>
#include <map>
#include <optional>

namespace uvccam::platform {

// Makes a simulated device speak the maker's vendor HID protocol as its firmware would.
// Every answer is a full 512-byte input report.
//
// - Property report (0x08, 0x10, selector, value): stores report bytes 3..511 (zeros past
//   a short report) as the selector's value and answers 0x08, 0x10, selector, value. The
//   library also reads properties without asking first, so a device that should speak on
//   its own is made to with reportProperty().
// - UAC report (0x08, 0x11, selector, direction, value): direction 1 stores the 64 value
//   bytes; both directions answer 0x08, 0x11, selector, direction, the stored 64 bytes.
// - Apply command (0x08, 7): commits the camera's deferred UVC properties (on an ST470 the
//   transfer mode, unit 6 selector 2) and is acknowledged like a caller-built report, with
//   payload byte 1 (the status) 0.
// - Every other report is caller-built: answered 0x09, 0, 0, then the payload: answer
//   type 9, the request's byte 1 as acknowledgement, then either the result byte or, for a
//   read request (byte 1 has bit 0x80 set), count 8 little-endian and the bytes 0..7.
class HidFirmware {
public:
    static constexpr std::uint16_t kSt470ProductId = 0x470A;
    static constexpr int kReportLength = 512;
    static constexpr int kValueLength = 509;
    static constexpr int kUacValueLength = 64;
    static constexpr int kTransferModeUnit = 6;
    static constexpr int kTransferModeSelector = 2;

    // Installs itself as the device's responder. `uvc` is the camera's video-control
    // function, or nullptr for a speakerphone. Both must outlive the firmware.
    HidFirmware(HidDeviceModel& hid, UvcCameraModel* uvc, std::uint16_t productId);
    HidFirmware(const HidFirmware&) = delete;
    HidFirmware& operator=(const HidFirmware&) = delete;

    // Makes the firmware the device's responder again after a test replaced it.
    void install();
    // The answer to one output report, or none.
    std::optional<QByteArray> respond(const QByteArray& outputReport);

    // Sends the property answer for a selector unasked, after the device's answer delay.
    void reportProperty(int selector);

    // Stored values, zeros where never set: 509 bytes for a property, 64 for a UAC one.
    QByteArray property(int selector) const;
    void setProperty(int selector, const QByteArray& value);
    QByteArray uacProperty(int selector) const;

    // Faults in the answers to caller-built reports and the apply command. Payload byte 1
    // is both the acknowledgement and the status the library checks.
    void setAnswerType(int type) { answerType_ = type; }
    void setPayloadByte1Override(std::optional<int> value) { payloadByte1_ = value; }
    void setResultByte(int value) { resultByte_ = value; }
    // The count a read answer claims, which may exceed the 8 bytes it carries.
    void setCountOverride(std::optional<int> count) { countOverride_ = count; }

private:
    QByteArray propertyAnswer(int selector) const;
    QByteArray uacAnswer(const QByteArray& request);
    QByteArray callerBuiltAnswer(int acknowledgement, bool isRead) const;

    HidDeviceModel& hid_;
    UvcCameraModel* uvc_;
    std::map<int, QByteArray> properties_;
    std::map<int, QByteArray> uacProperties_;
    int answerType_ = 9;
    std::optional<int> payloadByte1_;
    int resultByte_ = 0;
    std::optional<int> countOverride_;
};

}  // namespace uvccam::platform
