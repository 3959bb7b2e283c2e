// Everything the tool shows: lines and tables for people, JSON for scripts, bars on terminals.
#pragma once

#include <QElapsedTimer>
#include <QJsonObject>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTimer>

namespace uvccamctl {

// Results go to standard output, problems to standard error as one line each. Status
// lines (bars) are redrawn in place and appear only when standard output is a terminal, so that a script
// reading the output never sees them.
class Console {
public:
    // The newest console is the process's: the library's diagnostics reach it through
    // diagnostic(), which needs no instance.
    Console();
    ~Console();

    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    bool isTerminal() const { return terminal_; }

    void line(const QString& text = QString());
    // "uvccamctl: message" on standard error.
    void error(const QString& message);
    // One of the library's own diagnostics, "[channel] text" on standard error, so that it
    // never mixes with results and reads apart from the tool's messages. Safe to call when
    // no console exists any more (the library may log while the process ends).
    static void diagnostic(const QString& channel, const QString& text);
    void json(const QJsonValue& value);
    // One object on one line, for output that goes on while it runs (one event each).
    void jsonLine(const QJsonObject& object);
    // Columns padded to their widest cell; a header line first.
    void table(const QStringList& header, const QList<QStringList>& rows);

    // Redraws the current line with this text, on a terminal only.
    void status(const QString& text);
    // Ends a status line, so that the next output starts on a line of its own.
    void endStatus();
    // Erases a status line that is of no use once its wait is over.
    void clearStatus();

    // "[#####.....]" filled to the fraction (0 to 1).
    static QString gauge(double fraction, int width);
    // "00 1a ff".
    static QString hex(const QByteArray& bytes);

private:
    void write(const QString& text);

    static inline Console* current_ = nullptr;
    bool terminal_ = false;
    bool statusShown_ = false;
    QString lastStatus_;
};

// While it exists, around a library call that may block for seconds (HID retries, the
// transfer-mode switch), a wait of more than a second shows "TEXT (N s)" on a terminal,
// erased when the call returns. The library lets the event loop run while it waits for a
// device, and that is where the line is redrawn.
class WaitNotice {
public:
    WaitNotice(Console& console, QString text);
    ~WaitNotice();

    WaitNotice(const WaitNotice&) = delete;
    WaitNotice& operator=(const WaitNotice&) = delete;

private:
    void redraw();

    Console& console_;
    QString text_;
    QElapsedTimer elapsed_;
    QTimer timer_;
};

}  // namespace uvccamctl
