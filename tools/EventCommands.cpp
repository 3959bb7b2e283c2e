// watch and hotkeys: print the camera object's signals as they arrive, until interrupted.
#include "Commands.h"

#include "UVCCamSimulation.h"

#include <QMetaEnum>

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

QString stamp(Session& session, double start)
{
    return QStringLiteral("%1 s").arg(session.now() - start, 7, 'f', 3);
}

// "+ RX710 (0x...)" for each device that arrived since `before`, "- ..." for each that left.
QStringList differences(const QList<DeviceInfo>& before, const QList<DeviceInfo>& after)
{
    auto contains = [](const QList<DeviceInfo>& list, const DeviceInfo& device) {
        for (const DeviceInfo& entry : list) {
            if (entry.deviceUniqueId == device.deviceUniqueId)
                return true;
        }
        return false;
    };
    QStringList lines;
    for (const DeviceInfo& device : after) {
        if (!contains(before, device))
            lines << QStringLiteral("+ ") + describe(device);
    }
    for (const DeviceInfo& device : before) {
        if (!contains(after, device))
            lines << QStringLiteral("- ") + describe(device);
    }
    return lines;
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
        return kBadUsage;

    Console& console = session.console();
    UVCCam& camera = session.camera();
    const double start = session.now();
    QList<DeviceInfo> known = camera.getDeviceList();
    int arrivals = 0;
    int removals = 0;
    CameraEvents& events = session.events();
    events.onDeviceAdd = [&] {
        ++arrivals;
        console.line(stamp(session, start) + QStringLiteral("  deviceAdd"));
    };
    events.onDeviceRemove = [&] {
        ++removals;
        console.line(stamp(session, start) + QStringLiteral("  deviceRemove"));
    };
    events.onDeviceChange = [&] {
        const QList<DeviceInfo> now = camera.getDeviceList();
        const QStringList changes = differences(known, now);
        known = now;
        console.line(stamp(session, start) + QStringLiteral("  deviceChange") +
                     (changes.isEmpty() ? QString() : QStringLiteral("  ") + changes.join(QStringLiteral(", "))));
    };

    std::vector<ScriptedStep> script;
    if (replug) {
        // Unplug the selected device and plug one of the same model in a second later.
        const DeviceInfo device = camera.getDeviceInfo();
        script.push_back({1.0, [&console, &session, start, device] {
                              console.line(stamp(session, start) + QStringLiteral("  (simulator) unplugging ") + describe(device));
                              uvccam::sim::detach(device.deviceUniqueId);
                          }});
        script.push_back({2.0, [&console, &session, start, device] {
                              console.line(stamp(session, start) + QStringLiteral("  (simulator) plugging in an ") + device.modelName);
                              if (isSpeakerphone(device))
                                  uvccam::sim::attachSpeakerphone(device.modelName);
                              else
                                  uvccam::sim::attachCamera(device.modelName);
                          }});
    }

    console.line(QStringLiteral("watching %1 devices for arrivals and removals%2")
                     .arg(known.size())
                     .arg(*seconds ? QStringLiteral(" for %1 s").arg(**seconds) : QStringLiteral(" (Ctrl-C ends)")));
    runFor(session, *seconds, std::move(script));
    events.onDeviceAdd = nullptr;
    events.onDeviceRemove = nullptr;
    events.onDeviceChange = nullptr;
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
    const double start = session.now();
    int presses = 0;
    const QMetaEnum keyNames = QMetaEnum::fromType<Qt::Key>();
    session.events().onKeyPressed = [&](int key, bool pressed) {
        ++presses;
        const char* name = keyNames.valueToKey(key);
        console.line(stamp(session, start) + QStringLiteral("  keyPressed %1 (0x%2)%3")
                                                 .arg(name ? QLatin1String(name) : QLatin1String("?"))
                                                 .arg(key, 0, 16)
                                                 .arg(pressed ? QString() : QStringLiteral(" released")));
    };

    std::vector<ScriptedStep> script;
    if (press) {
        for (const SimulatedPress& combination : kSimulatedPresses) {
            script.push_back({combination.at, [&console, &session, start, combination] {
                                  console.line(stamp(session, start) + QStringLiteral("  (simulator) pressing ") +
                                               QLatin1String(combination.name));
                                  uvccam::sim::pressHotKey(combination.keyCode, combination.modifierFlags, combination.hold);
                              }});
        }
    }

    session.camera().setKeyboardConnected(true);
    console.line(QStringLiteral("hot keys registered; press Command (Control) with an arrow, +, - or L, or Option (Alt) "
                                "with a digit%1")
                     .arg(*seconds ? QStringLiteral(" (for %1 s)").arg(**seconds) : QStringLiteral(" (Ctrl-C ends)")));
    runFor(session, *seconds, std::move(script));
    session.camera().setKeyboardConnected(false);
    session.events().onKeyPressed = nullptr;
    console.line(QStringLiteral("%1 key values reported").arg(presses));
    return kSuccess;
}

}  // namespace uvccamctl
