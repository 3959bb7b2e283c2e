// Real-time checks of the Qt run loop; every wait is a few milliseconds or ends early by stop().
#include "platform/linux/RunLoopQt.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace std::chrono_literals;
using Result = uvccam::platform::RunLoop::RunResult;
using TimerId = uvccam::platform::RunLoop::TimerId;

namespace {

// Qt timers need the application object: one for the whole test program.
struct QtApplication : ::testing::Environment {
    void SetUp() override { app = std::make_unique<QCoreApplication>(argc, argv); }
    void TearDown() override { app.reset(); }
    char name[16] = "platform_tests";
    char* argv[2] = { name, nullptr }; // QCoreApplication keeps references to these
    int argc = 1;
    std::unique_ptr<QCoreApplication> app;
};
[[maybe_unused]] auto* const qtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

class RunLoopQt : public ::testing::Test {
protected:
    uvccam::platform::RunLoopQt loop;
};

} // namespace

TEST_F(RunLoopQt, SleepRunsNothingThenZeroDelayTasksRunInOrderAndStopEndsTheRunEarly)
{
    std::vector<int> order;
    for (int i = 0; i < 5; ++i)
        loop.dispatchAfter(0ms, [&order, i] { order.push_back(i); });
    const auto start = loop.now();
    loop.dispatchAfter(5ms, [this] { loop.stop(); });
    loop.sleep(2ms);
    EXPECT_TRUE(order.empty());

    EXPECT_EQ(loop.runFor(2s), Result::Stopped);
    EXPECT_EQ(order, (std::vector<int> { 0, 1, 2, 3, 4 }));
    EXPECT_GE(loop.now() - start, 5ms); // not before the stopping task was due
    EXPECT_LT(loop.now() - start, 1s);
}

TEST_F(RunLoopQt, CancelledTasksNeverRunAndStopEndsOnlyTheInnermostRun)
{
    loop.stop(); // outside a run: nothing to end
    int runs = 0;
    loop.cancel(loop.scheduleRepeating(1ms, [&runs] { ++runs; }));
    EXPECT_EQ(loop.scheduleRepeating(0ms, [&runs] { ++runs; }), 0u);
    const TimerId victim = loop.dispatchAfter(3ms, [&runs] { ++runs; });
    loop.dispatchAfter(2ms, [&] { // runs inside the nested run below
        for (const TimerId id : { victim, TimerId(0), victim + 1000 })
            loop.cancel(id);
        loop.stop();
    });
    Result inner = Result::TimedOut;
    loop.dispatchAfter(0ms, [&] { inner = loop.runFor(1s); });

    const auto start = loop.now();
    EXPECT_EQ(loop.runFor(10ms), Result::TimedOut);
    EXPECT_GE(loop.now() - start, 10ms);
    EXPECT_LT(loop.now() - start, 1s);
    EXPECT_EQ(inner, Result::Stopped);
    EXPECT_EQ(runs, 0);
}

TEST_F(RunLoopQt, RepeatingTimerIsNotReenteredByANestedRunAndCancelsItselfFromInside)
{
    int depth = 0, ticks = 0;
    const TimerId id = loop.scheduleRepeating(1ms, [&] {
        EXPECT_EQ(depth++, 0) << "re-entered";
        if (++ticks == 1)
            loop.runFor(5ms); // across several periods
        if (ticks == 3) {
            loop.cancel(id);
            loop.stop();
        }
        --depth;
    });
    EXPECT_EQ(loop.runFor(1s), Result::Stopped);
    EXPECT_EQ(loop.runFor(4ms), Result::TimedOut);
    EXPECT_EQ(ticks, 3);
}
