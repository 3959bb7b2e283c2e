// Tests of the virtual-clock run loop: event order, virtual times, stop, nesting and timers.
#include "platform/sim/RunLoopVirtual.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace std::chrono_literals;
using uvccam::platform::Duration;
using uvccam::platform::TimePoint;
using Result = uvccam::platform::RunLoop::RunResult;
using TimerId = uvccam::platform::RunLoop::TimerId;

namespace {

class RunLoopVirtual : public ::testing::Test {
protected:
    // Queues a task that records its name and the virtual time it ran at.
    TimerId note(Duration delay, std::string name)
    {
        return loop.dispatchAfter(delay, [this, name] { record(name); });
    }
    void record(const std::string& name) { events.emplace_back(name, loop.now()); }

    uvccam::platform::RunLoopVirtual loop;
    std::vector<std::pair<std::string, TimePoint>> events;
};

using Events = std::vector<std::pair<std::string, TimePoint>>;

} // namespace

TEST_F(RunLoopVirtual, RunsByDueTimeThenQueueOrderAtExactTimes)
{
    note(20ms, "c");
    note(10ms, "a");
    note(10ms, "b");
    note(0ms, "zero");
    note(-5ms, "negative"); // counts as 0: never in the past
    note(20ms, "d");
    // Added while running, due at the same time as "c" and "d": after them.
    loop.dispatchAfter(10ms, [this] { note(10ms, "e"); });

    EXPECT_EQ(loop.runFor(50ms), Result::TimedOut);
    EXPECT_EQ(events,
        (Events { { "zero", 0ms }, { "negative", 0ms }, { "a", 10ms }, { "b", 10ms }, { "c", 20ms },
            { "d", 20ms }, { "e", 20ms } }));
    EXPECT_EQ(loop.now(), 50ms);
}

TEST_F(RunLoopVirtual, StopEndsRunAtThatEventsTime)
{
    loop.dispatchAfter(30ms, [this] { loop.stop(); });
    note(30ms, "same time, queued later");
    note(40ms, "later");

    EXPECT_EQ(loop.runFor(100ms), Result::Stopped);
    EXPECT_EQ(loop.now(), 30ms);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(loop.pendingCount(), 2u);

    EXPECT_EQ(loop.runFor(100ms), Result::TimedOut);
    EXPECT_EQ(events, (Events { { "same time, queued later", 30ms }, { "later", 40ms } }));
    EXPECT_EQ(loop.now(), 130ms);
}

TEST_F(RunLoopVirtual, TimeoutEndsAtDeadlineWhichIsInclusive)
{
    note(150ms, "x");
    EXPECT_EQ(loop.runFor(100ms), Result::TimedOut);
    EXPECT_EQ(loop.now(), 100ms);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(loop.nextDueTime(), TimePoint(150ms));

    EXPECT_EQ(loop.runFor(50ms), Result::TimedOut);
    EXPECT_EQ(events, (Events { { "x", 150ms } }));
    EXPECT_EQ(loop.nextDueTime(), std::nullopt);
}

TEST_F(RunLoopVirtual, StopEndsOnlyTheInnermostNestedRun)
{
    // A request sent at 10 ms waits up to 80 ms for its reply, which comes 30 ms later;
    // meanwhile the inner wait runs the outer loop's events too.
    Result inner = Result::TimedOut;
    loop.dispatchAfter(10ms, [this, &inner] {
        record("request");
        loop.dispatchAfter(30ms, [this] {
            record("reply");
            loop.stop();
        });
        inner = loop.runFor(80ms);
        record("request returned");
    });
    note(20ms, "outer event");
    loop.dispatchAfter(100ms, [this] {
        record("outer stop");
        loop.stop();
    });
    note(100ms, "after outer stop");

    EXPECT_EQ(loop.runFor(1s), Result::Stopped);
    EXPECT_EQ(inner, Result::Stopped);
    EXPECT_EQ(events,
        (Events { { "request", 10ms }, { "outer event", 20ms }, { "reply", 40ms },
            { "request returned", 40ms }, { "outer stop", 100ms } }));
    EXPECT_EQ(loop.now(), 100ms);
}

TEST_F(RunLoopVirtual, NestedTimeoutMayOverrunOuterDeadlineButTimeNeverGoesBack)
{
    Result inner = Result::Stopped;
    loop.dispatchAfter(10ms, [this, &inner] { inner = loop.runFor(80ms); });
    note(60ms, "during inner wait");
    note(95ms, "after both deadlines");

    EXPECT_EQ(loop.runFor(50ms), Result::TimedOut);
    EXPECT_EQ(inner, Result::TimedOut);
    EXPECT_EQ(events, (Events { { "during inner wait", 60ms } }));
    EXPECT_EQ(loop.now(), 90ms);
}

TEST_F(RunLoopVirtual, StopWithoutARunOrInsideTestHelpersIsIgnored)
{
    loop.stop();
    note(10ms, "a");
    EXPECT_EQ(loop.runFor(20ms), Result::TimedOut);

    loop.dispatchAfter(10ms, [this] { loop.stop(); });
    note(20ms, "after stop in advance");
    loop.advance(30ms);
    note(10ms, "b");
    EXPECT_EQ(loop.runFor(20ms), Result::TimedOut);

    EXPECT_EQ(events, (Events { { "a", 10ms }, { "after stop in advance", 40ms }, { "b", 60ms } }));
    EXPECT_EQ(loop.now(), 70ms);
}

TEST_F(RunLoopVirtual, SleepRunsNothingThenOverdueEventsRunInOrderAtCurrentTime)
{
    note(10ms, "a");
    note(5ms, "b");
    note(30ms, "c");
    note(60ms, "d");
    loop.sleep(50ms);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(loop.now(), 50ms);

    EXPECT_EQ(loop.runFor(0ms), Result::TimedOut);
    EXPECT_EQ(events, (Events { { "b", 50ms }, { "a", 50ms }, { "c", 50ms } }));
    EXPECT_EQ(loop.now(), 50ms);
}

TEST_F(RunLoopVirtual, RepeatingTimerKeepsCadenceAndCatchesUpOnceAfterSleep)
{
    loop.scheduleRepeating(10ms, [this] { record("tick"); });
    loop.advance(35ms);
    loop.sleep(22ms); // 57 ms: the ticks at 40 and 50 are missed
    loop.advance(0ms);
    EXPECT_EQ(loop.nextDueTime(), TimePoint(60ms));
    loop.advance(13ms);

    std::vector<TimePoint> times;
    for (const auto& event : events)
        times.push_back(event.second);
    EXPECT_EQ(times, (std::vector<TimePoint> { 10ms, 20ms, 30ms, 57ms, 60ms, 70ms }));
}

TEST_F(RunLoopVirtual, RepeatingTaskThatOverrunsFiresOnceMoreWithoutReentering)
{
    int depth = 0;
    int maxDepth = 0;
    loop.scheduleRepeating(10ms, [&] {
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        record("tick");
        if (events.size() == 1)
            loop.runFor(25ms); // a nested wait past two periods
        else if (events.size() == 2)
            loop.sleep(8ms); // past the period due at 40 ms
        --depth;
    });

    loop.advance(50ms);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(events,
        (Events { { "tick", 10ms }, { "tick", 35ms }, { "tick", 43ms }, { "tick", 50ms } }));
}

TEST_F(RunLoopVirtual, RefusesTimersThatCouldNeverRunOrWouldHang)
{
    EXPECT_EQ(loop.scheduleRepeating(0ms, [] {}), 0u);
    EXPECT_EQ(loop.scheduleRepeating(-1ms, [] {}), 0u);
    EXPECT_EQ(loop.scheduleRepeating(1ms, {}), 0u);
    EXPECT_EQ(loop.dispatchAfter(1ms, {}), 0u);
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST_F(RunLoopVirtual, TasksCancelThemselvesAndOthersWhileRunning)
{
    TimerId self = 0;
    int ticks = 0;
    self = loop.scheduleRepeating(10ms, [&] {
        if (++ticks == 3)
            loop.cancel(self);
    });
    TimerId victim = 0;
    TimerId otherRepeating = loop.scheduleRepeating(7ms, [this] { record("other"); });
    loop.dispatchAfter(15ms, [&] {
        loop.cancel(victim);
        loop.cancel(otherRepeating);
        loop.cancel(0);
        loop.cancel(9999);
    });
    victim = note(15ms, "victim, same time, queued later");
    TimerId spent = note(1ms, "spent");

    loop.advance(100ms);
    loop.cancel(spent);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(events, (Events { { "spent", 1ms }, { "other", 7ms }, { "other", 14ms } }));
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST_F(RunLoopVirtual, RunUntilIdleDrainsOrGivesUpAtTheLimit)
{
    EXPECT_TRUE(loop.runUntilIdle(1s));
    EXPECT_EQ(loop.now(), 0ms);

    note(10ms, "a");
    loop.dispatchAfter(20ms, [this] { note(30ms, "chained"); });
    EXPECT_TRUE(loop.runUntilIdle(1s));
    EXPECT_EQ(loop.now(), 50ms);
    EXPECT_EQ(events.size(), 2u);

    loop.scheduleRepeating(10ms, [] {});
    EXPECT_FALSE(loop.runUntilIdle(25ms));
    EXPECT_EQ(loop.now(), 75ms);
    EXPECT_EQ(loop.pendingCount(), 1u);
}
