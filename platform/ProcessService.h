// Applications of the user's session: which one is in front, hiding and showing them.
#pragma once

#include <cstdint>

namespace uvccam::platform {

// Names one running application for as long as it runs. Both halves 0 is no process,
// which every operation refuses. A backend maps its own identity of an application onto
// the two halves (a desktop session's process ID in the low half, for example).
struct ProcessSerialNumber {
    std::uint32_t high = 0;
    std::uint32_t low = 0;

    bool isNoProcess() const { return high == 0 && low == 0; }
    friend bool operator==(const ProcessSerialNumber& a, const ProcessSerialNumber& b)
    {
        return a.high == b.high && a.low == b.low;
    }
    friend bool operator!=(const ProcessSerialNumber& a, const ProcessSerialNumber& b) { return !(a == b); }
};

// 0 for success, otherwise the session's refusal.
using ProcessStatus = std::int32_t;
constexpr ProcessStatus kProcessSuccess = 0;
// No application has that serial number (also what no process gets).
constexpr ProcessStatus kProcessNotFound = -600;

class ProcessService {
public:
    virtual ~ProcessService() = default;

    // Fills `process` with the application the user works in now. Leaves it untouched and
    // returns a refusal when nothing is in front.
    virtual ProcessStatus frontProcess(ProcessSerialNumber& process) = 0;

    // Hides all windows of an application, or shows them again. Hiding the front
    // application hands the front to the next visible one, as the session does.
    virtual ProcessStatus showHideProcess(const ProcessSerialNumber& process, bool visible) = 0;

    // Makes an application the one in front.
    virtual ProcessStatus setFrontProcess(const ProcessSerialNumber& process) = 0;
};

}  // namespace uvccam::platform
