// A log sink that keeps every message, for tests and for hosts that want to see what is logged.
#pragma once

#include "platform/Log.h"

#include <QStringList>

#include <vector>

namespace uvccam::platform {

class LogSinkRecorder : public LogSink {
public:
    struct Entry {
        LogChannel channel;
        QString message;
    };

    // forwardTo, when given, also receives every message; it is not owned and must
    // outlive the recorder.
    explicit LogSinkRecorder(LogSink* forwardTo = nullptr);

    void write(LogChannel channel, const QString& message) override;

    const std::vector<Entry>& entries() const { return entries_; }
    QStringList messages(LogChannel channel) const;
    void clear();

private:
    LogSink* forwardTo_;
    std::vector<Entry> entries_;
};

} // namespace uvccam::platform
