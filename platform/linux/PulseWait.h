// Bounded waits on libpulse's own thread: for a condition, or for the answer to one request.
#pragma once

#include <functional>

struct pa_threaded_mainloop;
struct pa_context;
struct pa_operation;

namespace uvccam::platform {

// Waits with the main loop locked until `done`, or until `limitMs` passed; whether `done`
// holds. libpulse's wait has no timeout of its own, so a timer on the loop wakes it.
// Whatever should end the wait must signal the loop.
bool waitLocked(pa_threaded_mainloop* mainLoop, pa_context* context, int limitMs, const std::function<bool()>& done);

enum class PulseRequestEnd { Answered, ConnectionLost, TimedOut };

// With the main loop locked: waits for `operation` to finish, at most `limitMs`, and
// releases it. A request that was not answered is cancelled first, so that its callback,
// which usually points at the caller's stack, never runs after this returns.
PulseRequestEnd awaitLocked(pa_threaded_mainloop* mainLoop, pa_context* context, pa_operation* operation,
                            int limitMs);

}  // namespace uvccam::platform
