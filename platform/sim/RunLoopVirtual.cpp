// Discrete-event run loop on a virtual clock, so tests can wait for any time at no real cost.
#include "platform/sim/RunLoopVirtual.h"

#include <algorithm>

namespace uvccam::platform {

namespace {

// Tests like to wait "forever" with Duration::max(); that must not overflow the clock.
TimePoint saturatingAdd(TimePoint t, Duration d)
{
    if (d > Duration::zero() && t > TimePoint::max() - d)
        return TimePoint::max();
    return t + d;
}

} // namespace

RunLoop::TimerId RunLoopVirtual::dispatchAfter(Duration delay, Task task)
{
    if (!task)
        return 0;
    return add(std::max(delay, Duration::zero()), Duration::zero(), std::move(task));
}

RunLoop::TimerId RunLoopVirtual::scheduleRepeating(Duration interval, Task task)
{
    if (!task || interval <= Duration::zero())
        return 0;
    return add(interval, interval, std::move(task));
}

RunLoop::TimerId RunLoopVirtual::add(Duration delay, Duration interval, Task task)
{
    const TimerId id = nextId_++;
    Timer& timer = timers_[id];
    timer.interval = interval;
    timer.task = std::make_shared<Task>(std::move(task));
    enqueue(id, timer, saturatingAdd(now_, delay));
    return id;
}

void RunLoopVirtual::enqueue(TimerId id, Timer& timer, TimePoint due)
{
    timer.due = due;
    timer.seq = nextSeq_++;
    queue_.emplace(std::make_pair(due, timer.seq), id);
}

void RunLoopVirtual::cancel(TimerId id)
{
    const auto found = timers_.find(id);
    if (found == timers_.end())
        return;
    // A repeating timer whose task is running has no queue entry; erasing its old key is a
    // no-op then, and seq numbers are never reused, so it cannot hit another entry.
    queue_.erase(std::make_pair(found->second.due, found->second.seq));
    timers_.erase(found);
}

RunLoop::RunResult RunLoopVirtual::runFor(Duration maxTime)
{
    return run(maxTime, true, false) == Outcome::Stopped ? RunResult::Stopped : RunResult::TimedOut;
}

void RunLoopVirtual::stop()
{
    // With no run in progress there is nothing to end, and remembering the request would
    // make some later, unrelated run return at once.
    if (!levels_.empty())
        levels_.back().stopRequested = true;
}

void RunLoopVirtual::sleep(Duration duration)
{
    now_ = saturatingAdd(now_, std::max(duration, Duration::zero()));
}

void RunLoopVirtual::advance(Duration d) { run(d, false, false); }

bool RunLoopVirtual::runUntilIdle(Duration limit)
{
    return run(limit, false, true) == Outcome::Idle;
}

std::optional<TimePoint> RunLoopVirtual::nextDueTime() const
{
    if (queue_.empty())
        return std::nullopt;
    return queue_.begin()->first.first;
}

RunLoopVirtual::Outcome RunLoopVirtual::run(Duration maxTime, bool honourStop, bool untilIdle)
{
    const TimePoint deadline = saturatingAdd(now_, std::max(maxTime, Duration::zero()));
    // An index, not a reference: nested runs push onto the same vector and may reallocate it.
    const std::size_t level = levels_.size();
    levels_.emplace_back();

    Outcome outcome = Outcome::TimedOut;
    for (;;) {
        if (queue_.empty() && untilIdle) {
            outcome = Outcome::Idle;
            break;
        }
        if (queue_.empty() || queue_.begin()->first.first > deadline)
            break;
        fireNext();
        if (honourStop && levels_[level].stopRequested) {
            outcome = Outcome::Stopped;
            break;
        }
    }

    levels_.pop_back();
    // A nested run inside a task may already have taken time past this deadline.
    if (outcome == Outcome::TimedOut)
        now_ = std::max(now_, deadline);
    return outcome;
}

void RunLoopVirtual::fireNext()
{
    const auto head = queue_.begin();
    const TimerId id = head->second;
    queue_.erase(head);

    const auto found = timers_.find(id);
    const TimePoint due = found->second.due;
    const Duration interval = found->second.interval;
    const std::shared_ptr<Task> task = found->second.task;
    // Overdue events (after a sleep) run at the current time: time never goes backwards.
    now_ = std::max(now_, due);
    const TimePoint firedAt = now_;
    if (interval == Duration::zero())
        timers_.erase(found);

    (*task)();

    if (interval == Duration::zero())
        return;
    // The task may have cancelled its own timer, and may have added timers (which
    // invalidates iterators into timers_), so look it up again.
    const auto again = timers_.find(id);
    if (again == timers_.end())
        return;
    // The first due + k * interval after the firing time: one firing covers any periods
    // missed while the thread slept. Time the task itself took is not covered, so if it
    // overran the next period the timer fires once more as soon as the loop runs.
    const Duration behind = firedAt - due;
    enqueue(id, again->second, saturatingAdd(due + (behind / interval) * interval, interval));
}

QDateTime RunLoopVirtual::currentDateTime() const
{
    return start_.addMSecs(std::chrono::duration_cast<std::chrono::milliseconds>(now_).count());
}

} // namespace uvccam::platform
