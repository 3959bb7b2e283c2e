// uvccamctl: try the library's devices from the command line, on hardware or simulated.
#include "CommandLine.h"
#include "Commands.h"
#include "Console.h"
#include "Interrupt.h"
#include "Session.h"

#include "UVCCamSimulation.h"

#include <QCoreApplication>

using namespace uvccamctl;

namespace {

// The platform is chosen once, before the first camera object is made.
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
        return QStringLiteral("%1: --json is offered by list, info, get, range and volume").arg(QLatin1String(command.name));
    if (options.virtualClock && !options.simulate && !command.alwaysSimulated)
        return QStringLiteral("--virtual-clock needs --simulate");
    return QString();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    Console console;
    const CommandLine line(app.arguments().mid(1));
    if (!line.error().isEmpty()) {
        console.error(line.error());
        return kBadUsage;
    }

    const GlobalOptions& options = line.options();
    if (line.command().isEmpty() || line.command() == QLatin1String("help")) {
        const QString topic = line.words().value(0);
        if (topic.isEmpty()) {
            if (line.command().isEmpty() && !options.help) {
                console.error(QStringLiteral("no command given (see 'uvccamctl --help')"));
                return kBadUsage;
            }
            printOverview(console);
            return kSuccess;
        }
        const Command* command = findCommand(topic);
        if (!command) {
            console.error(QStringLiteral("help: unknown command '%1' (see 'uvccamctl --help')").arg(topic));
            return kBadUsage;
        }
        printCommandHelp(console, *command);
        return kSuccess;
    }

    const Command* command = findCommand(line.command());
    if (!command) {
        console.error(QStringLiteral("unknown command '%1' (see 'uvccamctl --help')").arg(line.command()));
        return kBadUsage;
    }
    if (options.help) {
        printCommandHelp(console, *command);
        return kSuccess;
    }
    if (const QString problem = checkGlobalOptions(options, *command); !problem.isEmpty()) {
        console.error(problem);
        return kBadUsage;
    }

    choosePlatform(options, *command);
    catchInterrupts();
    Session session(options, console);
    if (const int status = session.selectRequestedDevice(); status != kSuccess)
        return status;
    Arguments arguments(QLatin1String(command->name), line.words());
    return command->run(session, arguments);
}
