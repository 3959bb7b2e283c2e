// Records log messages in order, optionally passing each on to another sink.
#include "platform/sim/LogSinkRecorder.h"

namespace uvccam::platform {

LogSinkRecorder::LogSinkRecorder(LogSink* forwardTo)
    : forwardTo_(forwardTo)
{
}

void LogSinkRecorder::write(LogChannel channel, const QString& message)
{
    entries_.push_back(Entry { channel, message });
    if (forwardTo_)
        forwardTo_->write(channel, message);
}

QStringList LogSinkRecorder::messages(LogChannel channel) const
{
    QStringList result;
    for (const Entry& entry : entries_) {
        if (entry.channel == channel)
            result.append(entry.message);
    }
    return result;
}

void LogSinkRecorder::clear() { entries_.clear(); }

} // namespace uvccam::platform
