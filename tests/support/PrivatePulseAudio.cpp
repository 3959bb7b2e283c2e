// A private PulseAudio for tests: started in a temporary directory, named by PULSE_SERVER, stopped by its pid file.
#include "support/PrivatePulseAudio.h"

#include "support/HelperEnvironment.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>

#include <csignal>
#include <sys/types.h>

namespace uvccam::testing {

namespace {

constexpr int kStartMs = 10000;
constexpr int kStopMs = 5000;
constexpr int kPactlMs = 10000;

// Polls a condition that no event announces (a file appearing, a process gone), for at most `limitMs`.
template <typename Done>
bool pollUntil(Done done, int limitMs)
{
    const QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        QThread::msleep(5);
    }
    return true;
}

// Gone, or a zombie that nobody reaps: a daemon is no child of ours.
bool processGone(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    return close < 0 || line.mid(close + 2, 1) == "Z";
}

}  // namespace

PrivatePulseAudio::PrivatePulseAudio()
{
    if (!_dir.isValid()) {
        _error = QStringLiteral("no temporary directory");
        return;
    }
    const QString socket = _dir.filePath(QStringLiteral("native"));
    _server = QStringLiteral("unix:") + socket;

    QProcessEnvironment environment = helperEnvironment();
    // Everything the server keeps (pid file, state, cookie) stays in the temporary directory.
    environment.insert(QStringLiteral("HOME"), _dir.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), _dir.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("PULSE_RUNTIME_PATH"), _dir.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("PULSE_STATE_PATH"), _dir.filePath(QStringLiteral("state")));
    environment.remove(QStringLiteral("PULSE_SERVER"));
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));

    QProcess daemon;
    daemon.setProcessEnvironment(environment);
    daemon.setProcessChannelMode(QProcess::MergedChannels);
    // --daemonize returns once the modules are loaded, so the socket is there when it does.
    daemon.start(QStringLiteral("pulseaudio"),
                 {QStringLiteral("--daemonize=yes"), QStringLiteral("--system=false"), QStringLiteral("--exit-idle-time=-1"),
                  QStringLiteral("--disallow-exit"), QStringLiteral("-n"),
                  QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") + socket,
                  QStringLiteral("--load=module-null-sink sink_name=speaker sink_properties=device.description=Speaker"),
                  QStringLiteral("--load=module-null-sink sink_name=micfeed"),
                  QStringLiteral("--load=module-sine sink=micfeed frequency=1000"),
                  QStringLiteral("--load=module-remap-source source_name=mic master=micfeed.monitor "
                                 "source_properties=device.description=Microphone"),
                  QStringLiteral("--load=module-remap-source source_name=%1 master=micfeed.monitor source_properties='%2'")
                      .arg(QLatin1String(kCameraMicrophone),
                           usbSourceProperties(QStringLiteral("RX710"), 0x2574, QLatin1String(kCameraSerial),
                                               QStringLiteral("1-1.4"))),
                  QStringLiteral("--log-target=file:") + _dir.filePath(QStringLiteral("pa.log"))});
    if (!daemon.waitForFinished(kStartMs) || daemon.exitStatus() != QProcess::NormalExit || daemon.exitCode() != 0) {
        _error = QStringLiteral("pulseaudio did not start: ") + QString::fromLocal8Bit(daemon.readAll());
        daemon.kill();
        daemon.waitForFinished(kStopMs);
        stop();
        return;
    }
    if (!pollUntil([&] { return QFileInfo::exists(socket); }, kStartMs)) {
        _error = QStringLiteral("pulseaudio made no socket");
        stop();
        return;
    }

    _hadPreviousServer = qEnvironmentVariableIsSet("PULSE_SERVER");
    _previousServer = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", _server.toLocal8Bit());
    // Named, not left to the server's choice among the sink monitors and the remapped source.
    QString failure;
    if (pactl({QStringLiteral("set-default-sink"), QStringLiteral("speaker")}, &failure).isNull()
        || pactl({QStringLiteral("set-default-source"), QStringLiteral("mic")}, &failure).isNull()) {
        _error = QStringLiteral("pulseaudio does not take its defaults: ") + failure;
    }
    if (_error.isEmpty()) {
        _keeper = std::make_unique<QProcess>();
        QProcessEnvironment keeperEnvironment = helperEnvironment();
        keeperEnvironment.insert(QStringLiteral("PULSE_SERVER"), _server);
        _keeper->setProcessEnvironment(keeperEnvironment);
        _keeper->setStandardOutputFile(QProcess::nullDevice());
        _keeper->start(QStringLiteral("parec"), {QStringLiteral("--latency-msec=10"), QStringLiteral("-d"),
                                                 QStringLiteral("micfeed.monitor")});
        if (!_keeper->waitForStarted(kStartMs))
            _error = QStringLiteral("parec did not start: ") + _keeper->errorString();
    }
    if (!_error.isEmpty()) {
        QFile log(_dir.filePath(QStringLiteral("pa.log")));
        if (log.open(QIODevice::ReadOnly))
            _error += QStringLiteral("\n") + QString::fromLocal8Bit(log.readAll());
    }
}

PrivatePulseAudio::~PrivatePulseAudio()
{
    stop();
    if (_hadPreviousServer)
        qputenv("PULSE_SERVER", _previousServer);
    else if (!_server.isEmpty())
        qunsetenv("PULSE_SERVER");
}

qint64 PrivatePulseAudio::pid() const
{
    QFile pidFile(_dir.filePath(QStringLiteral("runtime/pid")));
    if (!pidFile.open(QIODevice::ReadOnly))
        return 0;
    const qint64 pid = pidFile.readAll().trimmed().toLongLong();
    return pid > 1 ? pid : 0;
}

bool PrivatePulseAudio::freeze(bool frozen)
{
    const qint64 server = pid();
    return server && ::kill(static_cast<pid_t>(server), frozen ? SIGSTOP : SIGCONT) == 0;
}

bool PrivatePulseAudio::waitUntilMicrophonesAreLive() const
{
    QProcess listener;
    QProcessEnvironment environment = helperEnvironment();
    environment.insert(QStringLiteral("PULSE_SERVER"), _server);
    listener.setProcessEnvironment(environment);
    listener.start(QStringLiteral("parec"), {QStringLiteral("--latency-msec=10"), QStringLiteral("-d"), QStringLiteral("mic")});
    const bool heard = listener.waitForReadyRead(kStartMs);
    listener.kill();
    listener.waitForFinished(kStopMs);
    return heard;
}

QString PrivatePulseAudio::usbSourceProperties(const QString& product, std::uint16_t productId, const QString& serial,
                                               const QString& port)
{
    const QString bus = port.section(QLatin1Char('-'), 0, 0);
    QString path = QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb%1").arg(bus);
    // Every hub on the way has its own directory: 1-1, then 1-1.4.
    const QStringList ports = port.section(QLatin1Char('-'), 1).split(QLatin1Char('.'));
    for (int tier = 1; tier <= ports.size(); ++tier)
        path += QStringLiteral("/%1-%2").arg(bus, QStringList(ports.mid(0, tier)).join(QLatin1Char('.')));
    path += QStringLiteral("/%1-%2:1.2/sound/card1").arg(bus, ports.join(QLatin1Char('.')));
    return QStringLiteral("device.bus=usb device.vendor.id=2a3b device.product.id=%1 device.product.name=%2 "
                          "device.serial=2a3b_%2_%3 sysfs.path=%4 device.description=%2")
        .arg(productId, 4, 16, QLatin1Char('0'))
        .arg(product, serial, path);
}

void PrivatePulseAudio::stop()
{
    if (_keeper) {
        _keeper->kill();
        _keeper->waitForFinished(kStopMs);
        _keeper.reset();
    }
    const qint64 pid = this->pid();
    if (!pid)
        return;
    // A frozen server would not act on the request to end.
    ::kill(static_cast<pid_t>(pid), SIGCONT);
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    if (!pollUntil([pid] { return processGone(pid); }, kStopMs))
        ::kill(static_cast<pid_t>(pid), SIGKILL);
}

QString PrivatePulseAudio::pactl(const QStringList& arguments, QString* failure) const
{
    QProcess process;
    QProcessEnvironment environment = helperEnvironment();
    environment.insert(QStringLiteral("PULSE_SERVER"), _server);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral("pactl"), arguments);
    const bool finished = process.waitForFinished(kPactlMs);
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    if (finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return out.isNull() ? QStringLiteral("") : out;
    if (failure)
        *failure = QStringLiteral("pactl %1: %2").arg(arguments.join(QLatin1Char(' ')),
                                                      QString::fromLocal8Bit(process.readAllStandardError()));
    if (!finished) {
        process.kill();
        process.waitForFinished(kStopMs);
    }
    return QString();
}

QList<unsigned> pactlVolumes(const QString& output)
{
    // "front-left: 26214 /  40% / -23.88 dB": the raw value is the number before the slash.
    static const QRegularExpression channel(QStringLiteral(":\\s*(\\d+)\\s*/\\s*\\d+%"));
    QList<unsigned> volumes;
    const QString line = output.section(QLatin1Char('\n'), 0, 0);
    for (auto it = channel.globalMatch(line); it.hasNext();)
        volumes.append(it.next().captured(1).toUInt());
    return volumes;
}

}  // namespace uvccam::testing
