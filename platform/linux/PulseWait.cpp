// Bounded waits on libpulse's own thread, woken by the loop's signal or by a timer on the loop.
#include "platform/linux/PulseWait.h"

#include <pulse/context.h>
#include <pulse/operation.h>
#include <pulse/rtclock.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

namespace uvccam::platform {

bool waitLocked(pa_threaded_mainloop* mainLoop, pa_context* context, int limitMs, const std::function<bool()>& done)
{
    struct Timer {
        pa_threaded_mainloop* loop;
        bool expired = false;
    } timer{mainLoop};
    pa_time_event* event = pa_context_rttime_new(
        context, pa_rtclock_now() + static_cast<pa_usec_t>(limitMs) * PA_USEC_PER_MSEC,
        [](pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
            auto* t = static_cast<Timer*>(userdata);
            t->expired = true;
            pa_threaded_mainloop_signal(t->loop, 0);
        },
        &timer);
    while (!done() && !timer.expired)
        pa_threaded_mainloop_wait(mainLoop);
    if (event)
        pa_threaded_mainloop_get_api(mainLoop)->time_free(event);
    return done();
}

PulseRequestEnd awaitLocked(pa_threaded_mainloop* mainLoop, pa_context* context, pa_operation* operation, int limitMs)
{
    pa_operation_set_state_callback(
        operation,
        [](pa_operation*, void* loop) { pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(loop), 0); },
        mainLoop);
    const bool finished = waitLocked(mainLoop, context, limitMs, [operation, context] {
        return pa_operation_get_state(operation) != PA_OPERATION_RUNNING
            || !PA_CONTEXT_IS_GOOD(pa_context_get_state(context));
    });
    const bool answered = finished && pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (!answered)
        pa_operation_cancel(operation);
    pa_operation_set_state_callback(operation, nullptr, nullptr);
    pa_operation_unref(operation);
    if (answered)
        return PulseRequestEnd::Answered;
    return finished ? PulseRequestEnd::ConnectionLost : PulseRequestEnd::TimedOut;
}

}  // namespace uvccam::platform
