// Discrete-event run loop on a virtual clock, so tests can wait for any time at no real cost.
#pragma once

#include "platform/RunLoop.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace uvccam::platform {

// Time moves only when the loop runs (from event to event, then to the deadline) or sleeps,
// so a test sees the same interleaving on every run. Events due at the same time run in the
// order they were queued. Not thread-safe: everything happens on the test's thread.
//
// A repeating timer is not in the queue while its own task runs, so a task that runs the
// loop (a nested runFor) never re-enters itself; if the nested run overran the next period,
// the timer fires once as soon as the task returns and then resumes its original cadence.
class RunLoopVirtual : public RunLoop {
public:
    RunLoopVirtual() = default;
    RunLoopVirtual(const RunLoopVirtual&) = delete;
    RunLoopVirtual& operator=(const RunLoopVirtual&) = delete;

    TimePoint now() const override { return now_; }
    // The start date and time plus the virtual time that has passed.
    QDateTime currentDateTime() const override;
    void setDateTimeAtStart(const QDateTime& start) { start_ = start; }
    // An empty task is refused (id 0); a negative delay counts as 0.
    TimerId dispatchAfter(Duration delay, Task task) override;
    // An interval <= 0 is refused (id 0): the timer would be due forever and time would
    // never move again.
    TimerId scheduleRepeating(Duration interval, Task task) override;
    void cancel(TimerId id) override;
    RunResult runFor(Duration maxTime) override;
    void stop() override;
    void sleep(Duration duration) override;

    // Runs everything due up to now + d and ends there. A stop() meant for this run is
    // ignored: the test, not a task, decides how far time goes.
    void advance(Duration d);
    // Runs until nothing is queued (true; time stays at the last task run) or nothing more is
    // due within the limit (false; time ends at now + limit). Ignores stop() like advance().
    bool runUntilIdle(Duration limit);
    // One-shot tasks not yet run plus live repeating timers.
    std::size_t pendingCount() const { return timers_.size(); }
    std::optional<TimePoint> nextDueTime() const;

private:
    enum class Outcome { Stopped, TimedOut, Idle };

    struct Timer {
        TimePoint due;
        std::uint64_t seq;
        Duration interval; // zero for a one-shot task
        // Shared so that a task cancelling its own timer does not destroy itself mid-call.
        std::shared_ptr<Task> task;
    };

    struct Level {
        bool stopRequested = false;
    };

    TimerId add(Duration delay, Duration interval, Task task);
    void enqueue(TimerId id, Timer& timer, TimePoint due);
    Outcome run(Duration maxTime, bool honourStop, bool untilIdle);
    void fireNext();

    TimePoint now_ { 0 };
    // A fixed start, so that names made from the date are the same on every run.
    QDateTime start_ { QDate(2026, 1, 1), QTime(9, 0, 0) };
    std::uint64_t nextSeq_ = 0;
    TimerId nextId_ = 1;
    std::map<std::pair<TimePoint, std::uint64_t>, TimerId> queue_; // (due, seq) -> timer
    std::unordered_map<TimerId, Timer> timers_;
    std::vector<Level> levels_; // the runs in progress, innermost last
};

} // namespace uvccam::platform
