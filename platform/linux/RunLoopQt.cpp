// The real-time run loop: tasks and timers on the calling thread's Qt event loop.
#include "platform/linux/RunLoopQt.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <optional>
#include <thread>

namespace uvccam::platform {

namespace {

int toTimerMs(Duration d)
{
    if (d <= Duration::zero())
        return 0;
    // Rounding up: a task must never run before its delay has passed.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

} // namespace

struct RunLoopQt::Level {
    QEventLoop* loop;
    std::optional<RunResult> result; // whichever of stop and timeout came first
};

RunLoopQt::RunLoopQt()
    : owner_(std::make_unique<QObject>())
{
    clock_.start();
}

RunLoopQt::~RunLoopQt()
{
    pending_.clear();
    owner_.reset();
}

TimePoint RunLoopQt::now() const { return TimePoint(clock_.nsecsElapsed()); }

RunLoop::TimerId RunLoopQt::dispatchAfter(Duration delay, Task task)
{
    return start(delay, std::move(task), false);
}

RunLoop::TimerId RunLoopQt::scheduleRepeating(Duration interval, Task task)
{
    if (interval <= Duration::zero())
        return 0;
    return start(interval, std::move(task), true);
}

RunLoop::TimerId RunLoopQt::start(Duration delay, Task task, bool repeating)
{
    if (!task)
        return 0;
    const TimerId id = nextId_++;
    auto* timer = new QTimer(owner_.get());
    timer->setTimerType(Qt::PreciseTimer);
    timer->setSingleShot(!repeating);
    // Zero-delay tasks go through a 0 ms timer too, not a posted event: Qt keeps timers
    // with the same expiry in the order they were started, which gives FIFO among them and
    // the same due-time order as every other task.
    timer->setInterval(toTimerMs(delay));
    QObject::connect(timer, &QTimer::timeout, timer, [this, id] { fire(id); });
    pending_.emplace(id, Pending { timer, std::make_shared<Task>(std::move(task)), repeating });
    timer->start();
    return id;
}

void RunLoopQt::fire(TimerId id)
{
    const auto found = pending_.find(id);
    if (found == pending_.end())
        return;
    const std::shared_ptr<Task> task = found->second.task;
    if (!found->second.repeating) {
        // Deleting the timer now would destroy the sender inside its own signal.
        found->second.timer->deleteLater();
        pending_.erase(found);
    }
    (*task)();
}

void RunLoopQt::cancel(TimerId id)
{
    const auto found = pending_.find(id);
    if (found == pending_.end())
        return;
    // The task may be the one cancelling itself from inside the timer's signal.
    found->second.timer->stop();
    found->second.timer->deleteLater();
    pending_.erase(found);
}

RunLoop::RunResult RunLoopQt::runFor(Duration maxTime)
{
    QEventLoop loop;
    Level level { &loop, std::nullopt };
    QTimer timeout;
    timeout.setTimerType(Qt::PreciseTimer);
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, [&level] {
        if (!level.result) {
            level.result = RunResult::TimedOut;
            level.loop->quit();
        }
    });

    levels_.push_back(&level);
    timeout.start(toTimerMs(maxTime));
    loop.exec();
    levels_.pop_back();

    // No result means something else ended the loop (QCoreApplication::exit ends every
    // loop): the run was cut short, which is a stop, not a timeout.
    return level.result.value_or(RunResult::Stopped);
}

void RunLoopQt::stop()
{
    // Outside runFor() the running loop, if any, is the host's: not ours to end.
    if (levels_.empty())
        return;
    Level* innermost = levels_.back();
    if (!innermost->result) {
        innermost->result = RunResult::Stopped;
        innermost->loop->quit();
    }
}

void RunLoopQt::sleep(Duration duration)
{
    if (duration > Duration::zero())
        std::this_thread::sleep_for(duration);
}

} // namespace uvccam::platform
