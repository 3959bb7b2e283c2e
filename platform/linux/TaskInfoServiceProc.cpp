// The process's threads from /proc/self/task, each one's usage sampled between readings.
#include "platform/linux/TaskInfoServiceProc.h"

#include "platform/linux/ProcThreadStat.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace uvccam::platform {

namespace {

const char* const kTaskDirectory = "/proc/self/task";

// The whole of a small /proc file, or the errno of the failure. A thread that has ended
// answers ENOENT at the open, or ESRCH or nothing at the read.
int readProcFile(const std::string& path, std::string& text)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    text.clear();
    char buffer[1024];
    int error = 0;
    while (true) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            error = errno;
        if (got <= 0)
            break;
        text.append(buffer, std::size_t(got));
    }
    ::close(fd);
    return error;
}

std::optional<ThreadHandle> threadId(const char* name)
{
    ThreadHandle id = 0;
    const char* end = name + std::char_traits<char>::length(name);
    const auto [stop, error] = std::from_chars(name, end, id);
    if (error != std::errc() || stop != end || id == 0)
        return std::nullopt;
    return id;
}

// Run time over wall time, in thousandths of one processor. Clock ticks make the run time
// coarse, so a short window may seem to hold more than the whole of it.
std::int32_t usageOver(std::uint64_t runTicks, double seconds, long ticksPerSecond)
{
    if (seconds <= 0.0)
        return 0;
    const double share = double(runTicks) / double(ticksPerSecond) / seconds;
    return std::int32_t(std::clamp(std::lround(share * TH_USAGE_SCALE), 0L, long(TH_USAGE_SCALE)));
}

}  // namespace

TaskInfoServiceProc::TaskInfoServiceProc() : ticksPerSecond_(::sysconf(_SC_CLK_TCK)) {}

KernReturn TaskInfoServiceProc::taskBasicInfo()
{
    if (ticksPerSecond_ <= 0 || ::access(kTaskDirectory, R_OK | X_OK) != 0)
        return KERN_FAILURE;
    return KERN_SUCCESS;
}

KernReturn TaskInfoServiceProc::taskThreads(std::vector<ThreadHandle>& threads)
{
    DIR* directory = ::opendir(kTaskDirectory);
    if (!directory)
        return KERN_FAILURE;
    threads.clear();
    while (const dirent* entry = ::readdir(directory)) {
        if (const auto id = threadId(entry->d_name))
            threads.push_back(*id);
    }
    ::closedir(directory);
    std::sort(threads.begin(), threads.end());

    // Threads that have ended take their windows with them, and their IDs may come back.
    for (auto it = windows_.begin(); it != windows_.end();) {
        if (std::binary_search(threads.begin(), threads.end(), it->first))
            ++it;
        else
            it = windows_.erase(it);
    }
    handedOut_.push_back(threads);
    return KERN_SUCCESS;
}

KernReturn TaskInfoServiceProc::threadBasicInfo(ThreadHandle thread, ThreadBasicInfo& info)
{
    if (!isHandedOut(thread))
        return KERN_INVALID_ARGUMENT;
    if (ticksPerSecond_ <= 0)
        return KERN_FAILURE;

    std::string text;
    const int error = readProcFile(std::string(kTaskDirectory) + '/' + std::to_string(thread) + "/stat", text);
    if (error == ENOENT || error == ESRCH || (error == 0 && text.empty())) {
        windows_.erase(thread);
        return KERN_TERMINATED;
    }
    if (error != 0)
        return KERN_FAILURE;
    const std::optional<ProcThreadStat> stat = parseProcThreadStat(text);
    if (!stat)
        return KERN_FAILURE;
    // A thread that has exited but is not yet gone from the list runs no more.
    if (stat->state == 'Z' || stat->state == 'X') {
        windows_.erase(thread);
        return KERN_TERMINATED;
    }

    const Clock::time_point now = Clock::now();
    auto it = windows_.find(thread);
    if (it == windows_.end() || it->second.startTicks != stat->startTicks)
        it = windows_.insert_or_assign(thread, firstWindow(stat->startTicks, stat->runTicks(), now)).first;
    Window& window = it->second;
    if (now - window.start >= kShortestWindow) {
        const std::uint64_t gained = stat->runTicks() - std::min(stat->runTicks(), window.runTicksThen);
        window.usage = usageOver(gained, std::chrono::duration<double>(now - window.start).count(), ticksPerSecond_);
        window.runTicksThen = stat->runTicks();
        window.start = now;
    }

    info.cpuUsage = window.usage;
    info.flags = stat->policy == SCHED_IDLE ? TH_FLAGS_IDLE : 0;
    return KERN_SUCCESS;
}

KernReturn TaskInfoServiceProc::releaseThreadList(const std::vector<ThreadHandle>& threads)
{
    const auto it = std::find(handedOut_.begin(), handedOut_.end(), threads);
    if (it == handedOut_.end())
        return KERN_INVALID_ADDRESS;
    handedOut_.erase(it);
    return KERN_SUCCESS;
}

bool TaskInfoServiceProc::isHandedOut(ThreadHandle thread) const
{
    return std::any_of(handedOut_.begin(), handedOut_.end(), [thread](const std::vector<ThreadHandle>& list) {
        return std::binary_search(list.begin(), list.end(), thread);
    });
}

TaskInfoServiceProc::Window TaskInfoServiceProc::firstWindow(std::uint64_t startTicks, std::uint64_t runTicks,
                                                            Clock::time_point now) const
{
    // The thread's start is in boot time, which /proc/uptime counts too; only the age goes
    // over to the monotonic clock.
    const std::optional<double> sinceBoot = secondsSinceBoot();
    if (!sinceBoot)
        return {startTicks, runTicks, now, 0};
    const double age = std::max(0.0, *sinceBoot - double(startTicks) / double(ticksPerSecond_));
    const auto ageOnClock = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(age));
    return {startTicks, 0, now - ageOnClock, 0};
}

std::optional<double> TaskInfoServiceProc::secondsSinceBoot() const
{
    // "12345.67 23456.78": the time since boot, then the processors' idle time.
    std::string text;
    if (readProcFile("/proc/uptime", text) != 0)
        return std::nullopt;
    double seconds = 0.0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, seconds);
    if (error != std::errc() || stop == end || *stop != ' ')
        return std::nullopt;
    return seconds;
}

}  // namespace uvccam::platform
