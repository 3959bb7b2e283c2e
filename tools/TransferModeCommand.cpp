// transfer-mode: the ST470 switch through the plain entry points, with each camera's mode around it.
#include "Commands.h"

#include "UvccamEntryPoints.h"

#include <QJsonArray>
#include <QJsonObject>

namespace uvccamctl {

namespace {

// The ST470 keeps its transfer mode in selector 2 of its sixth extension unit, one byte.
constexpr unsigned short kTransferModeSelector = 2;
constexpr int kTransferModeUnit = 6;
constexpr int kWantedMode = 1;

QList<DeviceInfo> st470Cameras(UVCCam& camera)
{
    QList<DeviceInfo> cameras;
    for (const DeviceInfo& device : camera.getDeviceList()) {
        if (device.modelName == QLatin1String("ST470"))
            cameras << device;
    }
    return cameras;
}

// The camera's mode, or none when it cannot be selected or read.
std::optional<int> readTransferMode(UVCCam& camera, const DeviceInfo& device)
{
    if (camera.setDevice(device.deviceUniqueId) != 1)
        return std::nullopt;
    unsigned char mode = 0;
    if (camera.getExProperty(kTransferModeSelector, &mode, 1, kTransferModeUnit) != 0)
        return std::nullopt;
    return mode;
}

QString modeText(const std::optional<int>& mode)
{
    return mode ? QStringLiteral("transfer mode %1").arg(*mode) : QStringLiteral("transfer mode unreadable");
}

}  // namespace

int runTransferMode(Session& session, Arguments& arguments)
{
    if (!arguments.finish())
        return session.badUsage(arguments.error());
    Console& console = session.console();
    UVCCam& camera = session.camera();
    const bool json = session.options().json;
    // Text goes out step by step, so that the long switch shows where it is.
    auto say = [&console, json](const QString& text) {
        if (!json)
            console.line(text);
    };

    const QList<DeviceInfo> cameras = st470Cameras(camera);
    QList<std::optional<int>> before;
    say(QStringLiteral("[1/3] %1 ST470 attached").arg(cameras.size()));
    for (const DeviceInfo& device : cameras) {
        before << readTransferMode(camera, device);
        say(QStringLiteral("      %1: %2").arg(describe(device), modeText(before.last())));
    }

    say(QStringLiteral("[2/3] switching every ST470 to transfer mode %1 (up to two minutes per camera)").arg(kWantedMode));
    bool switched = false;
    {
        WaitNotice notice(console, QStringLiteral("switching to transfer mode %1").arg(kWantedMode));
        // The handle makes a device core of its own, which every camera object, ours too, uses from now on.
        Uvccam* handle = createUvcCamControl();
        switched = updateUvcCamTransferMode(handle);
        disposeUvcCamControl(handle);
    }
    say(switched ? QStringLiteral("      at least one camera needed the switch")
                 : QStringLiteral("      no camera needed the switch"));

    say(QStringLiteral("[3/3] checking"));
    int unswitched = 0;
    QJsonArray report;
    for (int i = 0; i < cameras.size(); ++i) {
        const DeviceInfo& device = cameras[i];
        const std::optional<int> mode = readTransferMode(camera, device);
        unswitched += mode == kWantedMode ? 0 : 1;
        say(QStringLiteral("      %1: %2").arg(describe(device), modeText(mode)));
        report.append(QJsonObject{{QStringLiteral("model"), device.modelName},
                                  {QStringLiteral("uniqueId"), device.deviceUniqueId},
                                  {QStringLiteral("before"), before[i] ? QJsonValue(*before[i]) : QJsonValue()},
                                  {QStringLiteral("after"), mode ? QJsonValue(*mode) : QJsonValue()}});
    }
    if (json)
        console.json(QJsonObject{{QStringLiteral("switched"), switched}, {QStringLiteral("cameras"), report}});
    if (unswitched > 0)
        return session.refused(QStringLiteral("transfer-mode: %1 ST470 did not take transfer mode %2").arg(unswitched).arg(kWantedMode));
    say(cameras.isEmpty() ? QStringLiteral("result: no ST470 to switch")
                          : QStringLiteral("result: every ST470 is in transfer mode %1").arg(kWantedMode));
    return kSuccess;
}

}  // namespace uvccamctl
