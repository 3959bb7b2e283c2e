// Writes the tool's output; the library's own diagnostics share these streams, so flush often.
#include "Console.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace uvccamctl {

Console::Console() : terminal_(isatty(fileno(stdout)) == 1) {}

void Console::write(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), stdout);
    // The library writes to the same stream with its own calls; keep the order they happened in.
    std::fflush(stdout);
}

void Console::line(const QString& text)
{
    endStatus();
    write(text + QLatin1Char('\n'));
}

void Console::error(const QString& message)
{
    endStatus();
    const QByteArray utf8 = (QStringLiteral("uvccamctl: ") + message + QLatin1Char('\n')).toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), stderr);
    std::fflush(stderr);
}

void Console::json(const QJsonValue& value)
{
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    endStatus();
    write(QString::fromUtf8(document.toJson(QJsonDocument::Indented)));
}

void Console::table(const QStringList& header, const QList<QStringList>& rows)
{
    QList<int> widths;
    for (const QString& cell : header)
        widths << cell.size();
    for (const QStringList& row : rows) {
        for (int column = 0; column < row.size() && column < widths.size(); ++column)
            widths[column] = std::max(widths[column], static_cast<int>(row[column].size()));
    }
    auto format = [&widths](const QStringList& cells) {
        QString text;
        for (int column = 0; column < cells.size(); ++column)
            text += cells[column].leftJustified(widths.value(column) + 2);
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        return text;
    };
    line(format(header));
    for (const QStringList& row : rows)
        line(format(row));
}

void Console::status(const QString& text)
{
    // Redrawing the same text only makes the terminal flicker.
    if (!terminal_ || (statusShown_ && text == lastStatus_))
        return;
    lastStatus_ = text;
    // "\x1b[K" clears what a longer earlier text left at the end of the line.
    write(QStringLiteral("\r%1\x1b[K").arg(text));
    statusShown_ = true;
}

void Console::endStatus()
{
    if (!statusShown_)
        return;
    statusShown_ = false;
    write(QStringLiteral("\n"));
}

QString Console::gauge(double fraction, int width)
{
    const int filled = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * width + 0.5);
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) + QString(width - filled, QLatin1Char('.')) + QLatin1Char(']');
}

QString Console::hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex(' '));
}

}  // namespace uvccamctl
