// uvccamctl: try the library's devices from the command line, on hardware or simulated.
#include "CommandLine.h"
#include "Commands.h"
#include "Completion.h"
#include "Console.h"
#include "Interrupt.h"
#include "ManPage.h"
#include "Session.h"

#include "UVCCamDiagnostics.h"
#include "UVCCamSimulation.h"
#include "UVCCamVersion.h"

#include <QCoreApplication>
#include <QFile>

#include <optional>

using namespace uvccamctl;

namespace {

// The library's diagnostics (serial numbers, device paths, HID retries) are for whoever
// debugs it: with --verbose on standard error, marked with their channel; otherwise
// nowhere, so that results and JSON on standard output stay the tool's alone.
void routeDiagnostics(bool verbose)
{
    if (!verbose) {
        uvccam::setDiagnosticHandler([](uvccam::DiagnosticChannel, const QString&) {});
        return;
    }
    uvccam::setDiagnosticHandler([](uvccam::DiagnosticChannel channel, const QString& text) {
        Console::diagnostic(QLatin1String(uvccam::diagnosticChannelName(channel)), text);
    });
}

// The platform is chosen once, before the first camera object is made; without the
// simulator the library's default, this machine's devices, is used.
void choosePlatform(const GlobalOptions& options, const Command& command)
{
    if (!options.simulate && !command.alwaysSimulated)
        return;
    uvccam::sim::useSimulatedDevices(options.virtualClock ? uvccam::sim::Clock::Virtual : uvccam::sim::Clock::RealTime);
    uvccam::sim::attachDemoSet();
}

// Problems with the line as a whole, before any command runs; empty when there are none.
QString checkGlobalOptions(const GlobalOptions& options, const Command& command)
{
    if (options.json && !command.offersJson)
        return QStringLiteral("%1: --json is not offered by this command").arg(QLatin1String(command.name));
    if (options.virtualClock && !options.simulate && !command.alwaysSimulated)
        return QStringLiteral("--virtual-clock needs --simulate");
    return QString();
}

// One line on standard error, and the status to end with.
int fail(Console& console, int status, const QString& message)
{
    console.error(message);
    return status;
}

// Options for the build and the shell rather than for users, so --help leaves them out:
// the manual page, written at build time, and the candidates the completion script asks
// for. Each must be the first argument. The exit status, or none when it was neither.
std::optional<int> runHiddenOption(Console& console, const QStringList& arguments)
{
    const QString option = arguments.value(0);
    if (option == QLatin1String("--man-page")) {
        const QString page = manPage(toolHelp(), commandTable(), QLatin1String(uvccam::libraryVersion()));
        // The build names the file rather than redirecting, which not every generator's shell offers.
        const QString path = arguments.value(1);
        if (path.isEmpty()) {
            console.line(page.chopped(1));
            return kSuccess;
        }
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(page.toUtf8()) < 0)
            return fail(console, kRefused, QStringLiteral("--man-page: cannot write %1").arg(path));
        return kSuccess;
    }
    if (option == QLatin1String("--complete")) {
        routeDiagnostics(false);
        for (const QString& candidate : completionCandidates(arguments.mid(1), attachedDeviceIds))
            console.line(candidate);
        return kSuccess;
    }
    return std::nullopt;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Console console;
    if (const std::optional<int> status = runHiddenOption(console, app.arguments().mid(1)))
        return *status;
    const CommandLine line(app.arguments().mid(1));
    routeDiagnostics(line.options().verbose);
    if (!line.error().isEmpty())
        return fail(console, kBadUsage, line.error());

    const GlobalOptions& options = line.options();
    if (options.version) {
        console.line(QStringLiteral("libuvccam %1").arg(QLatin1String(uvccam::libraryVersion())));
        return kSuccess;
    }
    if (line.command().isEmpty() || line.command() == QLatin1String("help")) {
        const QString topic = line.words().value(0);
        if (topic.isEmpty()) {
            if (line.command().isEmpty() && !options.help)
                return fail(console, kBadUsage, QStringLiteral("no command given (see 'uvccamctl --help')"));
            printOverview(console);
            return kSuccess;
        }
        const Command* command = findCommand(topic);
        if (!command)
            return fail(console, kBadUsage, QStringLiteral("help: unknown command '%1' (see 'uvccamctl --help')").arg(topic));
        printCommandHelp(console, *command);
        return kSuccess;
    }

    const Command* command = findCommand(line.command());
    if (!command)
        return fail(console, kBadUsage, QStringLiteral("unknown command '%1' (see 'uvccamctl --help')").arg(line.command()));
    if (options.help) {
        printCommandHelp(console, *command);
        return kSuccess;
    }
    if (const QString problem = checkGlobalOptions(options, *command); !problem.isEmpty())
        return fail(console, kBadUsage, problem);
    choosePlatform(options, *command);
    catchInterrupts();
    Session session(options, console);
    if (const int status = session.selectRequestedDevice(); status != kSuccess)
        return status;
    Arguments arguments(QLatin1String(command->name), line.words());
    return command->run(session, arguments);
}
