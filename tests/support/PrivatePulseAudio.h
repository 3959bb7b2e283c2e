// A sound server of the test's own: a private PulseAudio with a speaker and a microphone, reached through PULSE_SERVER.
#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace uvccam::testing {

// Starts a PulseAudio server in a temporary directory, with no D-Bus, no configuration of
// the machine's and no client but ours: a null sink "speaker" (the default output) and a
// source "mic" (the default input) remapped from a second null sink's monitor. While it
// lives, PULSE_SERVER names it for this process and every process it starts, so the library
// and pactl talk to it alone. The destructor stops it by its pid file and restores
// PULSE_SERVER.
class PrivatePulseAudio {
public:
    PrivatePulseAudio();
    ~PrivatePulseAudio();
    PrivatePulseAudio(const PrivatePulseAudio&) = delete;
    PrivatePulseAudio& operator=(const PrivatePulseAudio&) = delete;

    // Empty once the server answers; otherwise what went wrong, with the server's log.
    QString error() const { return _error; }
    // "unix:/tmp/…/native"
    QString server() const { return _server; }
    // Runs pactl against this server; its standard output, or an empty string when it fails
    // (the reason then in `failure`).
    QString pactl(const QStringList& arguments, QString* failure = nullptr) const;

    // Stops the server's process without ending it (SIGSTOP), or lets it go on (SIGCONT): a
    // server that holds its socket and answers nothing.
    bool freeze(bool frozen);

private:
    qint64 pid() const;
    void stop();

    QTemporaryDir _dir;
    QString _server;
    QString _error;
    QByteArray _previousServer;
    bool _hadPreviousServer = false;
};

// The channels' raw volumes in one line of `pactl get-sink-volume` or `get-source-volume`
// ("Volume: front-left: 26214 /  40% / …"); empty when there are none.
QList<unsigned> pactlVolumes(const QString& output);

}  // namespace uvccam::testing
