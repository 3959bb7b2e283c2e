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

TEST_F(RunLoopQt, RunsTasksInOrderNeverDuringSleepOrOnceCancelledAndStopEndsOnlyTheInnermostRun)
{
    loop.stop(); // outside a run: nothing to end
    const auto start = loop.now();
    std::vector<int> order;
    for (int i = 0; i < 3; ++i)
        loop.dispatchAfter(0ms, [&order, i] { order.push_back(i); });
    loop.cancel(loop.scheduleRepeating(1ms, [&order] { order.push_back(-1); }));
    EXPECT_EQ(loop.scheduleRepeating(0ms, [&order] { order.push_back(-2); }), 0u);
    const TimerId victim = loop.dispatchAfter(3ms, [&order] { order.push_back(-3); });
    auto stoppedAt = start;
    loop.dispatchAfter(2ms, [&] { // runs inside the nested run below
        for (const TimerId id : { victim, TimerId(0), victim + 1000 })
            loop.cancel(id);
        stoppedAt = loop.now();
        loop.stop();
    });
    Result inner = Result::TimedOut;
    loop.dispatchAfter(0ms, [&] { inner = loop.runFor(1s); });
    loop.sleep(2ms);
    EXPECT_TRUE(order.empty());

    const auto runStart = loop.now();
    EXPECT_EQ(loop.runFor(10ms), Result::TimedOut);
    EXPECT_GE(loop.now() - runStart, 10ms);
    EXPECT_LT(loop.now() - runStart, 1s); // the nested run ended early, by its stop
    EXPECT_GE(stoppedAt - start, 2ms);
    EXPECT_EQ(inner, Result::Stopped);
    EXPECT_EQ(order, (std::vector<int> { 0, 1, 2 }));
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
