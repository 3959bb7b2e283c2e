// Splitting the command line and checking each argument before anything reaches a device.
#include "CommandLine.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

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
        return negative ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    return negative ? -value : value;
}

CommandLine::CommandLine(const QStringList& arguments)
{
    auto fail = [this](const QString& problem) {
        if (error_.isEmpty())
            error_ = problem;
    };
    // Each switch by its spellings; the first spelling names it in messages.
    const struct {
        QStringList spellings;
        bool GlobalOptions::*option;
    } switches[] = {
        {{QStringLiteral("--simulate")}, &GlobalOptions::simulate},
        {{QStringLiteral("--virtual-clock")}, &GlobalOptions::virtualClock},
        {{QStringLiteral("--json")}, &GlobalOptions::json},
        {{QStringLiteral("--verbose")}, &GlobalOptions::verbose},
        {{QStringLiteral("--help"), QStringLiteral("-h")}, &GlobalOptions::help},
        {{QStringLiteral("--version")}, &GlobalOptions::version},
    };
    for (int i = 0; i < arguments.size(); ++i) {
        const QString& word = arguments[i];
        bool matched = false;
        for (const auto& entry : switches) {
            if (!entry.spellings.contains(word))
                continue;
            matched = true;
            if (options_.*entry.option)
                fail(entry.spellings.first() + QStringLiteral(" given twice"));
            options_.*entry.option = true;
        }
        if (matched)
            continue;
        if (word == QLatin1String("--device") || inlineValue(word, QStringLiteral("--device"))) {
            std::optional<QString> value = inlineValue(word, QStringLiteral("--device"));
            if (!value && i + 1 < arguments.size() && !isOption(arguments[i + 1]))
                value = arguments[++i];
            if (!value || value->isEmpty())
                fail(QStringLiteral("--device needs a UNIQUE_ID (see 'uvccamctl list')"));
            else if (options_.device)
                fail(QStringLiteral("--device given twice"));
            else
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
    const int count = words_.removeAll(name);
    if (count > 1)
        fail(name + QStringLiteral(" given twice"));
    return count > 0;
}

bool Arguments::hasOption(const QString& name) const
{
    for (const QString& word : words_) {
        if (word == name || inlineValue(word, name))
            return true;
    }
    return false;
}

std::optional<QString> Arguments::takeOption(const QString& name)
{
    std::optional<QString> value;
    for (int i = 0; i < words_.size(); ++i) {
        if (const auto given = inlineValue(words_[i], name)) {
            value = *given;
            words_.removeAt(i);
            break;
        }
        if (words_[i] != name)
            continue;
        // A negative number is a value, not an option.
        if (i + 1 >= words_.size() || words_[i + 1].startsWith(QLatin1String("--"))) {
            fail(name + QStringLiteral(" needs a value"));
            words_.removeAt(i);
            return std::nullopt;
        }
        value = words_[i + 1];
        words_.erase(words_.begin() + i, words_.begin() + i + 2);
        break;
    }
    if (value && hasOption(name)) {
        fail(name + QStringLiteral(" given twice"));
        return std::nullopt;
    }
    return value;
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
