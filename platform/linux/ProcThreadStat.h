// One line of /proc/self/task/<tid>/stat, read into the fields that a thread's processor load needs.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace uvccam::platform {

// Field numbers as proc(5) counts them, from 1 (the thread ID).
struct ProcThreadStat {
    char state = 0;                 // 3: R running, S sleeping, Z zombie, X dead ...
    std::uint64_t userTicks = 0;    // 14: utime, in clock ticks (sysconf(_SC_CLK_TCK))
    std::uint64_t systemTicks = 0;  // 15: stime, in clock ticks
    std::uint64_t startTicks = 0;   // 22: starttime, clock ticks after boot
    std::uint32_t policy = 0;       // 41: the scheduling policy (SCHED_OTHER, SCHED_IDLE ...)

    std::uint64_t runTicks() const { return userTicks + systemTicks; }
};

// Reads one stat line; none for a line cut short or with anything but a decimal number in
// the fields above. The name (field 2) is whatever the thread called itself, in
// parentheses, and may hold spaces and ')' of its own: the fields are counted from the
// line's last ')'.
std::optional<ProcThreadStat> parseProcThreadStat(std::string_view line);

}  // namespace uvccam::platform
