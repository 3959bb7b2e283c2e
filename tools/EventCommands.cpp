// watch and hotkeys: print the camera object's signals as they arrive, until interrupted.
#include "Commands.h"

#include "UVCCamDiagnostics.h"
#include "UVCCamSimulation.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMetaEnum>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace uvccamctl {

namespace {

// Something the simulator does at a moment of the run, so that a watch has events to show.
struct ScriptedStep {
    double at;
    std::function<void()> action;
};

// How long a run lasts: --seconds, or until Ctrl-C. On the virtual clock time would race
// on without end, so a length is required there.
std::optional<std::optional<double>> takeRunLength(Session& session, Arguments& arguments)
{
    const std::optional<double> seconds = arguments.takeSecondsOption(QStringLiteral("--seconds"));
    if (arguments.ok() && !seconds && session.options().virtualClock)
        arguments.fail(QStringLiteral("--seconds is needed with --virtual-clock (simulated time would pass without end)"));
    if (!arguments.ok())
        return std::nullopt;
    return std::optional<std::optional<double>>(seconds);
}

// Runs the script's steps when their time comes, until the end or Ctrl-C.
void runFor(Session& session, std::optional<double> seconds, std::vector<ScriptedStep> script)
{
    constexpr double kStep = 0.1;
    const double start = session.now();
    std::size_t next = 0;
    for (;;) {
        const double elapsed = session.now() - start;
        while (next < script.size() && script[next].at <= elapsed)
            script[next++].action();
        if (seconds && elapsed >= *seconds)
            return;
        double step = seconds ? std::min(kStep, *seconds - elapsed) : kStep;
        if (next < script.size())
            step = std::min(step, script[next].at - elapsed);
        if (!session.wait(step))
            return;
    }
}

// Prints one event as it happens: "  1.000 s  TEXT", or with --json one object per line
// with the event's time in seconds.
void report(Session& session, double start, const QString& text, QJsonObject event)
{
    const double elapsed = session.now() - start;
    if (!session.options().json) {
        session.console().line(QStringLiteral("%1 s  ").arg(elapsed, 7, 'f', 3) + text);
        return;
    }
    // Milliseconds, as the text shows; the clock's nanoseconds are noise here.
    event.insert(QStringLiteral("time"), std::round(elapsed * 1000) / 1000);
    session.console().jsonLine(event);
}

QJsonObject event(const char* name)
{
    return QJsonObject{{QStringLiteral("event"), QLatin1String(name)}};
}

QJsonObject simulatorEvent(const QString& action)
{
    return QJsonObject{{QStringLiteral("event"), QStringLiteral("simulator")}, {QStringLiteral("action"), action}};
}

// The devices in `some` whose unique ID is not in `others`.
QList<DeviceInfo> missingFrom(const QList<DeviceInfo>& some, const QList<DeviceInfo>& others)
{
    QList<DeviceInfo> missing;
    for (const DeviceInfo& device : some) {
        const bool found = std::any_of(others.begin(), others.end(), [&device](const DeviceInfo& other) {
            return other.deviceUniqueId == device.deviceUniqueId;
        });
        if (!found)
            missing << device;
    }
    return missing;
}

QJsonArray devicesJson(const QList<DeviceInfo>& devices)
{
    QJsonArray array;
    for (const DeviceInfo& device : devices)
        array.append(QJsonObject{{QStringLiteral("model"), device.modelName}, {QStringLiteral("uniqueId"), device.deviceUniqueId}});
    return array;
}

// What --press does on the simulated keyboard: a held arrow repeats, the others report once.
struct SimulatedPress {
    double at;
    const char* name;
    int keyCode;  // the key's position: 126 up arrow, 18 the 1 of the main keyboard, 37 L
    quint64 modifierFlags;
    double hold;
};

constexpr quint64 kCommandFlag = 0x100000;
constexpr quint64 kOptionFlag = 0x80000;
constexpr SimulatedPress kSimulatedPresses[] = {
    {0.5, "Command+Up, held 0.25 s", 126, kCommandFlag, 0.25},
    {1.5, "Option+1", 18, kOptionFlag, 0.05},
    {2.0, "Command+L", 37, kCommandFlag, 0.05},
};

// Registers the global hot keys; false when the library refused one (another program holds
// it, or there is no X11 display). The library says so only on its system log, so the tool
// reads that for the call's length, passing each message on to the handler in place.
bool connectKeyboard(UVCCam& camera)
{
    bool refused = false;
    uvccam::DiagnosticHandler previous;
    previous = uvccam::setDiagnosticHandler([&refused, &previous](uvccam::DiagnosticChannel channel, const QString& text) {
        if (channel == uvccam::DiagnosticChannel::System && text == QLatin1String("Unable to register hotkey"))
            refused = true;
        if (previous)
            previous(channel, text);
    });
    camera.setKeyboardConnected(true);
    uvccam::setDiagnosticHandler(previous);
    return !refused;
}

}  // namespace

int runWatch(Session& session, Arguments& arguments)
{
    const bool replug = arguments.takeFlag(QStringLiteral("--replug"));
    const std::optional<std::optional<double>> seconds = takeRunLength(session, arguments);
    if (!seconds || !arguments.finish())
        return session.badUsage(arguments.error());
    if (replug && !session.options().simulate)
        return session.badUsage(QStringLiteral("watch: --replug needs --simulate"));
    if (replug && !session.requireDevice(QStringLiteral("watch --replug")))
        return kNoDevice;

    Console& console = session.console();
    UVCCam& camera = session.camera();
    const bool json = session.options().json;
    const double start = session.now();
    QList<DeviceInfo> known = camera.getDeviceList();
    int arrivals = 0;
    int removals = 0;
    CameraEvents& events = session.events();
    events.onDeviceAdd = [&] {
        ++arrivals;
        report(session, start, QStringLiteral("deviceAdd"), event("deviceAdd"));
    };
    events.onDeviceRemove = [&] {
        ++removals;
        report(session, start, QStringLiteral("deviceRemove"), event("deviceRemove"));
    };
    events.onDeviceChange = [&] {
        const QList<DeviceInfo> now = camera.getDeviceList();
        const QList<DeviceInfo> arrived = missingFrom(now, known);
        const QList<DeviceInfo> left = missingFrom(known, now);
        known = now;
        QStringList changes;
        for (const DeviceInfo& device : arrived)
            changes << QStringLiteral("+ ") + describe(device);
        for (const DeviceInfo& device : left)
            changes << QStringLiteral("- ") + describe(device);
        QJsonObject change = event("deviceChange");
        change.insert(QStringLiteral("arrived"), devicesJson(arrived));
        change.insert(QStringLiteral("left"), devicesJson(left));
        report(session, start,
               QStringLiteral("deviceChange") + (changes.isEmpty() ? QString() : QStringLiteral("  ") + changes.join(QStringLiteral(", "))),
               change);
    };

    std::vector<ScriptedStep> script;
    if (replug) {
        // Unplug the selected device and plug one of the same model in a second later.
        const DeviceInfo device = camera.getDeviceInfo();
        script.push_back({1.0, [&session, start, device] {
                              const QString action = QStringLiteral("unplugging ") + describe(device);
                              report(session, start, QStringLiteral("(simulator) ") + action, simulatorEvent(action));
                              uvccam::sim::detach(device.deviceUniqueId);
                          }});
        script.push_back({2.0, [&session, start, device] {
                              const QString action = QStringLiteral("plugging in an ") + device.modelName;
                              report(session, start, QStringLiteral("(simulator) ") + action, simulatorEvent(action));
                              if (isSpeakerphone(device))
                                  uvccam::sim::attachSpeakerphone(device.modelName);
                              else
                                  uvccam::sim::attachCamera(device.modelName);
                          }});
    }

    if (!json)
        console.line(QStringLiteral("watching %1 devices for arrivals and removals%2")
                         .arg(known.size())
                         .arg(*seconds ? QStringLiteral(" for %1 s").arg(**seconds) : QStringLiteral(" (Ctrl-C ends)")));
    runFor(session, *seconds, std::move(script));
    events.onDeviceAdd = nullptr;
    events.onDeviceRemove = nullptr;
    events.onDeviceChange = nullptr;
    QJsonObject end = event("end");
    end.insert(QStringLiteral("arrivals"), arrivals);
    end.insert(QStringLiteral("removals"), removals);
    end.insert(QStringLiteral("devicesAttached"), known.size());
    if (json)
        report(session, start, QString(), end);
    else
        console.line(QStringLiteral("arrivals: %1, removals: %2, devices attached: %3").arg(arrivals).arg(removals).arg(known.size()));
    return kSuccess;
}

int runHotkeys(Session& session, Arguments& arguments)
{
    const bool press = arguments.takeFlag(QStringLiteral("--press"));
    const std::optional<std::optional<double>> seconds = takeRunLength(session, arguments);
    if (!seconds || !arguments.finish())
        return session.badUsage(arguments.error());
    if (press && !session.options().simulate)
        return session.badUsage(QStringLiteral("hotkeys: --press needs --simulate"));

    Console& console = session.console();
    const bool json = session.options().json;
    const double start = session.now();
    int presses = 0;
    const QMetaEnum keyNames = QMetaEnum::fromType<Qt::Key>();
    session.events().onKeyPressed = [&](int key, bool pressed) {
        ++presses;
        const char* known = keyNames.valueToKey(key);
        const QString name = known ? QLatin1String(known) : QLatin1String("?");
        QJsonObject keyEvent = event("keyPressed");
        keyEvent.insert(QStringLiteral("key"), name);
        keyEvent.insert(QStringLiteral("code"), key);
        keyEvent.insert(QStringLiteral("pressed"), pressed);
        report(session, start,
               QStringLiteral("keyPressed %1 (0x%2)%3").arg(name).arg(key, 0, 16).arg(pressed ? QString() : QStringLiteral(" released")),
               keyEvent);
    };

    std::vector<ScriptedStep> script;
    if (press) {
        for (const SimulatedPress& combination : kSimulatedPresses) {
            script.push_back({combination.at, [&session, start, combination] {
                                  const QString action = QStringLiteral("pressing ") + QLatin1String(combination.name);
                                  report(session, start, QStringLiteral("(simulator) ") + action, simulatorEvent(action));
                                  uvccam::sim::pressHotKey(combination.keyCode, combination.modifierFlags, combination.hold);
                              }});
        }
    }

    if (!connectKeyboard(session.camera())) {
        // Those registered before the refusal go too: a partial set would only confuse.
        session.camera().setKeyboardConnected(false);
        session.events().onKeyPressed = nullptr;
        return session.refused(QStringLiteral("hotkeys: the global hot keys could not all be registered: another "
                                              "program holds one of them, or there is no X11 display"));
    }
    if (!json)
        console.line(QStringLiteral("hot keys registered; press Command (Control) with an arrow, +, - or L, or Option (Alt) "
                                    "with a digit%1")
                         .arg(*seconds ? QStringLiteral(" (for %1 s)").arg(**seconds) : QStringLiteral(" (Ctrl-C ends)")));
    runFor(session, *seconds, std::move(script));
    session.camera().setKeyboardConnected(false);
    session.events().onKeyPressed = nullptr;
    QJsonObject end = event("end");
    end.insert(QStringLiteral("keyValues"), presses);
    if (json)
        report(session, start, QString(), end);
    else
        console.line(QStringLiteral("%1 key values reported").arg(presses));
    return kSuccess;
}

}  // namespace uvccamctl
