// The simulated session's applications: front order, visibility and the requests made of them.
#include "platform/sim/ProcessServiceSim.h"

#include <algorithm>

namespace uvccam::platform {

ProcessServiceSim::ProcessServiceSim(Applications applications)
{
    if (applications == Applications::None)
        return;
    order_.push_back({kOwnProcess, true});
    order_.push_back({kDesktopProcess, true});
}

int ProcessServiceSim::indexOf(const ProcessSerialNumber& process) const
{
    // No process never runs, whatever a test launches.
    if (process.isNoProcess())
        return -1;
    for (std::size_t i = 0; i < order_.size(); ++i) {
        if (order_[i].serialNumber == process)
            return int(i);
    }
    return -1;
}

void ProcessServiceSim::moveToFront(int index)
{
    std::rotate(order_.begin(), order_.begin() + index, order_.begin() + index + 1);
}

void ProcessServiceSim::moveToBack(int index)
{
    std::rotate(order_.begin() + index, order_.begin() + index + 1, order_.end());
}

ProcessSerialNumber ProcessServiceSim::front() const
{
    for (const Process& process : order_) {
        if (process.visible)
            return process.serialNumber;
    }
    return {};
}

ProcessStatus ProcessServiceSim::frontProcess(ProcessSerialNumber& process)
{
    const ProcessSerialNumber inFront = front();
    const ProcessStatus status = inFront.isNoProcess() ? kProcessNotFound : kProcessSuccess;
    if (status == kProcessSuccess)
        process = inFront;
    requests_.push_back({Call::FrontProcess, inFront, false, status});
    return status;
}

ProcessStatus ProcessServiceSim::showHideProcess(const ProcessSerialNumber& process, bool visible)
{
    const int index = indexOf(process);
    const ProcessStatus status = index < 0 ? kProcessNotFound : kProcessSuccess;
    requests_.push_back({Call::ShowHideProcess, process, visible, status});
    if (index < 0)
        return status;
    if (visible) {
        order_[std::size_t(index)].visible = true;
    } else if (order_[std::size_t(index)].visible) {
        order_[std::size_t(index)].visible = false;
        moveToBack(index);
    }
    return status;
}

ProcessStatus ProcessServiceSim::setFrontProcess(const ProcessSerialNumber& process)
{
    const int index = indexOf(process);
    const ProcessStatus status = index < 0 ? kProcessNotFound : kProcessSuccess;
    requests_.push_back({Call::SetFrontProcess, process, false, status});
    if (index >= 0)
        activate(process);
    return status;
}

void ProcessServiceSim::launch(const ProcessSerialNumber& process, bool visible)
{
    if (process.isNoProcess() || indexOf(process) >= 0)
        return;
    const auto firstHidden =
        std::find_if(order_.begin(), order_.end(), [](const Process& running) { return !running.visible; });
    order_.insert(visible ? firstHidden : order_.end(), {process, visible});
}

void ProcessServiceSim::activate(const ProcessSerialNumber& process)
{
    const int index = indexOf(process);
    if (index < 0)
        return;
    order_[std::size_t(index)].visible = true;
    moveToFront(index);
}

void ProcessServiceSim::hideAll()
{
    for (Process& process : order_)
        process.visible = false;
}

bool ProcessServiceSim::isRunning(const ProcessSerialNumber& process) const
{
    return indexOf(process) >= 0;
}

bool ProcessServiceSim::isVisible(const ProcessSerialNumber& process) const
{
    const int index = indexOf(process);
    return index >= 0 && order_[std::size_t(index)].visible;
}

}  // namespace uvccam::platform
