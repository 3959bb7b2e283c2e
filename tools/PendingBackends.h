// What the library cannot do on this machine's own devices yet, so that the tool says so instead of failing obscurely.
#pragma once

#include "CommandLine.h"

#include <QString>

namespace uvccamctl {

struct Command;

// Empty when the command works on real devices as asked; otherwise the one line to print
// ("get: no backend for UVC camera controls on this system yet; use --simulate"), after
// which the tool ends with kNoDevice. Only for runs without --simulate.
QString pendingBackend(const Command& command, const QStringList& words);

// What `info` shows for a camera's serial number while no backend reads it.
QString serialNumberPending();

}  // namespace uvccamctl
