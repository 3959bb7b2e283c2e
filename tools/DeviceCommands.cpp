// list and info: what is attached, and what the library has selected.
#include "DeviceCommands.h"

#include "Commands.h"

#include <QJsonArray>
#include <QJsonObject>

namespace uvccamctl {

namespace {

QString kindOf(const DeviceInfo& device)
{
    return isSpeakerphone(device) ? QStringLiteral("speakerphone") : QStringLiteral("camera");
}

}  // namespace

void printDeviceTable(Session& session)
{
    const QList<DeviceInfo> devices = session.camera().getDeviceList();
    const QString selected = session.camera().getDeviceInfo().deviceUniqueId;
    QList<QStringList> rows;
    for (const DeviceInfo& device : devices) {
        rows << QStringList{device.modelName, QString::number(device.deviceId), device.deviceUniqueId,
                            device.deviceUniqueId == selected ? QStringLiteral("*") : QString()};
    }
    session.console().table({QStringLiteral("MODEL"), QStringLiteral("DEVICE ID"), QStringLiteral("UNIQUE ID"),
                             QStringLiteral("SELECTED")},
                            rows);
    if (devices.isEmpty())
        session.console().line(QStringLiteral("(none of the maker's devices is attached)"));
}

void printDeviceInfo(Session& session)
{
    UVCCam& camera = session.camera();
    const DeviceInfo device = camera.getDeviceInfo();
    const QString serial = camera.getDeviceSN();
    Console& console = session.console();
    console.line(QStringLiteral("model name:     %1").arg(device.modelName));
    console.line(QStringLiteral("device ID:      %1").arg(device.deviceId));
    console.line(QStringLiteral("unique ID:      %1").arg(device.deviceUniqueId));
    console.line(QStringLiteral("kind:           %1").arg(kindOf(device)));
    console.line(QStringLiteral("serial number:  %1").arg(!serial.isEmpty() ? serial : QStringLiteral("(none)")));
}

int runList(Session& session, Arguments& arguments)
{
    if (!arguments.finish())
        return session.badUsage(arguments.error());
    if (!session.options().json) {
        printDeviceTable(session);
        return kSuccess;
    }
    const QString selected = session.camera().getDeviceInfo().deviceUniqueId;
    QJsonArray devices;
    for (const DeviceInfo& device : session.camera().getDeviceList()) {
        devices.append(QJsonObject{{QStringLiteral("model"), device.modelName},
                                   {QStringLiteral("deviceId"), device.deviceId},
                                   {QStringLiteral("uniqueId"), device.deviceUniqueId},
                                   {QStringLiteral("kind"), kindOf(device)},
                                   {QStringLiteral("selected"), device.deviceUniqueId == selected}});
    }
    session.console().json(devices);
    return kSuccess;
}

int runInfo(Session& session, Arguments& arguments)
{
    if (!arguments.finish())
        return session.badUsage(arguments.error());
    if (!session.requireDevice(QStringLiteral("info")))
        return kNoDevice;
    if (!session.options().json) {
        printDeviceInfo(session);
        return kSuccess;
    }
    const DeviceInfo device = session.camera().getDeviceInfo();
    session.console().json(QJsonObject{{QStringLiteral("model"), device.modelName},
                                       {QStringLiteral("deviceId"), device.deviceId},
                                       {QStringLiteral("uniqueId"), device.deviceUniqueId},
                                       {QStringLiteral("kind"), kindOf(device)},
                                       {QStringLiteral("serialNumber"), session.camera().getDeviceSN()}});
    return kSuccess;
}

}  // namespace uvccamctl
