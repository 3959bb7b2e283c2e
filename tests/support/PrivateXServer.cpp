// A private Xvfb for tests: its display number comes back through -displayfd once it accepts clients.
#include "support/PrivateXServer.h"

#include "support/HelperEnvironment.h"

#include <QProcessEnvironment>

#include <fcntl.h>
#include <unistd.h>

namespace uvccam::testing {

namespace {

constexpr int kStartMs = 10000;
constexpr int kStopMs = 5000;
constexpr int kHelperMs = 10000;

}  // namespace

PrivateXServer::PrivateXServer()
{
    // Xvfb writes the display number it chose to this pipe once it accepts clients, so
    // nothing has to guess a free number or poll for the socket.
    int ready[2];
    if (pipe(ready) != 0) {
        _error = QStringLiteral("no pipe for the display number");
        return;
    }
    _server = std::make_unique<QProcess>();
    _server->setProcessEnvironment(helperEnvironment());
    _server->setProcessChannelMode(QProcess::MergedChannels);
    // Xvfb inherits the write end (a process started here keeps every descriptor not
    // marked close-on-exec); the read end stays ours.
    fcntl(ready[0], F_SETFD, FD_CLOEXEC);
    const int writeEnd = ready[1];
    _server->start(QStringLiteral("Xvfb"),
                   { QStringLiteral("-displayfd"), QString::number(writeEnd), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp"), QStringLiteral("-noreset") });
    close(writeEnd);
    if (!_server->waitForStarted(kStartMs)) {
        close(ready[0]);
        _error = QStringLiteral("Xvfb did not start: ") + _server->errorString();
        return;
    }

    // A blocking read, bounded by the server itself: it writes the number when ready, or
    // exits (closing the pipe) when it cannot start.
    QByteArray number;
    char byte = 0;
    while (read(ready[0], &byte, 1) == 1 && byte != '\n')
        number.append(byte);
    close(ready[0]);
    if (number.isEmpty()) {
        _server->waitForFinished(kStopMs);
        _error = QStringLiteral("Xvfb gave no display: ") + QString::fromLocal8Bit(_server->readAll());
        return;
    }
    _display = QStringLiteral(":") + QString::fromLatin1(number);
    _hadPreviousDisplay = qEnvironmentVariableIsSet("DISPLAY");
    _previousDisplay = qgetenv("DISPLAY");
    qputenv("DISPLAY", _display.toLatin1());
}

PrivateXServer::~PrivateXServer()
{
    if (!_display.isEmpty()) {
        if (_hadPreviousDisplay)
            qputenv("DISPLAY", _previousDisplay);
        else
            qunsetenv("DISPLAY");
    }
    if (_server && _server->state() != QProcess::NotRunning) {
        _server->terminate();
        if (!_server->waitForFinished(kStopMs)) {
            _server->kill();
            _server->waitForFinished(kStopMs);
        }
    }
}

QString PrivateXServer::run(const QString& program, const QStringList& arguments, QString* failure) const
{
    QProcess process;
    QProcessEnvironment environment = helperEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), _display);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    const bool finished = process.waitForFinished(kHelperMs);
    if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (failure) {
            *failure = QStringLiteral("%1 %2: %3 %4")
                           .arg(program, arguments.join(QLatin1Char(' ')), process.errorString(),
                                QString::fromLocal8Bit(process.readAllStandardError()));
        }
        return QString();
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QString PrivateXServer::xdotool(const QStringList& arguments, QString* failure) const
{
    return run(QStringLiteral("xdotool"), arguments, failure);
}

}  // namespace uvccam::testing
