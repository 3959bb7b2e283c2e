// Writes the tool's output; every write is flushed so that the two streams keep their order.
#include "Console.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

#include <unistd.h>

namespace uvccamctl {

namespace {

// A wait shorter than this needs no word; the line is redrawn this often after it.
constexpr qint64 kQuietMs = 1000;
constexpr int kRedrawMs = 250;

}  // namespace

Console::Console() : terminal_(isatty(fileno(stdout)) == 1)
{
    current_ = this;
}

Console::~Console()
{
    if (current_ == this)
        current_ = nullptr;
}

void Console::write(const QString& text)
{
    const QByteArray utf8 = text.toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), stdout);
    // Results and messages (and the library's diagnostics) then appear in the order they happened.
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

void Console::diagnostic(const QString& channel, const QString& text)
{
    if (current_)
        current_->endStatus();
    const QByteArray utf8 = QStringLiteral("[%1] %2\n").arg(channel, text).toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), stderr);
    std::fflush(stderr);
}

void Console::jsonLine(const QJsonObject& object)
{
    endStatus();
    write(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
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

void Console::clearStatus()
{
    if (!statusShown_)
        return;
    statusShown_ = false;
    write(QStringLiteral("\r\x1b[K"));
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

WaitNotice::WaitNotice(Console& console, QString text) : console_(console), text_(std::move(text))
{
    if (!console_.isTerminal())
        return;
    elapsed_.start();
    timer_.setInterval(kRedrawMs);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { redraw(); });
    timer_.start();
}

WaitNotice::~WaitNotice()
{
    timer_.stop();
    console_.clearStatus();
}

void WaitNotice::redraw()
{
    const qint64 waited = elapsed_.elapsed();
    if (waited >= kQuietMs)
        console_.status(QStringLiteral("%1 (%2 s)").arg(text_).arg(waited / 1000));
}

}  // namespace uvccamctl
