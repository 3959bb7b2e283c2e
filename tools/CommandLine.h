// What the user typed: the global options, the command, and the reading of its arguments.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace uvccamctl {

// Options that apply to every command; they may stand anywhere on the line.
struct GlobalOptions {
    bool simulate = false;
    bool virtualClock = false;
    bool json = false;
    bool verbose = false;  // the library's own diagnostics, on standard error
    bool help = false;
    bool version = false;
    std::optional<QString> device;  // --device UNIQUE_ID
};

// Splits the arguments (without the program name) into the global options, the command
// name and the command's own words. A problem (a global option without its value, or one
// given twice) is kept in error(); the first problem wins.
class CommandLine {
public:
    explicit CommandLine(const QStringList& arguments);

    const GlobalOptions& options() const { return options_; }
    // Empty when no command was named.
    const QString& command() const { return command_; }
    const QStringList& words() const { return words_; }
    const QString& error() const { return error_; }

private:
    GlobalOptions options_;
    QString command_;
    QStringList words_;
    QString error_;
};

// Reads one command's words: options first (takeFlag, take...Option), then the positional
// arguments in order, then finish() to refuse whatever is left. Every reader checks its
// value and, on the first problem, keeps a one-line message naming the bad argument and
// returns nothing; later readers then return nothing too. An option given twice is a
// problem: which of the two was meant is not ours to guess.
class Arguments {
public:
    Arguments(QString command, QStringList words);

    bool ok() const { return error_.isEmpty(); }
    // The name messages begin with, once a command has read its action ("xu set").
    void setCommandName(const QString& name) { command_ = name; }
    // "COMMAND: problem", ready to print.
    const QString& error() const { return error_; }
    void fail(const QString& problem);

    bool takeFlag(const QString& name);
    std::optional<QString> takeOption(const QString& name);
    std::optional<qint64> takeIntegerOption(const QString& name, qint64 minimum, qint64 maximum);
    std::optional<double> takeSecondsOption(const QString& name);

    // The next positional argument; `what` names it in the message when it is missing.
    std::optional<QString> takeWord(const QString& what);
    std::optional<qint64> takeInteger(const QString& what, qint64 minimum, qint64 maximum);
    // Hexadecimal bytes ("0a1b", "0a 1b", "0a:1b", "0x0a1b"), 1 to maxLength of them.
    std::optional<QByteArray> takeHexBytes(const QString& what, int maxLength);

    // Refuses leftover options and words; true when everything was read without a problem.
    bool finish();

private:
    // Whether `name` is still among the words, alone or as "name=value".
    bool hasOption(const QString& name) const;
    std::optional<qint64> checkedInteger(const QString& what, const QString& text, qint64 minimum, qint64 maximum);

    QString command_;
    QStringList words_;
    QString error_;
};

// A whole number in decimal or, with "0x", hexadecimal, with an optional sign. One too
// large for 64 bits reads as the nearest 64-bit number, so that range checks call it out
// of range rather than not a number.
std::optional<qint64> parseInteger(const QString& text);

}  // namespace uvccamctl
