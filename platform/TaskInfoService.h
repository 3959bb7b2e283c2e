// The running process's own threads and how much processor time each of them is using.
#pragma once

#include <cstdint>
#include <vector>

namespace uvccam::platform {

// The kernel's status of a task or thread query. The names are the kernel's own, so that
// checks on them read as the kernel's documentation does.
using KernReturn = std::int32_t;
constexpr KernReturn KERN_SUCCESS = 0;
constexpr KernReturn KERN_INVALID_ADDRESS = 1;
constexpr KernReturn KERN_INVALID_ARGUMENT = 4;
constexpr KernReturn KERN_FAILURE = 5;
// The thread ended after it was listed: its information is gone with it.
constexpr KernReturn KERN_TERMINATED = 37;

// A thread of the task, valid until its list is released.
using ThreadHandle = std::uint32_t;

// A thread's share of one processor is given in thousandths.
constexpr std::int32_t TH_USAGE_SCALE = 1000;
// The flag of a thread that only runs when nothing else does; its usage is no load.
constexpr std::int32_t TH_FLAGS_IDLE = 0x2;

struct ThreadBasicInfo {
    std::int32_t cpuUsage = 0;  // recent share of one processor, in TH_USAGE_SCALE units
    std::int32_t flags = 0;     // TH_FLAGS_IDLE
};

// A backend may read its threads from wherever its system keeps them (/proc/self/task
// on Linux, sampling each thread's run time between calls for the recent share).
class TaskInfoService {
public:
    virtual ~TaskInfoService() = default;

    // Whether the task's basic information can be read at all; the library needs only
    // the status.
    virtual KernReturn taskBasicInfo() = 0;

    // The task's threads now. On success the caller owns the list until it hands it back
    // to releaseThreadList().
    virtual KernReturn taskThreads(std::vector<ThreadHandle>& threads) = 0;

    // KERN_TERMINATED for a listed thread that has ended since; threads come and go
    // while the process runs, so a caller that sums them passes over such a one.
    virtual KernReturn threadBasicInfo(ThreadHandle thread, ThreadBasicInfo& info) = 0;

    // Gives back a list that taskThreads() handed out, with everything its handles hold.
    // A list that was never handed out, or was given back already, is refused.
    virtual KernReturn releaseThreadList(const std::vector<ThreadHandle>& threads) = 0;
};

}  // namespace uvccam::platform
