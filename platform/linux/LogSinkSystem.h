// The log channels as the operating system provides them: syslog, Qt debug, stdout, stderr.
#pragma once

#include "platform/Log.h"

namespace uvccam::platform {

class LogSinkSystem : public LogSink {
public:
    void write(LogChannel channel, const QString& message) override;
};

} // namespace uvccam::platform
