// Where the library's diagnostics go: the host may take them over and route them itself.
#pragma once

#include "UVCCamExport.h"

#include <QString>

#include <functional>

namespace uvccam {

// The channel a diagnostic is written to when no handler is installed. Each message has
// one fixed channel; the channel says where it would go, not how important it is.
enum class DiagnosticChannel {
    System,          // the system log (syslog)
    QtDebug,         // Qt's debug output (qDebug, and whatever message handler the host installed)
    StandardOutput,  // the process's standard output
    StandardError,   // the process's standard error
};

// Receives each diagnostic, whole and without a trailing newline, on the thread that
// runs the library (the host's main thread).
using DiagnosticHandler = std::function<void(DiagnosticChannel channel, const QString& text)>;

// Installs `handler`: from now on every diagnostic of the library goes to it, and none to
// the four channels. An empty handler gives the channels back. Returns the handler that
// was installed before (empty when none was), so that a host can chain or restore it.
// A handler may install another one, or none, while it runs; the change takes effect
// with the next diagnostic.
UVCCAM_EXPORT DiagnosticHandler setDiagnosticHandler(DiagnosticHandler handler);

// "system", "qtdebug", "stdout" or "stderr".
UVCCAM_EXPORT const char* diagnosticChannelName(DiagnosticChannel channel);

}  // namespace uvccam
