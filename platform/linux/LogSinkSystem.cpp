// Sends each channel's messages to the real system log, Qt debug output and standard streams.
#include "platform/linux/LogSinkSystem.h"

#include <QByteArray>
#include <QMessageLogger>

#include <cstdio>
#include <mutex>

#include <syslog.h>

namespace uvccam::platform {

namespace {

// The syslog connection belongs to the process, not to a sink: it is opened on first use
// and never closed, because closelog() would also reset the ident for any other sink.
void openSystemLog()
{
    static std::once_flag opened;
    std::call_once(opened, [] { openlog("uvccam", 0, LOG_USER); });
}

} // namespace

void LogSinkSystem::write(LogChannel channel, const QString& message)
{
    QByteArray utf8 = message.toUtf8();
    switch (channel) {
    case LogChannel::System:
        openSystemLog();
        // Messages carry device names and other outside text, so never use one as a format.
        syslog(LOG_USER | LOG_NOTICE, "%s", utf8.constData());
        break;
    case LogChannel::QtDebug:
        QMessageLogger().debug("%s", utf8.constData());
        break;
    case LogChannel::StandardOutput:
        std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), stdout);
        std::fflush(stdout);
        break;
    case LogChannel::StandardError:
        // One write for text and newline, so that another thread's output cannot land between.
        utf8 += '\n';
        std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), stderr);
        std::fflush(stderr);
        break;
    }
}

} // namespace uvccam::platform
