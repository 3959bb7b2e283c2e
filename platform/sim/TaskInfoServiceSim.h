// The simulated process's threads: set processor usage and idle flags, a fault for each query.
#pragma once

#include "platform/TaskInfoService.h"

#include <vector>

namespace uvccam::platform {

// Starts with one thread, the main thread, using nothing. Every list handed out is
// tracked until it comes back, so tests can see that none is leaked or given back twice.
class TaskInfoServiceSim : public TaskInfoService {
public:
    TaskInfoServiceSim();

    KernReturn taskBasicInfo() override;
    KernReturn taskThreads(std::vector<ThreadHandle>& threads) override;
    KernReturn threadBasicInfo(ThreadHandle thread, ThreadBasicInfo& info) override;
    KernReturn releaseThreadList(const std::vector<ThreadHandle>& threads) override;

    // Knobs. Threads are listed in the order they were added.
    ThreadHandle addThread(std::int32_t cpuUsage, std::int32_t flags = 0);
    void removeAllThreads() { threads_.clear(); }
    // Each failing query answers KERN_FAILURE; a failing release answers
    // KERN_INVALID_ADDRESS and keeps the list out.
    void failTaskBasicInfo(bool fail = true) { failTaskBasicInfo_ = fail; }
    void failTaskThreads(bool fail = true) { failTaskThreads_ = fail; }
    void failThreadBasicInfo(ThreadHandle thread, bool fail = true);
    // The thread ends between being listed and being read: it is still listed, and its
    // information answers KERN_TERMINATED.
    void endAfterListing(ThreadHandle thread);
    void failReleaseThreadList(bool fail = true) { failRelease_ = fail; }

    // Threads whose information was asked for, in order.
    const std::vector<ThreadHandle>& threadsAsked() const { return threadsAsked_; }
    int listsHandedOut() const { return listsHandedOut_; }
    // Lists handed out and not given back.
    int outstandingLists() const { return int(outstanding_.size()); }

private:
    struct Thread {
        ThreadHandle handle;
        ThreadBasicInfo info;
        bool infoFails;
        bool ended;
    };

    std::vector<Thread> threads_;
    std::vector<std::vector<ThreadHandle>> outstanding_;
    std::vector<ThreadHandle> threadsAsked_;
    ThreadHandle nextHandle_ = 0x1003;
    int listsHandedOut_ = 0;
    bool failTaskBasicInfo_ = false;
    bool failTaskThreads_ = false;
    bool failRelease_ = false;
};

}  // namespace uvccam::platform
