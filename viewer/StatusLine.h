// The window's status line: what the last action did, every refusal, and the busy state.
#pragma once

#include <QLabel>
#include <QString>

namespace uvccamviewer {

// One line at the bottom of the window. Everything the library refuses is said here, so
// that no control of the window is ever a silent no-op.
class StatusLine : public QLabel {
    Q_OBJECT

public:
    explicit StatusLine(QWidget* parent = nullptr);

    // Something that happened: a device arrived, a snapshot was written.
    void say(const QString& message);
    // A library call that did not do what was asked: "setProperty(zoom, 5): refused (-1)".
    void refused(const QString& call, int result);
    // A request the window turned down itself before any device saw it (bad hex, say).
    void rejected(const QString& message);
    // Shows the message now, before the caller blocks in a library call: the window
    // cannot repaint until the call returns.
    void sayBusy(const QString& message);

private:
    void show(const QString& message, const char* colour);
};

// Marks a library call that may keep the main thread for seconds (a HID read retries for
// up to about 6.5 s when the device stays silent): a busy cursor and a status message
// while the object lives.
class BusyScope {
public:
    BusyScope(StatusLine& status, const QString& what);
    ~BusyScope();

    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;
};

}  // namespace uvccamviewer
