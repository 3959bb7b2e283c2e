// The public face of the simulator: attach and detach the maker's devices by model.
#include "UVCCamSimulation.h"

#include "platform/Platform.h"
#include "platform/linux/LogSinkSystem.h"
#include "platform/linux/RunLoopQt.h"
#include "platform/sim/AudioHardwareSim.h"
#include "platform/sim/CaptureServiceSim.h"
#include "platform/sim/HotKeyServiceSim.h"
#include "platform/sim/RunLoopVirtual.h"
#include "platform/sim/Simulator.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace uvccam::sim {

namespace {

using platform::DeviceProfile;
using platform::Simulator;

constexpr std::uint16_t kMakerVendorId = 0x2A3B;
// Not the maker's: any camera the library must pass over.
constexpr std::uint16_t kOtherVendorId = 0x1D50;
constexpr std::uint16_t kOtherVendorProductId = 0x6100;

struct CameraModel {
    const char* model;
    const char* productName;  // begins with the model's prefix in the maker's naming
    std::uint16_t productId;
};

constexpr std::array<CameraModel, 8> kCameraModels{{
    {"RX710", "RX710 Conference Camera", 0x2574},
    {"RX710+", "RX710+ Conference Camera", 0x2575},
    {"LUM610", "LUM610 Webcam", 0x6100},
    {"RX240", "RX240 Conference Camera", 0x2400},
    {"LUM630", "LUM630 Webcam", 0x6300},
    {"LUM250", "LUM250 Webcam", 0x2500},
    {"ST410", "Corvane ST410", 0x4100},
    {"ST470", "Studio Caster LUM 470", 0x470A},
}};

struct SpeakerphoneModel {
    const char* productName;
    std::uint16_t productId;
};

constexpr std::array<SpeakerphoneModel, 2> kSpeakerphoneModels{{
    {"VOXA760", 0x0760},
    {"VOXA30", 0x0030},
}};

// The simulator in use, or nullptr when the platform in use is another (the machine's own,
// by default): then every function here that would touch a simulated device refuses.
std::shared_ptr<Simulator> simulator()
{
    platform::Platform::current();  // made now if nothing was chosen, so that the answer holds
    return Simulator::active();
}

QString attachProfile(DeviceProfile profile)
{
    auto sim = simulator();
    if (!sim)
        return QString();
    return sim->attach(std::move(profile))->listedUniqueID();
}

DeviceProfile cameraProfile(const QString& productName, std::uint16_t vendorId, std::uint16_t productId)
{
    DeviceProfile profile;
    profile.kind = DeviceProfile::Kind::Camera;
    profile.productName = productName;
    profile.vendorId = vendorId;
    profile.productId = productId;
    return profile;
}

}  // namespace

void useSimulatedDevices()
{
    if (Simulator::active())
        return;
    Simulator::install(std::make_unique<platform::RunLoopQt>(), std::make_unique<platform::LogSinkSystem>());
}

void useSimulatedDevices(Clock clock)
{
    if (clock == Clock::RealTime || Simulator::active()) {
        useSimulatedDevices();
        return;
    }
    Simulator::install(std::make_unique<platform::RunLoopVirtual>(), std::make_unique<platform::LogSinkSystem>());
}

void wait(double seconds)
{
    // Far beyond any wait a host means, and still far inside the clock's range.
    constexpr double kLongest = 1e9;
    const double clamped = seconds > 0 ? std::min(seconds, kLongest) : 0.0;  // NaN counts as 0 too
    platform::RunLoop& loop = platform::Platform::current().runLoop();
    const platform::Duration span = std::chrono::ceil<platform::Duration>(std::chrono::duration<double>(clamped));
    const platform::TimePoint deadline = loop.now() + span;
    // A task may stop() the run it lands in; the wait still lasts its whole time.
    do {
        loop.runFor(std::max(deadline - loop.now(), platform::Duration::zero()));
    } while (loop.now() < deadline);
}

double clockSeconds()
{
    return std::chrono::duration<double>(platform::Platform::current().runLoop().now()).count();
}

bool isSimulating()
{
    return simulator() != nullptr;
}

QStringList cameraModels()
{
    QStringList models;
    for (const auto& model : kCameraModels)
        models << QLatin1String(model.model);
    return models;
}

QString attachCamera(const QString& model)
{
    for (const auto& entry : kCameraModels) {
        if (model == QLatin1String(entry.model))
            return attachProfile(cameraProfile(QLatin1String(entry.productName), kMakerVendorId, entry.productId));
    }
    return QString();
}

QString attachCameraNamed(const QString& productName)
{
    return attachProfile(cameraProfile(productName, kMakerVendorId, 0x0001));
}

QString attachOtherVendorCamera(const QString& productName)
{
    return attachProfile(cameraProfile(productName, kOtherVendorId, kOtherVendorProductId));
}

QString attachSpeakerphone(const QString& productName)
{
    for (const auto& entry : kSpeakerphoneModels) {
        if (productName != QLatin1String(entry.productName))
            continue;
        DeviceProfile profile;
        profile.kind = DeviceProfile::Kind::Speakerphone;
        profile.productName = productName;
        profile.vendorId = kMakerVendorId;
        profile.productId = entry.productId;
        return attachProfile(profile);
    }
    return QString();
}

QStringList attachDemoSet()
{
    return {attachCamera(QStringLiteral("RX710")), attachCamera(QStringLiteral("ST470")),
            attachCamera(QStringLiteral("LUM610")), attachSpeakerphone(QStringLiteral("VOXA760"))};
}

void detach(const QString& uniqueId)
{
    if (auto sim = simulator())
        sim->detach(uniqueId);
}

void setMicrophoneLevel(const QString& uniqueIdOfDevice, double dBFS)
{
    auto sim = simulator();
    if (!sim)
        return;
    if (uniqueIdOfDevice == QLatin1String(platform::BuiltInMicrophoneSim::kUniqueID)) {
        sim->setBuiltInMicrophoneLevel(dBFS);
        return;
    }
    for (const auto& device : sim->attachedDevices()) {
        if (device->listedUniqueID() == uniqueIdOfDevice || device->captureUniqueID() == uniqueIdOfDevice ||
            device->audioCaptureUniqueID() == uniqueIdOfDevice)
            device->setInputLevel(dBFS);
    }
}

QStringList attachedDevices()
{
    QStringList ids;
    if (auto sim = simulator()) {
        for (const auto& device : sim->attachedDevices())
            ids << device->listedUniqueID();
    }
    return ids;
}

void setSystemVolumes(float output, float input)
{
    // Another platform may stand in with a simulated service (an empty one) of its own.
    if (!simulator())
        return;
    auto* audio = dynamic_cast<platform::AudioHardwareSim*>(&platform::Platform::current().audioHardware());
    if (!audio)
        return;
    // A default that reads as no device has no volume to set.
    audio->setVolume(audio->defaultOutputDevice(), true, output);
    audio->setVolume(audio->defaultInputDevice(), false, input);
}

bool pressHotKey(int keyCode, quint64 modifierFlags, double holdSeconds)
{
    if (keyCode < 0 || keyCode > 0xFFFF || !(holdSeconds >= 0.0) || !simulator())
        return false;
    auto* hotKeys = dynamic_cast<platform::HotKeyServiceSim*>(&platform::Platform::current().hotKeys());
    if (!hotKeys)
        return false;
    // Beyond about 292 years a hold no longer fits the clock; nobody holds a key that long.
    const double limit = std::chrono::duration<double>(platform::Duration::max()).count() / 2;
    const auto hold = std::chrono::duration_cast<platform::Duration>(
        std::chrono::duration<double>(std::min(holdSeconds, limit)));
    return hotKeys->pressAndHold(static_cast<std::uint16_t>(keyCode), modifierFlags, hold);
}

}  // namespace uvccam::sim
