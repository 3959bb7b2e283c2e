// Channel names, message arguments and the printf-compatible formatter behind the log channels.
#include "platform/Log.h"

#include "platform/Platform.h"

#include <QByteArray>
#include <QLocale>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace uvccam::platform {

namespace {

// Converting an out-of-range double to an integer is undefined, so saturate instead: a
// mismatched argument must print something wrong, never something undefined.
long long realToSigned(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 9223372036854775808.0)
        return LLONG_MAX;
    if (value < -9223372036854775808.0)
        return LLONG_MIN;
    return static_cast<long long>(value);
}

unsigned long long realToUnsigned(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= 18446744073709551616.0)
        return ULLONG_MAX;
    if (value < 0)
        return static_cast<unsigned long long>(realToSigned(value));
    return static_cast<unsigned long long>(value);
}

} // namespace

long long LogArg::asSigned() const
{
    switch (kind_) {
    case Kind::Signed:
        return signed_;
    case Kind::Unsigned:
        return static_cast<long long>(unsigned_);
    case Kind::Real:
        return realToSigned(real_);
    case Kind::Text:
        break;
    }
    // Text that spells a number prints that number; anything else prints 0.
    bool ok = false;
    const long long value = text_.trimmed().toLongLong(&ok);
    if (ok)
        return value;
    return static_cast<long long>(text_.trimmed().toULongLong());
}

unsigned long long LogArg::asUnsigned() const
{
    switch (kind_) {
    case Kind::Signed:
        return static_cast<unsigned long long>(signed_);
    case Kind::Unsigned:
        return unsigned_;
    case Kind::Real:
        return realToUnsigned(real_);
    case Kind::Text:
        break;
    }
    bool ok = false;
    const unsigned long long value = text_.trimmed().toULongLong(&ok);
    if (ok)
        return value;
    return static_cast<unsigned long long>(text_.trimmed().toLongLong());
}

double LogArg::asReal() const
{
    switch (kind_) {
    case Kind::Signed:
        return static_cast<double>(signed_);
    case Kind::Unsigned:
        return static_cast<double>(unsigned_);
    case Kind::Real:
        return real_;
    case Kind::Text:
        break;
    }
    return text_.trimmed().toDouble();
}

QString LogArg::asText() const
{
    switch (kind_) {
    case Kind::Signed:
        return QString::number(signed_);
    case Kind::Unsigned:
        return QString::number(unsigned_);
    case Kind::Real:
        // The shortest text that reads back as the same value, so nothing is lost.
        return QString::number(real_, 'g', QLocale::FloatingPointShortest);
    case Kind::Text:
        break;
    }
    return text_;
}

namespace {

// A format asking for a field wider than this would have the formatter allocate that
// much; no message the library logs comes near it, so larger values are clamped.
constexpr int kMaxField = 4096;

struct Directive {
    std::string flags;
    int width = -1;
    int precision = -1;
    int bits = 32; // the width of the C type the length modifier names, for integers
    char conversion = 0;
};

bool isOneOf(char c, const char* set) { return c != 0 && std::strchr(set, c) != nullptr; }

bool hasFlag(const Directive& directive, char flag)
{
    return directive.flags.find(flag) != std::string::npos;
}

// Reads a run of digits; false when there is none.
bool readNumber(const char*& cursor, int& value)
{
    if (*cursor < '0' || *cursor > '9')
        return false;
    value = 0;
    while (*cursor >= '0' && *cursor <= '9') {
        if (value < kMaxField)
            value = value * 10 + (*cursor - '0');
        ++cursor;
    }
    if (value > kMaxField)
        value = kMaxField;
    return true;
}

// Parses the conversion directive after a '%'. On success the cursor is past the conversion
// character; on failure it is where parsing stopped and the caller prints what it read.
bool parseDirective(const char*& cursor, Directive& directive)
{
    while (isOneOf(*cursor, "-+ #0"))
        directive.flags += *cursor++;
    readNumber(cursor, directive.width);
    if (*cursor == '.') {
        ++cursor;
        if (!readNumber(cursor, directive.precision))
            directive.precision = 0;
    }
    switch (*cursor) {
    case 'h':
        ++cursor;
        directive.bits = 16;
        if (*cursor == 'h') {
            ++cursor;
            directive.bits = 8;
        }
        break;
    case 'l':
        ++cursor;
        directive.bits = 64;
        if (*cursor == 'l')
            ++cursor;
        break;
    case 'z':
    case 'j':
    case 't':
    case 'L':
        ++cursor;
        directive.bits = 64;
        break;
    default:
        break;
    }
    const char conversion = *cursor;
    if (!isOneOf(conversion, "diuxXoceEfFgGsp%@"))
        return false;
    directive.conversion = conversion;
    ++cursor;
    return true;
}

// The directive rebuilt for snprintf, with the given length modifier and conversion.
std::string cDirective(const Directive& directive, const char* length, char conversion)
{
    std::string out = "%" + directive.flags;
    if (directive.width >= 0)
        out += std::to_string(directive.width);
    if (directive.precision >= 0)
        out += "." + std::to_string(directive.precision);
    out += length;
    out += conversion;
    return out;
}

template <typename Value> QString cFormat(const std::string& format, Value value)
{
    char small[128];
    const int needed = std::snprintf(small, sizeof small, format.c_str(), value);
    if (needed < 0)
        return QString();
    if (static_cast<std::size_t>(needed) < sizeof small)
        return QString::fromLatin1(small, needed);
    std::vector<char> large(static_cast<std::size_t>(needed) + 1);
    std::snprintf(large.data(), large.size(), format.c_str(), value);
    return QString::fromLatin1(large.data(), needed);
}

// Integers are cut to the width of the C type the directive names, as printf reads its
// argument as that type: "%x" of -1 is "ffffffff", "%d" of 2^32 + 5 is "5".
unsigned long long truncateUnsigned(unsigned long long value, int bits)
{
    return bits >= 64 ? value : value & ((1ULL << bits) - 1);
}

long long truncateSigned(long long value, int bits)
{
    if (bits >= 64)
        return value;
    const unsigned long long low = truncateUnsigned(static_cast<unsigned long long>(value), bits);
    const unsigned long long sign = 1ULL << (bits - 1);
    // Sign-extend without relying on implementation-defined narrowing.
    return (low & sign) ? -static_cast<long long>((sign << 1) - low) : static_cast<long long>(low);
}

int codePointCount(const QString& text)
{
    int count = 0;
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        ++count;
    }
    return count;
}

// Width and precision count code points rather than UTF-16 units or UTF-8 bytes, so a
// precision never splits a character and a width lines up what a reader sees.
QString leftCodePoints(const QString& text, int count)
{
    int i = 0;
    for (int taken = 0; taken < count && i < text.size(); ++taken) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        ++i;
    }
    return text.left(i);
}

QString pad(const QString& text, const Directive& directive)
{
    const int fill = directive.width - codePointCount(text);
    if (fill <= 0)
        return text;
    const QString spaces(fill, QLatin1Char(' '));
    return hasFlag(directive, '-') ? text + spaces : spaces + text;
}

QString formatString(const Directive& directive, const LogArg& arg)
{
    QString text = arg.asText();
    if (text.isNull()) {
        // glibc prints nothing rather than a cut-off "(null)" when the precision is short.
        text = (directive.precision < 0 || directive.precision >= 6) ? QStringLiteral("(null)")
                                                                     : QString();
    }
    if (directive.precision >= 0)
        text = leftCodePoints(text, directive.precision);
    return pad(text, directive);
}

QString formatPointer(const Directive& directive, const LogArg& arg)
{
    const unsigned long long value = arg.asUnsigned();
    if (value == 0)
        return pad(QStringLiteral("(nil)"), directive);
    Directive hex = directive;
    if (!hasFlag(hex, '#'))
        hex.flags += '#';
    return cFormat(cDirective(hex, "ll", 'x'), value);
}

QString formatConversion(const Directive& directive, const LogArg& arg)
{
    switch (directive.conversion) {
    case 'd':
    case 'i':
        return cFormat(cDirective(directive, "ll", directive.conversion),
            truncateSigned(arg.asSigned(), directive.bits));
    case 'u':
    case 'x':
    case 'X':
    case 'o':
        return cFormat(cDirective(directive, "ll", directive.conversion),
            truncateUnsigned(arg.asUnsigned(), directive.bits));
    case 'e':
    case 'E':
    case 'f':
    case 'F':
    case 'g':
    case 'G':
        return cFormat(cDirective(directive, "", directive.conversion), arg.asReal());
    case 'c':
        // The byte read as Latin-1, so that the message stays valid Unicode.
        return pad(QString(QChar(static_cast<ushort>(arg.asUnsigned() & 0xff))), directive);
    case 'p':
        return formatPointer(directive, arg);
    case 's':
        return formatString(directive, arg);
    case '@': {
        const QString text = arg.asText();
        return text.isNull() ? QStringLiteral("(null)") : text;
    }
    default:
        return QString();
    }
}

} // namespace

QString formatMessage(const char* format, std::initializer_list<LogArg> args)
{
    QString out;
    if (!format)
        return out;
    // Literal bytes wait here until a conversion needs output, so that a UTF-8 sequence in
    // the format, or one after an unknown conversion printed literally, is decoded whole.
    QByteArray literal;
    const auto flushLiteral = [&] {
        out += QString::fromUtf8(literal);
        literal.clear();
    };
    auto nextArg = args.begin();
    const char* cursor = format;
    while (*cursor) {
        if (*cursor != '%') {
            literal += *cursor++;
            continue;
        }
        const char* const start = cursor++;
        Directive directive;
        if (!parseDirective(cursor, directive)) {
            // An unknown conversion, a '*' width or precision, or a directive cut off by the end
            // of the format: printed as written, consuming no argument.
            if (*cursor)
                ++cursor;
            literal.append(start, static_cast<int>(cursor - start));
            continue;
        }
        if (directive.conversion == '%') {
            literal += '%';
            continue;
        }
        if (nextArg == args.end())
            continue;
        flushLiteral();
        out += formatConversion(directive, *nextArg++);
    }
    flushLiteral();
    return out;
}

namespace {

// Shared, so that a handler that replaces itself while it runs keeps running to its end.
std::shared_ptr<const DiagnosticHandler>& installedHandler()
{
    static auto* handler = new std::shared_ptr<const DiagnosticHandler>();
    return *handler;
}

} // namespace

void writeLog(LogChannel channel, const char* format, std::initializer_list<LogArg> args)
{
    const std::shared_ptr<const DiagnosticHandler> handler = installedHandler();
    if (handler)
        (*handler)(channel, formatMessage(format, args));
    else
        Platform::current().log().write(channel, formatMessage(format, args));
}

} // namespace uvccam::platform

namespace uvccam {

DiagnosticHandler setDiagnosticHandler(DiagnosticHandler handler)
{
    auto& installed = platform::installedHandler();
    DiagnosticHandler previous = installed ? *installed : DiagnosticHandler();
    installed = handler ? std::make_shared<const DiagnosticHandler>(std::move(handler)) : nullptr;
    return previous;
}

const char* diagnosticChannelName(DiagnosticChannel channel)
{
    switch (channel) {
    case DiagnosticChannel::System:
        return "system";
    case DiagnosticChannel::QtDebug:
        return "qtdebug";
    case DiagnosticChannel::StandardOutput:
        return "stdout";
    case DiagnosticChannel::StandardError:
        return "stderr";
    }
    // Only reachable through a cast of an out-of-range value.
    return "unknown";
}

} // namespace uvccam
