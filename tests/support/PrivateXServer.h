// An X server of the test's own: Xvfb on a free display, named by DISPLAY while it lives, and the helpers (xdotool ...) run against it.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>

namespace uvccam::testing {

// Starts Xvfb (one 1024x768 screen, no TCP, no access control to set up) on a display
// number it picks itself, and waits until the server says it is ready. While it lives,
// DISPLAY names it for this process and every process it starts; the destructor stops the
// server and restores DISPLAY.
class PrivateXServer {
public:
    PrivateXServer();
    ~PrivateXServer();
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;

    // Empty once the server is ready; otherwise what went wrong, with the server's output.
    QString error() const { return _error; }
    // ":<n>"
    QString display() const { return _display; }

    // Runs a program against this server (setxkbmap ...); its standard output, or an empty
    // string when it fails (the reason then in `failure`).
    QString run(const QString& program, const QStringList& arguments, QString* failure = nullptr) const;
    // run() of xdotool ("key", "--delay", "0", "ctrl+Left" ...).
    QString xdotool(const QStringList& arguments, QString* failure = nullptr) const;

private:
    std::unique_ptr<QProcess> _server;
    QString _display;
    QString _error;
    QByteArray _previousDisplay;
    bool _hadPreviousDisplay = false;
};

}  // namespace uvccam::testing
