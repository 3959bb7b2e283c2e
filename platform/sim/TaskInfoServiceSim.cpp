// The simulated process's threads, their information and the lists of them handed out.
#include "platform/sim/TaskInfoServiceSim.h"

#include <algorithm>

namespace uvccam::platform {

TaskInfoServiceSim::TaskInfoServiceSim()
{
    addThread(0);
}

ThreadHandle TaskInfoServiceSim::addThread(std::int32_t cpuUsage, std::int32_t flags)
{
    // Handles look like the kernel's port names: never 0, spaced apart.
    const ThreadHandle handle = nextHandle_;
    nextHandle_ += 0x100;
    threads_.push_back({handle, {cpuUsage, flags}, false, false});
    return handle;
}

void TaskInfoServiceSim::failThreadBasicInfo(ThreadHandle thread, bool fail)
{
    for (Thread& candidate : threads_) {
        if (candidate.handle == thread)
            candidate.infoFails = fail;
    }
}

void TaskInfoServiceSim::endAfterListing(ThreadHandle thread)
{
    for (Thread& candidate : threads_) {
        if (candidate.handle == thread)
            candidate.ended = true;
    }
}

KernReturn TaskInfoServiceSim::taskBasicInfo()
{
    return failTaskBasicInfo_ ? KERN_FAILURE : KERN_SUCCESS;
}

KernReturn TaskInfoServiceSim::taskThreads(std::vector<ThreadHandle>& threads)
{
    if (failTaskThreads_)
        return KERN_FAILURE;
    threads.clear();
    for (const Thread& thread : threads_)
        threads.push_back(thread.handle);
    outstanding_.push_back(threads);
    ++listsHandedOut_;
    return KERN_SUCCESS;
}

KernReturn TaskInfoServiceSim::threadBasicInfo(ThreadHandle thread, ThreadBasicInfo& info)
{
    threadsAsked_.push_back(thread);
    for (const Thread& candidate : threads_) {
        if (candidate.handle != thread)
            continue;
        if (candidate.infoFails)
            return KERN_FAILURE;
        if (candidate.ended)
            return KERN_TERMINATED;
        info = candidate.info;
        return KERN_SUCCESS;
    }
    return KERN_INVALID_ARGUMENT;
}

KernReturn TaskInfoServiceSim::releaseThreadList(const std::vector<ThreadHandle>& threads)
{
    if (failRelease_)
        return KERN_INVALID_ADDRESS;
    const auto it = std::find(outstanding_.begin(), outstanding_.end(), threads);
    if (it == outstanding_.end())
        return KERN_INVALID_ADDRESS;
    outstanding_.erase(it);
    return KERN_SUCCESS;
}

}  // namespace uvccam::platform
