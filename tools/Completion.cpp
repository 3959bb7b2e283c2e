// Completion reads the line as CommandLine does, but never fails: a half-typed line is normal.
#include "Completion.h"

#include "Commands.h"
#include "ControlNames.h"

#include "UVCCam.h"
#include "UVCCamSimulation.h"

#include <QRegularExpression>

#include <memory>

namespace uvccamctl {

namespace {

const QString kDeviceOption = QStringLiteral("--device");

// The option's spelling without its value ("--device UNIQUE_ID" gives "--device").
QString spellingOf(const HelpEntry& option) { return QString::fromUtf8(option.term).section(QLatin1Char(' '), 0, 0); }

QStringList globalOptionSpellings()
{
    QStringList spellings;
    for (const HelpEntry& option : toolHelp().globalOptions)
        spellings << spellingOf(option);
    return spellings;
}

// A command's own options, read from its synopsis ("[--frames N] [--seconds S]").
QStringList commandOptions(const Command& command)
{
    static const QRegularExpression option(QStringLiteral("--[a-z][a-z-]*"));
    QStringList options;
    auto matches = option.globalMatch(QString::fromUtf8(command.synopsis));
    while (matches.hasNext())
        options << matches.next().captured();
    options.removeDuplicates();
    return options;
}

// The alternatives of a synopsis such as "get SELECTOR LENGTH | set SELECTOR HEXBYTES";
// an alternative that begins with a lower-case word begins with an action to type.
QStringList actionsOf(const Command& command)
{
    static const QRegularExpression action(QStringLiteral("^[a-z][a-z-]*$"));
    QStringList actions;
    for (const QString& alternative : QString::fromUtf8(command.synopsis).split(QStringLiteral(" | "))) {
        const QString first = alternative.trimmed().section(QLatin1Char(' '), 0, 0);
        if (action.match(first).hasMatch())
            actions << first;
    }
    return actions;
}

// A synopsis that starts with PROPERTY takes a control: "PROPERTY|all" also takes "all".
QStringList propertyWords(const Command& command)
{
    const QString first = QString::fromUtf8(command.synopsis).section(QLatin1Char(' '), 0, 0);
    if (!first.startsWith(QLatin1String("PROPERTY")))
        return {};
    QStringList words = controlNameList();
    if (first.split(QLatin1Char('|')).contains(QLatin1String("all")))
        words << QStringLiteral("all");
    return words;
}

QStringList commandNames()
{
    QStringList names;
    for (const Command& command : commandTable())
        names << QString::fromUtf8(command.name);
    return names;
}

QStringList startingWith(const QStringList& candidates, const QString& prefix)
{
    QStringList matching;
    for (const QString& candidate : candidates) {
        if (candidate.startsWith(prefix))
            matching << candidate;
    }
    return matching;
}

}  // namespace

QStringList completionCandidates(const QStringList& words, const DeviceIdSource& deviceIds)
{
    const QString current = words.isEmpty() ? QString() : words.last();
    const QStringList before = words.mid(0, words.size() - 1);
    if (!before.isEmpty() && before.last() == kDeviceOption)
        return startingWith(deviceIds(before.contains(QStringLiteral("--simulate"))), current);

    // The command is the first word that is neither an option nor --device's value; the
    // words after it that are not options are its positional arguments.
    QString commandName;
    QStringList positional;
    for (int i = 0; i < before.size(); ++i) {
        const QString& word = before[i];
        if (word == kDeviceOption) {
            ++i;
        } else if (!word.startsWith(QLatin1Char('-'))) {
            if (commandName.isEmpty())
                commandName = word;
            else
                positional << word;
        }
    }

    const Command* command = commandName.isEmpty() ? nullptr : findCommand(commandName);
    if (current.startsWith(QLatin1Char('-'))) {
        QStringList options = globalOptionSpellings();
        if (command)
            options << commandOptions(*command);
        return startingWith(options, current);
    }
    if (commandName.isEmpty())
        return startingWith(commandNames() << QStringLiteral("help"), current);
    if (commandName == QLatin1String("help"))
        return positional.isEmpty() ? startingWith(commandNames(), current) : QStringList();
    if (!command || !positional.isEmpty())
        return {};
    const QStringList actions = actionsOf(*command);
    return startingWith(actions.isEmpty() ? propertyWords(*command) : actions, current);
}

QStringList attachedDeviceIds(bool simulate)
{
    if (simulate) {
        uvccam::sim::useSimulatedDevices(uvccam::sim::Clock::Virtual);
        uvccam::sim::attachDemoSet();
    }
    const std::unique_ptr<UVCCam> camera(acquireUVCCam());
    // Devices that were there before the camera object announce themselves through the event loop.
    uvccam::sim::wait(0);
    QStringList ids;
    for (const DeviceInfo& device : camera->getDeviceList())
        ids << device.deviceUniqueId;
    return ids;
}

}  // namespace uvccamctl
