// The HID function of a simulated device: the output reports it got and the input reports it sends.
#pragma once

#include "platform/HidService.h"
#include "platform/RunLoop.h"

#include <QByteArray>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace uvccam::platform {

// Every simulated device has one (a camera's vendor HID interface, a speakerphone's HID
// function). By default it answers each output report with a copy of it; the maker's
// firmware replaces that with its own responder. Faults come on demand. The model knows
// no run loop: what it sends goes to its listeners (the HID devices of the installed
// service), which deliver it on the run loop after the given delay.
class HidDeviceModel {
public:
    enum class Behaviour {
        Normal,  // answers after the answer delay
        Silent,  // acts on the report but its answer never arrives
        Late,    // answers after kLateAnswerDelay, past the library's 80 ms wait
        Twice,   // answers after the answer delay and again kRepeatGap later
    };

    // The answer to an output report, or none.
    using Responder = std::function<std::optional<QByteArray>(const QByteArray& outputReport)>;
    using InputListener = std::function<void(const QByteArray& report, Duration delay)>;
    using ListenerId = std::uint64_t;

    static constexpr Duration kDefaultAnswerDelay = std::chrono::milliseconds(2);
    static constexpr Duration kLateAnswerDelay = std::chrono::milliseconds(100);
    static constexpr Duration kRepeatGap = std::chrono::milliseconds(1);

    HidDeviceModel();

    // Handles an output report the library sent to the attached device. It is recorded
    // even when the transfer fails (setReportFails), so that tests see every attempt; a
    // failed one is never answered.
    HidStatus receiveOutputReport(const QByteArray& report);

    // Every output report handed to the attached device, exactly as sent, oldest first.
    std::vector<QByteArray> sentReports() const { return sentReports_; }
    void clearSentReports() { sentReports_.clear(); }

    void setResponder(Responder responder) { responder_ = std::move(responder); }
    void setAnswerDelay(Duration delay) { answerDelay_ = delay; }
    Duration answerDelay() const { return answerDelay_; }

    // Faults on demand.
    void setBehaviour(Behaviour behaviour) { behaviour_ = behaviour; }
    Behaviour behaviour() const { return behaviour_; }
    void setReportFails(bool fails) { reportFails_ = fails; }

    // Makes the device send an input report of any length (longer than the library's
    // report space too) after the delay.
    void sendInputReport(QByteArray report, Duration delay);

    ListenerId addInputListener(InputListener listener);
    void removeInputListener(ListenerId id);

private:
    std::vector<QByteArray> sentReports_;
    Responder responder_;
    Duration answerDelay_ = kDefaultAnswerDelay;
    Behaviour behaviour_ = Behaviour::Normal;
    bool reportFails_ = false;
    std::vector<std::pair<ListenerId, InputListener>> listeners_;
    ListenerId nextListenerId_ = 1;
};

}  // namespace uvccam::platform
