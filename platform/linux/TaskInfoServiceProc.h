// The process's threads and their recent processor usage, read from /proc/self/task.
#pragma once

#include "platform/TaskInfoService.h"

#include <chrono>
#include <map>
#include <optional>
#include <vector>

namespace uvccam::platform {

// A thread's handle is its thread ID. Linux keeps only each thread's total run time, so its
// usage is sampled: the run time it gained over a window of at least kShortestWindow,
// divided by the window, which ends at a reading and starts at the reading that ended the
// previous window. Readings inside a window repeat the last usage, so that a host asking
// many times a second does not get the noise of a few clock ticks.
//
// A thread seen for the first time has its start as its window's start (its run time was
// 0 then), so a thread older than the window reads its average since it started, and a
// younger one reads 0 until it has lived a window.
//
// A thread whose scheduling policy is SCHED_IDLE is flagged TH_FLAGS_IDLE. Call it from one
// thread at a time.
class TaskInfoServiceProc : public TaskInfoService {
public:
    static constexpr std::chrono::milliseconds kShortestWindow{250};

    TaskInfoServiceProc();

    KernReturn taskBasicInfo() override;
    KernReturn taskThreads(std::vector<ThreadHandle>& threads) override;
    // KERN_INVALID_ARGUMENT for a thread in no list handed out and not given back.
    KernReturn threadBasicInfo(ThreadHandle thread, ThreadBasicInfo& info) override;
    KernReturn releaseThreadList(const std::vector<ThreadHandle>& threads) override;

private:
    using Clock = std::chrono::steady_clock;

    struct Window {
        std::uint64_t startTicks;    // the thread's start: tells a reused thread ID from its past owner
        std::uint64_t runTicksThen;  // the thread's run time at the window's start
        Clock::time_point start;
        std::int32_t usage;          // over the last whole window
    };

    bool isHandedOut(ThreadHandle thread) const;
    Window firstWindow(std::uint64_t startTicks, std::uint64_t runTicks, Clock::time_point now) const;
    std::optional<double> secondsSinceBoot() const;

    long ticksPerSecond_;
    std::map<ThreadHandle, Window> windows_;
    std::vector<std::vector<ThreadHandle>> handedOut_;
};

}  // namespace uvccam::platform
