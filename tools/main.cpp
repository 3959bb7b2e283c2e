// uvccamctl: try the library's devices from the command line, on hardware or simulated.
#include "CommandLine.h"
#include "Commands.h"
#include "Console.h"
#include "Interrupt.h"
#include "PendingBackends.h"
#include "Session.h"

#include "UVCCamDiagnostics.h"
#include "UVCCamSimulation.h"
#include "UVCCamVersion.h"

#include <QCoreApplication>

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

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Console console;
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
    // Without --simulate the library works on this machine's devices, where some of its
    // backends are still to come; a command that needs one says so rather than failing.
    if (!options.simulate && !command->alwaysSimulated) {
        if (const QString pending = pendingBackend(*command); !pending.isEmpty())
            return fail(console, kNoDevice, pending);
    }

    choosePlatform(options, *command);
    catchInterrupts();
    Session session(options, console);
    if (const int status = session.selectRequestedDevice(); status != kSuccess)
        return status;
    Arguments arguments(QLatin1String(command->name), line.words());
    return command->run(session, arguments);
}
