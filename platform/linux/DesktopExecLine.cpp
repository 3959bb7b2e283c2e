// Quoting and splitting the Exec key's arguments.
#include "platform/linux/DesktopExecLine.h"

namespace uvccam::platform {

namespace {

const QLatin1String kReserved(" \t\n\"'\\><~|&;$*?#()`");
const QLatin1String kEscapedInQuotes("\"`$\\");

bool isSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t');
}

bool isDoublePercent(const QString& line, int i)
{
    return line[i] == QLatin1Char('%') && i + 1 < line.size() && line[i + 1] == QLatin1Char('%');
}

}  // namespace

QString quoteExecArgument(const QString& argument)
{
    bool quoted = argument.isEmpty();
    for (const QChar c : argument)
        quoted = quoted || kReserved.contains(c);

    QString text;
    if (quoted)
        text += QLatin1Char('"');
    for (const QChar c : argument) {
        if (quoted && kEscapedInQuotes.contains(c))
            text += QLatin1Char('\\');
        text += c;
        if (c == QLatin1Char('%'))
            text += c;
    }
    if (quoted)
        text += QLatin1Char('"');
    return text;
}

std::optional<QStringList> splitExecLine(const QString& line)
{
    QStringList arguments;
    QString argument;
    bool inArgument = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (isSeparator(c)) {
            if (inArgument)
                arguments << argument;
            argument.clear();
            inArgument = false;
            continue;
        }
        inArgument = true;
        if (isDoublePercent(line, i)) {
            argument += QLatin1Char('%');
            ++i;
        } else if (c != QLatin1Char('"')) {
            argument += c;
        } else {
            for (++i; i < line.size() && line[i] != QLatin1Char('"'); ++i) {
                if (line[i] == QLatin1Char('\\') && i + 1 < line.size() && kEscapedInQuotes.contains(line[i + 1]))
                    ++i;
                else if (isDoublePercent(line, i))
                    ++i;
                argument += line[i];
            }
            if (i == line.size())
                return std::nullopt;
        }
    }
    if (inArgument)
        arguments << argument;
    return arguments;
}

}  // namespace uvccam::platform
