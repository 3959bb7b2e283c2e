// A simulated device's HID function: records output reports, answers them, sends input reports.
#include "platform/sim/HidDeviceModel.h"

namespace uvccam::platform {

HidDeviceModel::HidDeviceModel()
    : responder_([](const QByteArray& outputReport) { return std::optional<QByteArray>(outputReport); })
{
}

HidStatus HidDeviceModel::receiveOutputReport(const QByteArray& report)
{
    sentReports_.push_back(report);
    if (reportFails_)
        return kHidError;
    // The device acts on the report even when its answer is lost (Silent), so a stateful
    // responder sees the same sequence whatever the fault.
    std::optional<QByteArray> answer = responder_ ? responder_(report) : std::nullopt;
    if (!answer)
        return kHidSuccess;
    switch (behaviour_) {
    case Behaviour::Normal:
        sendInputReport(*answer, answerDelay_);
        break;
    case Behaviour::Silent:
        break;
    case Behaviour::Late:
        sendInputReport(*answer, kLateAnswerDelay);
        break;
    case Behaviour::Twice:
        sendInputReport(*answer, answerDelay_);
        sendInputReport(*answer, answerDelay_ + kRepeatGap);
        break;
    }
    return kHidSuccess;
}

void HidDeviceModel::sendInputReport(QByteArray report, Duration delay)
{
    // Listeners only queue work on the run loop, so the list cannot change under us.
    for (const auto& [id, listener] : listeners_)
        listener(report, delay);
}

HidDeviceModel::ListenerId HidDeviceModel::addInputListener(InputListener listener)
{
    const ListenerId id = nextListenerId_++;
    listeners_.emplace_back(id, std::move(listener));
    return id;
}

void HidDeviceModel::removeInputListener(ListenerId id)
{
    for (auto it = listeners_.begin(); it != listeners_.end(); ++it) {
        if (it->first == id) {
            listeners_.erase(it);
            return;
        }
    }
}

}  // namespace uvccam::platform
