// The smallest Qt host: list the devices, select the first, stream frames into a callback
// and hear of hot-plug. `--simulate` runs it on the library's simulated devices (on the
// virtual clock, so it takes no real time), where a second camera is plugged in and the
// first pulled out to show the signals.
#include <UVCCam.h>
#include <UVCCamSimulation.h>
#include <UVCCamVersion.h>
#include <mac/MacUVCCam.h>

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <memory>

namespace {

int framesSeen = 0;

// Called on the main thread for every frame; the pixels are valid during the call only.
void onFrame(unsigned char*, int width, int height, int)
{
    if (++framesSeen == 1)
        std::printf("first frame: %d x %d\n", width, height);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const bool simulate = application.arguments().contains(QStringLiteral("--simulate"));
    QString first;
    if (simulate) {
        uvccam::sim::useSimulatedDevices(uvccam::sim::Clock::Virtual);
        first = uvccam::sim::attachCamera(QStringLiteral("RX710"));
    }

    std::unique_ptr<UVCCam> camera(acquireUVCCam());
    std::printf("libuvccam %s\n", uvccam::libraryVersion());
    // UVCCam has no meta-object of its own: the object is a MacUVCCam, whose signals these are.
    auto* facade = qobject_cast<MacUVCCam*>(static_cast<QObject*>(camera.get()));
    QObject::connect(facade, &MacUVCCam::deviceAdd, [] { std::printf("a device arrived\n"); });
    QObject::connect(facade, &MacUVCCam::deviceRemove, [] { std::printf("a device left\n"); });

    const QList<DeviceInfo> devices = camera->getDeviceList();
    std::printf("%d device(s)\n", static_cast<int>(devices.size()));
    for (const DeviceInfo& device : devices)
        std::printf("  %s %s\n", qPrintable(device.modelName), qPrintable(device.deviceUniqueId));
    if (devices.isEmpty())
        return 0;

    if (camera->setDevice(devices.first().deviceUniqueId) != 1)
        return 1;
    camera->setVideoCallback(onFrame);
    if (camera->startVideoStream(0) != 0)
        return 1;
    uvccam::sim::wait(1.0);
    camera->stopVideoStream();
    std::printf("frames in a second: %s\n", framesSeen >= 25 ? "about 30" : "too few");

    if (simulate) {
        uvccam::sim::attachCamera(QStringLiteral("LUM610"));
        uvccam::sim::wait(0.5);
        uvccam::sim::detach(first);
        uvccam::sim::wait(0.5);
    }
    return framesSeen >= 25 ? 0 : 1;
}
