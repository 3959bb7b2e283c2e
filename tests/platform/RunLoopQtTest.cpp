// Real-time checks of the Qt run loop; every wait is a few milliseconds or ends early by stop().
#include "platform/linux/RunLoopQt.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace std::chrono_literals;
using uvccam::platform::Duration;
using uvccam::platform::TimePoint;
using Result = uvccam::platform::RunLoop::RunResult;
using TimerId = uvccam::platform::RunLoop::TimerId;

namespace {

// Qt timers need the application object; one for the whole test program, made only if
// nothing else in it made one already.
class QtApplication : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (!QCoreApplication::instance())
            app_ = std::make_unique<QCoreApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    // QCoreApplication keeps references to these, so they live as long as it does.
    char name_[16] = "platform_tests";
    char* argv_[2] = { name_, nullptr };
    int argc_ = 1;
    std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const qtApplication
    = ::testing::AddGlobalTestEnvironment(new QtApplication);

class RunLoopQt : public ::testing::Test {
protected:
    Duration elapsedSince(TimePoint start) const { return loop.now() - start; }

    uvccam::platform::RunLoopQt loop;
};

} // namespace

TEST_F(RunLoopQt, ZeroDelayTasksRunOnTheNextIterationInQueueOrder)
{
    std::vector<int> order;
    for (int i = 0; i < 5; ++i)
        loop.dispatchAfter(0ms, [&order, i] { order.push_back(i); });
    loop.dispatchAfter(0ms, [this] { loop.stop(); });
    EXPECT_TRUE(order.empty());

    EXPECT_EQ(loop.runFor(1s), Result::Stopped);
    EXPECT_EQ(order, (std::vector<int> { 0, 1, 2, 3, 4 }));
}

TEST_F(RunLoopQt, StopFromATaskEndsTheRunEarlyButNotBeforeTheTaskIsDue)
{
    loop.dispatchAfter(5ms, [this] { loop.stop(); });
    const TimePoint start = loop.now();
    EXPECT_EQ(loop.runFor(2s), Result::Stopped);
    EXPECT_GE(elapsedSince(start), 5ms);
    EXPECT_LT(elapsedSince(start), 1s);
}

TEST_F(RunLoopQt, RunTimesOutAfterItsMaximumAndStopOutsideARunIsIgnored)
{
    loop.stop();
    bool ran = false;
    const TimerId later = loop.dispatchAfter(1s, [&ran] { ran = true; });
    const TimePoint start = loop.now();
    EXPECT_EQ(loop.runFor(10ms), Result::TimedOut);
    EXPECT_GE(elapsedSince(start), 10ms);
    EXPECT_LT(elapsedSince(start), 1s);
    EXPECT_FALSE(ran);
    loop.cancel(later);
}

TEST_F(RunLoopQt, CancelledTasksAndTimersNeverRun)
{
    int runs = 0;
    loop.cancel(loop.dispatchAfter(1ms, [&runs] { ++runs; }));
    loop.cancel(loop.scheduleRepeating(1ms, [&runs] { ++runs; }));
    const TimerId victim = loop.dispatchAfter(3ms, [&runs] { ++runs; });
    loop.dispatchAfter(2ms, [this, victim] {
        loop.cancel(victim);
        loop.cancel(0);
        loop.cancel(victim + 1000);
    });
    EXPECT_EQ(loop.runFor(8ms), Result::TimedOut);
    EXPECT_EQ(runs, 0);
    EXPECT_EQ(loop.scheduleRepeating(0ms, [] {}), 0u);
}

TEST_F(RunLoopQt, RepeatingTimerFiresUntilItCancelsItself)
{
    int ticks = 0;
    TimerId id = 0;
    id = loop.scheduleRepeating(1ms, [&] {
        if (++ticks == 3) {
            loop.cancel(id);
            loop.stop();
        }
    });
    const TimePoint start = loop.now();
    EXPECT_EQ(loop.runFor(1s), Result::Stopped);
    EXPECT_EQ(ticks, 3);
    EXPECT_GE(elapsedSince(start), 3ms);

    EXPECT_EQ(loop.runFor(4ms), Result::TimedOut);
    EXPECT_EQ(ticks, 3);
}

TEST_F(RunLoopQt, StopEndsOnlyTheInnermostNestedRun)
{
    Result inner = Result::TimedOut;
    bool outerContinued = false;
    loop.dispatchAfter(0ms, [&] {
        loop.dispatchAfter(2ms, [this] { loop.stop(); });
        inner = loop.runFor(1s);
        loop.dispatchAfter(0ms, [&] {
            outerContinued = true;
            loop.stop();
        });
    });
    const TimePoint start = loop.now();
    EXPECT_EQ(loop.runFor(2s), Result::Stopped);
    EXPECT_EQ(inner, Result::Stopped);
    EXPECT_TRUE(outerContinued);
    EXPECT_LT(elapsedSince(start), 1s);
}

TEST_F(RunLoopQt, RepeatingTaskRunningANestedLoopIsNotReentered)
{
    int depth = 0;
    int maxDepth = 0;
    int ticks = 0;
    const TimerId id = loop.scheduleRepeating(1ms, [&] {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        if (++ticks == 1)
            loop.runFor(5ms);
        else if (ticks == 3)
            loop.stop();
        --depth;
    });
    EXPECT_EQ(loop.runFor(1s), Result::Stopped);
    loop.cancel(id);
    EXPECT_EQ(maxDepth, 1);
}

TEST_F(RunLoopQt, SleepBlocksWithoutRunningTasks)
{
    bool ran = false;
    loop.dispatchAfter(0ms, [&ran] { ran = true; });
    const TimePoint start = loop.now();
    loop.sleep(5ms);
    EXPECT_GE(elapsedSince(start), 5ms);
    EXPECT_FALSE(ran);

    loop.dispatchAfter(0ms, [this] { loop.stop(); });
    EXPECT_EQ(loop.runFor(1s), Result::Stopped);
    EXPECT_TRUE(ran);
}
