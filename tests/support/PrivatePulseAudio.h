// A sound server of the test's own: a private PulseAudio with a speaker and two microphones, reached through PULSE_SERVER.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdint>
#include <memory>

namespace uvccam::testing {

// Starts a PulseAudio server in a temporary directory, with no D-Bus, no configuration of
// the machine's and no client but ours: a null sink "speaker" (the default output), and two
// sources that hear a 1 kHz sine at half of full scale (−9.03 dBFS rms) played into a
// second null sink "micfeed": "mic", the default input, as a built-in microphone, and
// "cameramic", which carries the sound-card properties of the microphone of an RX710 at
// USB port 1-1.4 with serial number SN2574 (the emulated camera EmulatedDevice::camera
// makes for that product and port). While it lives, PULSE_SERVER names it for this process
// and every process it starts, so the library and pactl talk to it alone. The destructor
// stops it by its pid file and restores PULSE_SERVER.
class PrivatePulseAudio {
public:
    static constexpr double kSineRmsDb = -9.0309;
    static constexpr const char* kCameraMicrophone = "cameramic";
    static constexpr const char* kCameraSerial = "SN2574";
    // The properties the sound server gives a USB sound card's source, as pactl takes them.
    static QString usbSourceProperties(const QString& product, std::uint16_t productId, const QString& serial,
                                       const QString& port);

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

    // Waits (at most a few seconds) until a new recording hears the microphones within
    // milliseconds. A freshly started server hands its first recording sound only after
    // its sine's sink has rendered its first two-second block; tests that time a recording
    // wait for that first.
    bool waitUntilMicrophonesAreLive() const;

    // Stops the server's process without ending it (SIGSTOP), or lets it go on (SIGCONT): a
    // server that holds its socket and answers nothing.
    bool freeze(bool frozen);

private:
    qint64 pid() const;
    void stop();

    QTemporaryDir _dir;
    // Reads the sine's sink with a short latency, so that a new recording hears it within
    // milliseconds: an unread null sink hands its monitor sound in two-second lumps.
    std::unique_ptr<QProcess> _keeper;
    QString _server;
    QString _error;
    QByteArray _previousServer;
    bool _hadPreviousServer = false;
};

// The channels' raw volumes in one line of `pactl get-sink-volume` or `get-source-volume`
// ("Volume: front-left: 26214 /  40% / …"); empty when there are none.
QList<unsigned> pactlVolumes(const QString& output);

}  // namespace uvccam::testing
