// What the library cannot do on this machine's own devices yet, so that the tool says so instead of failing obscurely.
#pragma once

#include <QString>

namespace uvccamctl {

struct Command;

// Empty when the command works on real devices; otherwise the one line to print
// ("COMMAND: no backend for WHAT IS MISSING on this system yet; use --simulate"), after
// which the tool ends with kNoDevice. Only for runs without --simulate.
QString pendingBackend(const Command& command);

}  // namespace uvccamctl
