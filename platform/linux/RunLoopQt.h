// The real-time run loop: tasks and timers on the calling thread's Qt event loop.
#pragma once

#include "platform/RunLoop.h"

#include <QElapsedTimer>

#include <memory>
#include <unordered_map>
#include <vector>

class QObject;
class QTimer;

namespace uvccam::platform {

// Needs a QCoreApplication (the host's) on the thread that makes it, and every call must
// come from that thread: Qt timers only fire in their own thread's event loop. Tasks run
// in whichever event loop runs there, the host's or the nested one of runFor().
//
// Delays and intervals are rounded up to whole milliseconds, Qt's timer resolution, so
// nothing fires early. A repeating timer never re-enters its own task when the task runs
// a nested loop. When it falls behind it fires once and, as Qt's precise timers do, counts
// its next interval from that firing.
class RunLoopQt : public RunLoop {
public:
    RunLoopQt();
    ~RunLoopQt() override;
    RunLoopQt(const RunLoopQt&) = delete;
    RunLoopQt& operator=(const RunLoopQt&) = delete;

    TimePoint now() const override;
    QDateTime currentDateTime() const override { return QDateTime::currentDateTime(); }
    // An empty task is refused (id 0); a negative delay counts as 0.
    TimerId dispatchAfter(Duration delay, Task task) override;
    // An interval <= 0 is refused (id 0): the timer would spin the event loop.
    TimerId scheduleRepeating(Duration interval, Task task) override;
    void cancel(TimerId id) override;
    RunResult runFor(Duration maxTime) override;
    void stop() override;
    void sleep(Duration duration) override;

private:
    struct Pending {
        QTimer* timer; // owned by owner_
        // Shared so that a task cancelling its own timer does not destroy itself mid-call.
        std::shared_ptr<Task> task;
        bool repeating;
    };
    struct Level;

    TimerId start(Duration delay, Task task, bool repeating);
    void fire(TimerId id);

    QElapsedTimer clock_;
    // Parent of every timer, so that those still pending (or waiting for deleteLater) go
    // when the loop goes.
    std::unique_ptr<QObject> owner_;
    std::unordered_map<TimerId, Pending> pending_;
    std::vector<Level*> levels_; // the runFor() calls in progress, innermost last
    TimerId nextId_ = 1;
};

} // namespace uvccam::platform
