// The four diagnostic channels and the printf-style formatting their messages use.
#pragma once

#include "UVCCamDiagnostics.h"
#include "UVCCamExport.h"

#include <QString>

#include <cstdint>
#include <initializer_list>

namespace uvccam::platform {

// Every message goes to exactly one channel, the one its operation names. The texts are
// fixed; nothing the library logs changes what it does. The channels are the ones a host
// sees in its diagnostic handler.
using LogChannel = ::uvccam::DiagnosticChannel;

inline const char* logChannelName(LogChannel channel)
{
    return ::uvccam::diagnosticChannelName(channel);
}

class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void write(LogChannel channel, const QString& message) = 0;
};

// One argument of a message. Held by value so that formatting never reads a C vararg of
// the wrong type: a mismatch prints something wrong, never something undefined.
class LogArg {
public:
    LogArg(int value) : kind_(Kind::Signed), signed_(value) {}
    LogArg(long value) : kind_(Kind::Signed), signed_(value) {}
    LogArg(long long value) : kind_(Kind::Signed), signed_(value) {}
    LogArg(unsigned value) : kind_(Kind::Unsigned), unsigned_(value) {}
    LogArg(unsigned long value) : kind_(Kind::Unsigned), unsigned_(value) {}
    LogArg(unsigned long long value) : kind_(Kind::Unsigned), unsigned_(value) {}
    LogArg(double value) : kind_(Kind::Real), real_(value) {}
    LogArg(const char* text) : kind_(Kind::Text), text_(text ? QString::fromUtf8(text) : QString()) {}
    LogArg(const QString& text) : kind_(Kind::Text), text_(text) {}

    enum class Kind { Signed, Unsigned, Real, Text };
    Kind kind() const { return kind_; }
    long long asSigned() const;
    unsigned long long asUnsigned() const;
    double asReal() const;
    QString asText() const;

private:
    Kind kind_;
    long long signed_ = 0;
    unsigned long long unsigned_ = 0;
    double real_ = 0;
    QString text_;
};

// printf-style formatting with one addition: "%@" stands for a string object and prints
// it as text ("(null)" for a missing one). Supports flags, width, precision and the
// length modifiers h, hh, l, ll, z of d i u x X o c s f g e and %%. Missing arguments
// print nothing; surplus ones are ignored.
QString formatMessage(const char* format, std::initializer_list<LogArg> args);

// The channels as the library's code writes to them: to the host's diagnostic handler
// when one is installed, otherwise to the platform's log sink. Exported for the libraries built on
// this one (the widgets), whose messages go to the same channels.
UVCCAM_EXPORT void writeLog(LogChannel channel, const char* format, std::initializer_list<LogArg> args);

template <typename... Args>
void logSystem(const char* format, const Args&... args)
{
    writeLog(LogChannel::System, format, {LogArg(args)...});
}

template <typename... Args>
void logQtDebug(const char* format, const Args&... args)
{
    writeLog(LogChannel::QtDebug, format, {LogArg(args)...});
}

template <typename... Args>
void logStandardOutput(const char* format, const Args&... args)
{
    writeLog(LogChannel::StandardOutput, format, {LogArg(args)...});
}

inline void logStandardError(const QString& text)
{
    writeLog(LogChannel::StandardError, "%@", {LogArg(text)});
}

}  // namespace uvccam::platform
