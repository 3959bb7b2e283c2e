// The main thread's run loop and clock: the one way the library waits, defers or repeats work.
#pragma once

#include <QDateTime>

#include <chrono>
#include <cstdint>
#include <functional>

namespace uvccam::platform {

using Duration = std::chrono::nanoseconds;
using TimePoint = std::chrono::nanoseconds;  // since the run loop's epoch

// Everything the library does happens on the host's main thread. Device notifications,
// frames, input reports, deferred tasks and timers are all queued here and run only while
// the main run loop runs: inside the host's event loop, inside runFor(), never during
// sleep(). Two implementations exist: RunLoopQt (real time, the host's Qt event loop) and
// RunLoopVirtual (a discrete-event queue for tests, where waiting takes no real time).
class RunLoop {
public:
    using Task = std::function<void()>;
    using TimerId = std::uint64_t;  // 0 is never a valid id

    enum class RunResult { Stopped, TimedOut };

    virtual ~RunLoop() = default;

    // Monotonic time since the loop was made.
    virtual TimePoint now() const = 0;
    // The local date and time, for names that carry it (recordings are named by it).
    virtual QDateTime currentDateTime() const = 0;

    // Runs the task once on the main queue after the delay (0: as soon as the loop runs).
    // Tasks with the same due time run in the order they were queued.
    virtual TimerId dispatchAfter(Duration delay, Task task) = 0;

    // Runs the task every interval until invalidated. A timer that fell behind (the thread
    // slept) fires once when the loop next runs and then keeps its original cadence.
    virtual TimerId scheduleRepeating(Duration interval, Task task) = 0;

    // Cancels a pending task or a repeating timer; unknown or spent ids are ignored.
    virtual void cancel(TimerId id) = 0;

    // Runs the main run loop until stop() is called from a task or maxTime has passed.
    // Calls nest: stop() ends the innermost run only.
    virtual RunResult runFor(Duration maxTime) = 0;
    virtual void stop() = 0;

    // Blocks the main thread. Nothing queued on the main thread runs meanwhile; devices go
    // on, so whatever they send in the meantime is delivered when the loop runs again.
    virtual void sleep(Duration duration) = 0;
};

}  // namespace uvccam::platform
