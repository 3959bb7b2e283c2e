// The process's threads from /proc: stat lines, real threads busy, blocked, idle by policy or
// ended, and the processor load the library reports from them on the Linux platform.
#include "platform/linux/TaskInfoServiceProc.h"

#include "mac/MacAppServiceOC.h"
#include "platform/linux/PlatformLinux.h"
#include "platform/linux/ProcThreadStat.h"
#include "support/EmulatedUsb.h"
#include "support/LibraryProcessState.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <map>
#include <thread>

#include <pthread.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

using namespace uvccam::platform;
using namespace std::chrono_literals;

namespace {

// A stat line as the kernel writes it (52 fields; tpgid -1, as for a thread without a
// terminal), with the given name, times and policy, cut after `lastField`.
std::string statLine(const std::string& name, const char* utime, const char* policy = "0", int lastField = 52)
{
    std::vector<std::string> fields(53, "0");
    fields[2] = "(" + name + ")";
    fields[3] = "S";
    fields[8] = "-1";
    fields[14] = utime;
    fields[15] = "38";
    fields[22] = "5123456";
    fields[41] = policy;
    std::string line = "4242";
    for (int i = 2; i <= lastField; ++i)
        line += " " + fields[i];
    return line + "\n";
}

TEST(ProcThreadStatParse, CountsFromTheLastParenthesisAndRefusesLinesCutShortOrGarbled)
{
    std::string twoSpaces = statLine("t", "712");
    twoSpaces.replace(twoSpaces.find(") S "), 4, ") S  ");
    const struct {
        const char* what;
        std::string line;
        bool valid;
    } cases[] = {
        {"a plain name", statLine("uvccam", "712"), true},
        {"spaces and parentheses in the name", statLine("a) b (c) 9 9", "712"), true},
        {"a name that reads like the fields", statLine("x) R 1 2 3 4 5 6 7 8 9 10 11 12", "712"), true},
        {"an empty name", statLine("", "712"), true},
        {"nothing", "", false},
        {"cut before the policy", statLine("t", "712", "0", 40), false},
        {"cut inside the name", "4242 (a) b", false},
        {"no closing parenthesis", "4242 (t S 0 0", false},
        {"no thread ID", statLine("t", "712").substr(5), false},
        {"a letter in the user time", statLine("t", "7x"), false},
        {"a negative user time", statLine("t", "-7"), false},
        {"an empty field", twoSpaces, false},
    };
    for (const auto& c : cases) {
        const std::optional<ProcThreadStat> stat = parseProcThreadStat(c.line);
        ASSERT_EQ(stat.has_value(), c.valid) << c.what;
        if (stat) {
            EXPECT_EQ(stat->state, 'S') << c.what;
            EXPECT_EQ(stat->runTicks(), 750u) << c.what;
            EXPECT_EQ(stat->startTicks, 5123456u) << c.what;
        }
    }
    EXPECT_EQ(parseProcThreadStat(statLine("idle", "0", "5"))->policy, unsigned(SCHED_IDLE));
}

// Asks until `reached` holds, for at most `limit`. In between, the event loop waits for a
// timer, so that the asking thread takes no processor from the threads it measures
// (waitFor() processes events without blocking).
bool pollUntil(const std::function<bool()>& reached, std::chrono::milliseconds limit = 5s)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!reached()) {
        if (elapsed.elapsed() >= limit.count())
            return false;
        QEventLoop pause;
        QTimer::singleShot(20, &pause, &QEventLoop::quit);
        pause.exec();
    }
    return true;
}

double secondsOn(clockid_t clock)
{
    timespec time{};
    ::clock_gettime(clock, &time);
    return double(time.tv_sec) + double(time.tv_nsec) / 1e9;
}

ThreadHandle currentThreadId()
{
    return ThreadHandle(::syscall(SYS_gettid));
}

// A thread of the test's own that spins, or waits on a condition variable, until it is
// stopped.
class TestThread {
public:
    explicit TestThread(bool busy) : thread_([this, busy] { run(busy); }), id_(started_.get_future().get()) {}
    ~TestThread() { stop(); }

    ThreadHandle id() const { return id_; }
    pthread_t handle() { return thread_.native_handle(); }
    // Since it was made: on the wall clock, and on its own processor clock.
    double age() const { return secondsOn(CLOCK_MONOTONIC) - born_; }
    double processorSeconds()
    {
        clockid_t clock;
        return ::pthread_getcpuclockid(handle(), &clock) == 0 ? secondsOn(clock) : -1.0;
    }
    void stop()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }

private:
    void run(bool busy)
    {
        started_.set_value(currentThreadId());
        while (busy && !stopping_) {
        }
        std::unique_lock<std::mutex> lock(mutex_);
        wake_.wait(lock, [this] { return bool(stopping_); });
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stopping_{false};
    std::promise<ThreadHandle> started_;
    const double born_ = secondsOn(CLOCK_MONOTONIC);
    std::thread thread_;
    ThreadHandle id_;
};

class ProcThreads : public ::testing::Test {
protected:
    // One round as the library makes it: list, read the threads asked for, give the list back.
    std::map<ThreadHandle, ThreadBasicInfo> readThreads(std::initializer_list<ThreadHandle> wanted)
    {
        std::vector<ThreadHandle> threads;
        EXPECT_EQ(service.taskThreads(threads), KERN_SUCCESS);
        std::map<ThreadHandle, ThreadBasicInfo> readings;
        for (ThreadHandle thread : wanted)
            EXPECT_EQ(service.threadBasicInfo(thread, readings[thread]), KERN_SUCCESS) << "thread " << thread;
        EXPECT_EQ(service.releaseThreadList(threads), KERN_SUCCESS);
        return readings;
    }

    TaskInfoServiceProc service;
};

// What a spinning thread gets depends on what else the machine runs (a third of a processor
// on one shared with builds), so its readings are held against its own processor clock over
// the same window. Clock ticks of 10 ms make the readings coarse; the tolerances are a few
// ticks over the window.
TEST_F(ProcThreads, ABusyThreadReadsTheProcessorShareItHadAndABlockedOneNearNothingOverTheSameWindow)
{
    ASSERT_EQ(service.taskBasicInfo(), KERN_SUCCESS);
    TestThread busy(true), blocked(false);

    // New threads read 0 until their first window, which runs from their start, has passed.
    std::map<ThreadHandle, ThreadBasicInfo> sinceStart;
    ASSERT_TRUE(pollUntil([&] {
        sinceStart = readThreads({busy.id(), blocked.id()});
        return sinceStart[busy.id()].cpuUsage > 0;
    }));
    const double firstEnd = busy.age(), firstRun = busy.processorSeconds();
    EXPECT_NEAR(sinceStart[busy.id()].cpuUsage, 1000 * firstRun / firstEnd, 120);
    EXPECT_LE(sinceStart[blocked.id()].cpuUsage, 50);

    // The next window ends at the next reading, made once the busy thread has run longer than
    // a window again: no sooner than a window later on the wall clock.
    ASSERT_TRUE(pollUntil([&] { return busy.processorSeconds() - firstRun >= 0.4; }));
    std::map<ThreadHandle, ThreadBasicInfo> next = readThreads({busy.id(), blocked.id()});
    const double share = (busy.processorSeconds() - firstRun) / (busy.age() - firstEnd);
    EXPECT_NEAR(next[busy.id()].cpuUsage, 1000 * share, 70);
    EXPECT_LE(next[blocked.id()].cpuUsage, 50);
    EXPECT_EQ(next[busy.id()].flags | next[blocked.id()].flags, 0);
}

TEST_F(ProcThreads, AThreadAtTheIdlePolicyIsFlaggedIdle)
{
    TestThread idle(false);
    const sched_param parameters{};
    ASSERT_EQ(::pthread_setschedparam(idle.handle(), SCHED_IDLE, &parameters), 0);
    std::map<ThreadHandle, ThreadBasicInfo> readings = readThreads({idle.id(), currentThreadId()});
    EXPECT_EQ(readings[idle.id()].flags, TH_FLAGS_IDLE);
    EXPECT_EQ(readings[currentThreadId()].flags, 0);
}

TEST_F(ProcThreads, AThreadThatEndsAfterTheListingReadsAsTerminatedAndTheOthersStillRead)
{
    TestThread ending(false);
    std::vector<ThreadHandle> threads;
    ASSERT_EQ(service.taskThreads(threads), KERN_SUCCESS);
    ending.stop();
    // The kernel lets go of a joined thread a moment after the join returns.
    ASSERT_TRUE(pollUntil([&] { return !QFileInfo::exists(QStringLiteral("/proc/self/task/%1").arg(ending.id())); }));

    ThreadBasicInfo info;
    EXPECT_EQ(service.threadBasicInfo(ending.id(), info), KERN_TERMINATED);
    EXPECT_EQ(service.threadBasicInfo(currentThreadId(), info), KERN_SUCCESS);
    EXPECT_EQ(service.releaseThreadList(threads), KERN_SUCCESS);
}

TEST_F(ProcThreads, OnlyListsHandedOutAndNotGivenBackAreTakenBackOrRead)
{
    std::vector<ThreadHandle> threads;
    ASSERT_EQ(service.taskThreads(threads), KERN_SUCCESS);
    EXPECT_EQ(service.releaseThreadList({currentThreadId(), 1}), KERN_INVALID_ADDRESS) << "never handed out";
    EXPECT_EQ(service.releaseThreadList(threads), KERN_SUCCESS);
    EXPECT_EQ(service.releaseThreadList(threads), KERN_INVALID_ADDRESS) << "given back twice";
    ThreadBasicInfo info;
    EXPECT_EQ(service.threadBasicInfo(currentThreadId(), info), KERN_INVALID_ARGUMENT) << "its list is back";
}

// The library's processor load on the platform a host gets on Linux.
class LoadOnLinux : public ::testing::Test {
protected:
    LoadOnLinux()
    {
        uvccam::testing::discardLibraryProcessState();
        Platform::install(PlatformLinux::create());
    }
    ~LoadOnLinux() override
    {
        uvccam::testing::discardLibraryProcessState();
        Platform::install(nullptr);
    }

    uvccam::testing::EmulatedUsb usb;
    MacAppServiceOC application;
};

TEST_F(LoadOnLinux, IsTheProcessorTimeOfTheWholeProcessOverTheWindowInPercent)
{
    TestThread busy(true);
    // Threads older than a window end their first one at the first reading, so that the
    // next window is every thread's.
    ASSERT_TRUE(pollUntil([&] { return busy.processorSeconds() >= 0.3; }));
    ASSERT_GE(application.getCPULoading(), 0.0f);
    const double start = secondsOn(CLOCK_MONOTONIC), processorAtStart = secondsOn(CLOCK_PROCESS_CPUTIME_ID);

    ASSERT_TRUE(pollUntil([&] { return secondsOn(CLOCK_PROCESS_CPUTIME_ID) - processorAtStart >= 0.5; }));
    const float load = application.getCPULoading();
    const double used = secondsOn(CLOCK_PROCESS_CPUTIME_ID) - processorAtStart;
    EXPECT_NEAR(load, 100 * used / (secondsOn(CLOCK_MONOTONIC) - start), 10);
}

}  // namespace
