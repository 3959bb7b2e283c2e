// uvccamctl: try the library's devices from the command line, on hardware or simulated.
#include "UVCCam.h"
#include "UVCCamSimulation.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include <memory>

namespace {

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

void printDeviceList(UVCCam& camera)
{
    const QList<DeviceInfo> devices = camera.getDeviceList();
    const QString selected = camera.getDeviceInfo().deviceUniqueId;
    out() << QStringLiteral("%1  %2  %3  %4\n").arg(QStringLiteral("MODEL"), -8).arg(QStringLiteral("DEVICE ID"), -9)
                 .arg(QStringLiteral("UNIQUE ID"), -20).arg(QStringLiteral("SELECTED"));
    for (const DeviceInfo& device : devices) {
        out() << QStringLiteral("%1  %2  %3  %4\n")
                     .arg(device.modelName, -8)
                     .arg(device.deviceId, -9)
                     .arg(device.deviceUniqueId, -20)
                     .arg(device.deviceUniqueId == selected ? QStringLiteral("*") : QString());
    }
    if (devices.isEmpty())
        out() << "(no devices of the maker attached)\n";
}

void printDeviceInfo(UVCCam& camera)
{
    const DeviceInfo info = camera.getDeviceInfo();
    out() << "Selected device:\n"
          << "  model name:  " << (info.modelName.isEmpty() ? QStringLiteral("(none)") : info.modelName) << "\n"
          << "  device ID:   " << info.deviceId << "\n"
          << "  unique ID:   " << (info.deviceUniqueId.isEmpty() ? QStringLiteral("(none)") : info.deviceUniqueId) << "\n";
}

int runDemo()
{
    out() << "uvccam demo on simulated devices\n\n";
    const QString cameraId = uvccam::sim::attachCamera(QStringLiteral("RX710"));
    out() << "Attached a simulated RX710 camera: " << cameraId << "\n\n";

    std::unique_ptr<UVCCam> camera(acquireUVCCam());
    printDeviceList(*camera);
    out() << "\n";
    printDeviceInfo(*camera);
    out().flush();
    return 0;
}

void printUsage()
{
    out() << "usage: uvccamctl [--simulate] COMMAND\n"
             "commands:\n"
             "  list   the attached devices of the maker\n"
             "  info   the selected device\n"
             "  demo   a short tour on simulated devices\n";
    out().flush();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);

    if (arguments.removeAll(QStringLiteral("--simulate")) > 0)
        uvccam::sim::useSimulatedDevices();
    if (arguments.size() != 1) {
        printUsage();
        return 2;
    }

    const QString command = arguments.first();
    if (command == QLatin1String("demo")) {
        uvccam::sim::useSimulatedDevices();
        return runDemo();
    }
    if (command == QLatin1String("list") || command == QLatin1String("info")) {
        std::unique_ptr<UVCCam> camera(acquireUVCCam());
        if (command == QLatin1String("list"))
            printDeviceList(*camera);
        else
            printDeviceInfo(*camera);
        out().flush();
        return 0;
    }
    printUsage();
    return 2;
}
