// Splitting the command line and checking each argument before anything reaches a device.
#include "CommandLine.h"

#include <QRegularExpression>

#include <cmath>

namespace uvccamctl {

namespace {

bool isOption(const QString& word)
{
    return word.startsWith(QLatin1String("--")) || word == QLatin1String("-h");
}

// "--name=value" gives the value; "--name" alone gives none.
std::optional<QString> inlineValue(const QString& word, const QString& name)
{
    if (word.startsWith(name + QLatin1Char('=')))
        return word.mid(name.size() + 1);
    return std::nullopt;
}

}  // namespace

std::optional<qint64> parseInteger(const QString& text)
{
    QString digits = text.trimmed();
    bool negative = false;
    if (digits.startsWith(QLatin1Char('-')) || digits.startsWith(QLatin1Char('+'))) {
        negative = digits.startsWith(QLatin1Char('-'));
        digits = digits.mid(1);
    }
    int base = 10;
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        digits = digits.mid(2);
    }
    // QString::toLongLong would also take inner signs and spaces; a number here is digits only.
    static const QRegularExpression decimal(QStringLiteral("^[0-9]+$"));
    static const QRegularExpression hexadecimal(QStringLiteral("^[0-9a-fA-F]+$"));
    if (!(base == 10 ? decimal : hexadecimal).match(digits).hasMatch())
        return std::nullopt;
    bool converted = false;
    const qint64 value = digits.toLongLong(&converted, base);
    if (!converted)
        return std::nullopt;
    return negative ? -value : value;
}

CommandLine::CommandLine(const QStringList& arguments)
{
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        if (word == QLatin1String("--simulate")) {
            options_.simulate = true;
        } else if (word == QLatin1String("--virtual-clock")) {
            options_.virtualClock = true;
        } else if (word == QLatin1String("--json")) {
            options_.json = true;
        } else if (word == QLatin1String("--help") || word == QLatin1String("-h")) {
            options_.help = true;
        } else if (word == QLatin1String("--device") || inlineValue(word, QStringLiteral("--device"))) {
            std::optional<QString> value = inlineValue(word, QStringLiteral("--device"));
            if (!value && i + 1 < arguments.size() && !isOption(arguments[i + 1]))
                value = arguments[++i];
            if (!value || value->isEmpty()) {
                if (error_.isEmpty())
                    error_ = QStringLiteral("--device needs a UNIQUE_ID (see 'uvccamctl list')");
                continue;
            }
            options_.device = *value;
        } else if (command_.isEmpty() && !isOption(word)) {
            command_ = word;
        } else {
            words_ << word;
        }
    }
}

Arguments::Arguments(QString command, QStringList words) : command_(std::move(command)), words_(std::move(words)) {}

void Arguments::fail(const QString& problem)
{
    if (error_.isEmpty())
        error_ = command_ + QStringLiteral(": ") + problem;
}

bool Arguments::takeFlag(const QString& name)
{
    return words_.removeAll(name) > 0;
}

std::optional<QString> Arguments::takeOption(const QString& name)
{
    for (int i = 0; i < words_.size(); ++i) {
        if (const auto value = inlineValue(words_[i], name)) {
            words_.removeAt(i);
            return *value;
        }
        if (words_[i] != name)
            continue;
        // A negative number is a value, not an option.
        if (i + 1 >= words_.size() || words_[i + 1].startsWith(QLatin1String("--"))) {
            fail(name + QStringLiteral(" needs a value"));
            words_.removeAt(i);
            return std::nullopt;
        }
        const QString value = words_[i + 1];
        words_.erase(words_.begin() + i, words_.begin() + i + 2);
        return value;
    }
    return std::nullopt;
}

std::optional<qint64> Arguments::takeIntegerOption(const QString& name, qint64 minimum, qint64 maximum)
{
    const std::optional<QString> text = takeOption(name);
    if (!text)
        return std::nullopt;
    return checkedInteger(name, *text, minimum, maximum);
}

std::optional<double> Arguments::takeSecondsOption(const QString& name)
{
    const std::optional<QString> text = takeOption(name);
    if (!text || !ok())
        return std::nullopt;
    // A day is far more than any run needs and keeps the clock arithmetic exact.
    constexpr double kLongest = 86400;
    bool converted = false;
    const double seconds = text->toDouble(&converted);
    if (!converted || !std::isfinite(seconds)) {
        fail(QStringLiteral("%1 '%2' is not a number of seconds").arg(name, *text));
        return std::nullopt;
    }
    if (seconds <= 0 || seconds > kLongest) {
        fail(QStringLiteral("%1 %2 is out of range (more than 0, at most %3)").arg(name, *text).arg(kLongest));
        return std::nullopt;
    }
    return seconds;
}

std::optional<QString> Arguments::takeWord(const QString& what)
{
    if (!ok())
        return std::nullopt;
    for (int i = 0; i < words_.size(); ++i) {
        // Options are read first, so whatever still looks like one is unknown; finish() says so.
        if (words_[i].startsWith(QLatin1String("--")))
            continue;
        return words_.takeAt(i);
    }
    fail(QStringLiteral("missing %1").arg(what));
    return std::nullopt;
}

std::optional<qint64> Arguments::takeInteger(const QString& what, qint64 minimum, qint64 maximum)
{
    const std::optional<QString> text = takeWord(what);
    if (!text)
        return std::nullopt;
    return checkedInteger(what, *text, minimum, maximum);
}

std::optional<qint64> Arguments::checkedInteger(const QString& what, const QString& text, qint64 minimum, qint64 maximum)
{
    if (!ok())
        return std::nullopt;
    const std::optional<qint64> value = parseInteger(text);
    if (!value) {
        fail(QStringLiteral("%1 '%2' is not a whole number").arg(what, text));
        return std::nullopt;
    }
    if (*value < minimum || *value > maximum) {
        fail(QStringLiteral("%1 %2 is out of range (%3 to %4)").arg(what, text).arg(minimum).arg(maximum));
        return std::nullopt;
    }
    return value;
}

std::optional<QByteArray> Arguments::takeHexBytes(const QString& what, int maxLength)
{
    const std::optional<QString> text = takeWord(what);
    if (!text)
        return std::nullopt;
    QString digits = *text;
    digits.remove(QRegularExpression(QStringLiteral("[\\s:]")));
    if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        digits = digits.mid(2);
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]*$"));
    if (digits.isEmpty()) {
        fail(QStringLiteral("%1 is empty").arg(what));
        return std::nullopt;
    }
    if (!hex.match(digits).hasMatch()) {
        fail(QStringLiteral("%1 '%2' is not hexadecimal").arg(what, *text));
        return std::nullopt;
    }
    if (digits.size() % 2 != 0) {
        fail(QStringLiteral("%1 '%2' has an odd number of hex digits").arg(what, *text));
        return std::nullopt;
    }
    if (digits.size() / 2 > maxLength) {
        fail(QStringLiteral("%1 has %2 bytes; at most %3 fit").arg(what).arg(digits.size() / 2).arg(maxLength));
        return std::nullopt;
    }
    return QByteArray::fromHex(digits.toLatin1());
}

bool Arguments::hasWords() const
{
    for (const QString& word : words_) {
        if (!word.startsWith(QLatin1String("--")))
            return true;
    }
    return false;
}

bool Arguments::finish()
{
    if (ok() && !words_.isEmpty()) {
        const QString& word = words_.first();
        fail(word.startsWith(QLatin1String("--")) ? QStringLiteral("unknown option '%1'").arg(word)
                                                   : QStringLiteral("unexpected argument '%1'").arg(word));
    }
    return ok();
}

}  // namespace uvccamctl
