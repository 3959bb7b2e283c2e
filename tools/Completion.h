// Candidates for the shell's completion, from the tool's own tables and device list.
#pragma once

#include <QStringList>

#include <functional>

namespace uvccamctl {

// The unique IDs of the attached devices; on the simulated set when `simulate` is true.
using DeviceIdSource = std::function<QStringList(bool simulate)>;

// What may stand in the last of `words` (the line after the program name, up to the word
// being completed, which may be empty): global options, command names, an action such as
// "get" of xu, control names, a command's own options, or after --device the attached
// devices. Only candidates that begin with that word are returned.
QStringList completionCandidates(const QStringList& words, const DeviceIdSource& deviceIds);

// The device IDs as "list" shows them; asks the library, on the simulator if told to.
QStringList attachedDeviceIds(bool simulate);

}  // namespace uvccamctl
