// The simulated session's applications: which is in front and which are hidden, with every request recorded.
#pragma once

#include "platform/ProcessService.h"

#include <vector>

namespace uvccam::platform {

// Starts with two visible applications: the host application itself in front and the
// desktop shell behind it. Hiding an application sends it behind the others, so the
// front passes to the next visible one; showing it leaves it where it is; bringing it
// to the front shows it too. Unknown serial numbers, no process among them, are refused
// with kProcessNotFound, as the session refuses them.
//
// With Applications::None no application runs: nothing is in front and every request is
// refused, as a platform whose desktop backend is still to come must answer rather than
// invent an application.
class ProcessServiceSim : public ProcessService {
public:
    enum class Applications { HostAndDesktop, None };
    static constexpr ProcessSerialNumber kOwnProcess{0, 0x1001};
    static constexpr ProcessSerialNumber kDesktopProcess{0, 0x1002};

    enum class Call { FrontProcess, ShowHideProcess, SetFrontProcess };
    struct Request {
        Call call;
        ProcessSerialNumber process;  // given, or for FrontProcess the one handed out
        bool visible;                 // ShowHideProcess only
        ProcessStatus status;
    };

    explicit ProcessServiceSim(Applications applications = Applications::HostAndDesktop);

    ProcessStatus frontProcess(ProcessSerialNumber& process) override;
    ProcessStatus showHideProcess(const ProcessSerialNumber& process, bool visible) override;
    ProcessStatus setFrontProcess(const ProcessSerialNumber& process) override;

    // Knobs: a newly launched application opens behind the visible ones; the user
    // switching to an application brings it to the front (no request is recorded).
    void launch(const ProcessSerialNumber& process, bool visible = true);
    void activate(const ProcessSerialNumber& process);
    // Hides every application, as when the user hides them all at once: nothing is in front.
    void hideAll();

    bool isRunning(const ProcessSerialNumber& process) const;
    bool isVisible(const ProcessSerialNumber& process) const;
    // No process when nothing visible runs.
    ProcessSerialNumber front() const;
    const std::vector<Request>& requests() const { return requests_; }

private:
    struct Process {
        ProcessSerialNumber serialNumber;
        bool visible;
    };

    // Index into order_, or -1.
    int indexOf(const ProcessSerialNumber& process) const;
    void moveToFront(int index);
    void moveToBack(int index);

    std::vector<Process> order_;  // front to back
    std::vector<Request> requests_;
};

}  // namespace uvccam::platform
