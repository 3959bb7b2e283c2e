// Everything the tool shows: lines and tables for people, JSON for scripts, bars on terminals.
#pragma once

#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

namespace uvccamctl {

// Results go to standard output, problems to standard error as one line each. Status
// lines (bars) are redrawn in place and appear only when standard output is a terminal, so that a script
// reading the output never sees them.
class Console {
public:
    Console();

    bool isTerminal() const { return terminal_; }

    void line(const QString& text = QString());
    // "uvccamctl: message" on standard error.
    void error(const QString& message);
    void json(const QJsonValue& value);
    // Columns padded to their widest cell; a header line first.
    void table(const QStringList& header, const QList<QStringList>& rows);

    // Redraws the current line with this text, on a terminal only.
    void status(const QString& text);
    // Ends a status line, so that the next output starts on a line of its own.
    void endStatus();

    // "[#####.....]" filled to the fraction (0 to 1).
    static QString gauge(double fraction, int width);
    // "00 1a ff".
    static QString hex(const QByteArray& bytes);

private:
    void write(const QString& text);

    bool terminal_ = false;
    bool statusShown_ = false;
    QString lastStatus_;
};

}  // namespace uvccamctl
