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
using Events = std::vector<std::pair<std::string, TimePoint>>;

namespace {

class RunLoopVirtual : public ::testing::Test {
protected:
    // Queues a task that records its name and the virtual time it ran at, then maybe stops.
    TimerId note(Duration delay, std::string name, bool thenStop = false)
    {
        return loop.dispatchAfter(delay, [this, name, thenStop] {
            record(name);
            if (thenStop)
                loop.stop();
        });
    }
    void record(const std::string& name) { events.emplace_back(name, loop.now()); }

    uvccam::platform::RunLoopVirtual loop;
    Events events;
};

} // namespace

TEST_F(RunLoopVirtual, RunsByDueTimeThenQueueOrderUpToAnInclusiveDeadline)
{
    note(20ms, "c");
    note(10ms, "a");
    note(10ms, "b");
    note(0ms, "zero");
    note(-5ms, "negative"); // counts as 0: never in the past
    // Added while running, due at the same time as "c": after it.
    loop.dispatchAfter(10ms, [this] { note(10ms, "e"); });
    note(50ms, "deadline");
    note(51ms, "past the deadline");

    EXPECT_EQ(loop.runFor(50ms), Result::TimedOut);
    EXPECT_EQ(events, (Events { { "zero", 0ms }, { "negative", 0ms }, { "a", 10ms }, { "b", 10ms },
                          { "c", 20ms }, { "e", 20ms }, { "deadline", 50ms } }));
    EXPECT_EQ(loop.now(), 50ms);
    EXPECT_EQ(loop.nextDueTime(), TimePoint(51ms));
}

TEST_F(RunLoopVirtual, StopEndsOnlyTheInnermostNestedRunAndANestedTimeoutMayOverrunTheOuterOne)
{
    // A request sent at 10 ms waits up to 80 ms for its reply, which comes 30 ms later;
    // meanwhile the inner wait runs the outer loop's events too.
    Result inner = Result::TimedOut;
    loop.dispatchAfter(10ms, [this, &inner] {
        record("request");
        note(30ms, "reply", true);
        inner = loop.runFor(80ms);
        record("request returned");
    });
    note(20ms, "outer event");
    note(100ms, "outer stop", true);
    note(100ms, "after outer stop");

    EXPECT_EQ(loop.runFor(1s), Result::Stopped);
    EXPECT_EQ(inner, Result::Stopped);
    // The stop ended the run before the event due with it; the next run starts afresh.
    EXPECT_EQ(loop.runFor(10ms), Result::TimedOut);
    EXPECT_EQ(events, (Events { { "request", 10ms }, { "outer event", 20ms }, { "reply", 40ms },
                          { "request returned", 40ms }, { "outer stop", 100ms }, { "after outer stop", 100ms } }));
    EXPECT_EQ(loop.now(), 110ms);

    // Unanswered, the inner wait runs to its own end, past the outer deadline; time never goes back.
    loop.dispatchAfter(10ms, [this, &inner] { inner = loop.runFor(80ms); });
    EXPECT_EQ(loop.runFor(50ms), Result::TimedOut);
    EXPECT_EQ(inner, Result::TimedOut);
    EXPECT_EQ(loop.now(), 200ms);
}

TEST_F(RunLoopVirtual, SleepRunsNothingThenOverdueEventsRunInOrderAndATimerCatchesUpOnce)
{
    loop.scheduleRepeating(10ms, [this] { record("tick"); });
    loop.advance(35ms);
    note(10ms, "a");
    note(5ms, "b");
    note(30ms, "c");
    loop.sleep(22ms); // 57 ms: the ticks at 40 and 50 are missed
    EXPECT_EQ(events.size(), 3u);
    loop.advance(13ms);
    EXPECT_EQ(events, (Events { { "tick", 10ms }, { "tick", 20ms }, { "tick", 30ms }, { "tick", 57ms },
                          { "b", 57ms }, { "a", 57ms }, { "tick", 60ms }, { "c", 65ms }, { "tick", 70ms } }));
}

TEST_F(RunLoopVirtual, RepeatingTaskThatOverrunsFiresOnceMoreWithoutReentering)
{
    loop.scheduleRepeating(10ms, [this] {
        record("tick");
        if (events.size() == 1)
            loop.runFor(25ms); // a nested wait past two periods
        else if (events.size() == 2)
            loop.sleep(8ms); // past the period due at 40 ms
    });
    loop.advance(50ms);
    EXPECT_EQ(events, (Events { { "tick", 10ms }, { "tick", 35ms }, { "tick", 43ms }, { "tick", 50ms } }));
}

TEST_F(RunLoopVirtual, TasksCancelThemselvesAndOthersWhileRunning)
{
    int ticks = 0;
    const TimerId self = loop.scheduleRepeating(10ms, [&] {
        if (++ticks == 3)
            loop.cancel(self);
    });
    const TimerId other = loop.scheduleRepeating(7ms, [this] { record("other"); });
    const TimerId spent = note(1ms, "spent");
    TimerId victim = 0;
    loop.dispatchAfter(15ms, [&] {
        for (const TimerId id : { victim, other, TimerId(0), TimerId(9999) })
            loop.cancel(id);
    });
    victim = note(15ms, "victim, same time, queued later");

    loop.advance(100ms);
    loop.cancel(spent);
    EXPECT_EQ(ticks, 3);
    EXPECT_EQ(events, (Events { { "spent", 1ms }, { "other", 7ms }, { "other", 14ms } }));
    EXPECT_EQ(loop.pendingCount(), 0u);
}

TEST_F(RunLoopVirtual, RefusesTimersThatWouldHangAndTestHelpersIgnoreStop)
{
    // An empty task could not run; an interval <= 0 would keep the timer due forever.
    EXPECT_EQ(loop.dispatchAfter(1ms, {}) + loop.scheduleRepeating(1ms, {}) + loop.scheduleRepeating(0ms, [] {})
            + loop.scheduleRepeating(-1ms, [] {}),
        0u);
    loop.stop(); // no run to end, and not remembered for a later one
    note(10ms, "stop", true);
    loop.dispatchAfter(20ms, [this] { note(30ms, "chained"); });
    EXPECT_TRUE(loop.runUntilIdle(1s));
    note(10ms, "stop", true);
    note(20ms, "after");
    loop.advance(30ms);
    EXPECT_EQ(loop.runFor(10ms), Result::TimedOut);
    EXPECT_EQ(events, (Events { { "stop", 10ms }, { "chained", 50ms }, { "stop", 60ms }, { "after", 70ms } }));

    loop.scheduleRepeating(10ms, [] {});
    EXPECT_FALSE(loop.runUntilIdle(25ms));
    EXPECT_EQ(loop.now(), 115ms);
}
