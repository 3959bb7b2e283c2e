// The front application, hiding and showing applications, over the X11 session's EWMH hints.
#include "platform/linux/ProcessServiceX11.h"

#include "platform/linux/EwmhSessionX11.h"

#include <QLoggingCategory>

namespace uvccam::platform {

namespace {

Q_LOGGING_CATEGORY(lcDesktop, "uvccam.linux.desktop")

}  // namespace

ProcessServiceX11::ProcessServiceX11() = default;

ProcessServiceX11::~ProcessServiceX11() = default;

EwmhSessionX11* ProcessServiceX11::session()
{
    if (session_ && !session_->isConnected())
        session_.reset();
    if (!session_) {
        QString failure;
        session_ = EwmhSessionX11::connect(failure);
        if (!session_ && !noDisplayLogged_) {
            noDisplayLogged_ = true;
            qCWarning(lcDesktop).noquote()
                << failure
                << "- applications cannot be found, hidden or shown: that needs an X11 session, as Wayland "
                   "lets no application see or minimise another's windows";
        }
    }
    return session_.get();
}

std::vector<std::uint32_t> ProcessServiceX11::windowsOf(const ProcessSerialNumber& process)
{
    EwmhSessionX11* x11 = session();
    // Serial numbers handed out here carry a process ID in the low half only.
    if (!x11 || process.isNoProcess() || process.high != 0)
        return {};
    const std::vector<std::uint32_t> windows = x11->clientWindows();
    const std::vector<std::uint32_t> pids = x11->processIds(windows);
    std::vector<std::uint32_t> owned;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (pids[i] == process.low)
            owned.push_back(windows[i]);
    }
    return owned;
}

ProcessStatus ProcessServiceX11::frontProcess(ProcessSerialNumber& process)
{
    EwmhSessionX11* x11 = session();
    if (!x11)
        return kProcessNotFound;
    const std::uint32_t active = x11->activeWindow();
    if (active == 0)
        return kProcessNotFound;
    const std::uint32_t pid = x11->processIds({ active }).front();
    if (pid == 0)
        return kProcessNotFound;
    process = ProcessSerialNumber { 0, pid };
    return kProcessSuccess;
}

ProcessStatus ProcessServiceX11::showHideProcess(const ProcessSerialNumber& process, bool visible)
{
    const std::vector<std::uint32_t> windows = windowsOf(process);
    if (windows.empty())
        return kProcessNotFound;
    for (const std::uint32_t window : windows) {
        if (visible)
            session_->map(window);
        else
            session_->iconify(window);
    }
    return session_->flush() ? kProcessSuccess : kProcessNotFound;
}

ProcessStatus ProcessServiceX11::setFrontProcess(const ProcessSerialNumber& process)
{
    const std::vector<std::uint32_t> windows = windowsOf(process);
    if (windows.empty())
        return kProcessNotFound;
    session_->activate(windows.back());
    return session_->flush() ? kProcessSuccess : kProcessNotFound;
}

}  // namespace uvccam::platform
