// The simulated device set and the platform made of simulated services.
#include "platform/sim/Simulator.h"

#include "platform/Platform.h"
#include "platform/sim/AudioHardwareSim.h"
#include "platform/sim/AudioPlaybackSim.h"
#include "platform/sim/CaptureServiceSim.h"
#include "platform/sim/HidServiceSim.h"
#include "platform/sim/LoginItemsServiceSim.h"
#include "platform/sim/ProcessServiceSim.h"
#include "platform/sim/TaskInfoServiceSim.h"
#include "platform/sim/HotKeyServiceSim.h"
#include "platform/sim/KeyboardLayoutServiceSim.h"
#include "platform/sim/UsbServiceSim.h"

namespace uvccam::platform {

namespace {

std::weak_ptr<Simulator>& activeSimulator()
{
    static std::weak_ptr<Simulator> simulator;
    return simulator;
}

// Locations have a non-zero top nibble and differ in their first seven hex digits, which
// is all of a location the library compares when a camera leaves.
std::uint32_t locationForDevice(std::uint32_t ordinal)
{
    return 0x10000000u | ((ordinal & 0xFFu) << 20);
}

// The library looks for a camera's seven digits anywhere in a departed device's unique ID,
// so no location may hold another's: 0x11b00000 holds 1b00000, the digits of 0x1b000000.
// As every location is a 1, two digits and five zeros, skipping a second digit of 1 is enough.
bool hidesAnotherLocation(std::uint32_t location)
{
    return ((location >> 24) & 0xFu) == 1;
}

}  // namespace

Simulator::Simulator(RunLoop& runLoop) : runLoop_(runLoop) {}

std::shared_ptr<Simulator> Simulator::install(std::unique_ptr<RunLoop> runLoop, std::unique_ptr<LogSink> log)
{
    auto simulator = std::make_shared<Simulator>(*runLoop);
    Platform::Services services;
    services.capture = std::make_unique<CaptureServiceSim>(simulator);
    services.usb = std::make_unique<UsbServiceSim>(simulator);
    services.hid = std::make_unique<HidServiceSim>(simulator);
    services.audioHardware = std::make_unique<AudioHardwareSim>();
    services.audioPlayback = std::make_unique<AudioPlaybackSim>(*runLoop);
    services.process = std::make_unique<ProcessServiceSim>();
    services.loginItems = std::make_unique<LoginItemsServiceSim>();
    services.taskInfo = std::make_unique<TaskInfoServiceSim>();
    services.hotKeys = std::make_unique<HotKeyServiceSim>(*runLoop);
    services.keyboardLayout = std::make_unique<KeyboardLayoutServiceSim>();
    services.runLoop = std::move(runLoop);
    services.log = std::move(log);
    Platform::install(std::make_unique<Platform>(std::move(services)));
    activeSimulator() = simulator;
    return simulator;
}

void Simulator::forgetActive()
{
    activeSimulator().reset();
}

std::shared_ptr<Simulator> Simulator::active()
{
    return activeSimulator().lock();
}

std::shared_ptr<SimulatedDevice> Simulator::attach(DeviceProfile profile)
{
    ++devicesMade_;
    if (profile.locationId == 0) {
        std::uint32_t ordinal = devicesMade_;
        auto unusable = [this](std::uint32_t location) {
            if (hidesAnotherLocation(location))
                return true;
            for (const auto& device : devices_) {
                if (device->profile().locationId == location)
                    return true;
            }
            return false;
        };
        for (int tries = 0; tries < 256 && unusable(locationForDevice(ordinal)); ++tries)
            ++ordinal;
        profile.locationId = locationForDevice(ordinal);
    }
    if (profile.serialNumber.isEmpty())
        profile.serialNumber = QStringLiteral("SIM%1").arg(devicesMade_, 6, 10, QLatin1Char('0'));

    auto device = std::make_shared<SimulatedDevice>(std::move(profile));
    device->setAttached(true);
    devices_.append(device);
    notify(Change::Attached, device);
    return device;
}

bool Simulator::detach(const QString& uniqueId)
{
    auto device = findDevice(uniqueId);
    if (!device)
        return false;
    devices_.removeOne(device);
    device->setAttached(false);
    notify(Change::Detached, device);
    return true;
}

std::shared_ptr<SimulatedDevice> Simulator::findDevice(const QString& uniqueId) const
{
    if (uniqueId.isEmpty())
        return nullptr;
    for (const auto& device : devices_) {
        if (device->listedUniqueID() == uniqueId || device->captureUniqueID() == uniqueId)
            return device;
    }
    return nullptr;
}

Simulator::ListenerId Simulator::addListener(Listener listener)
{
    const ListenerId id = nextListenerId_++;
    listeners_.emplace_back(id, std::move(listener));
    return id;
}

void Simulator::removeListener(ListenerId id)
{
    for (auto it = listeners_.begin(); it != listeners_.end(); ++it) {
        if (it->first == id) {
            listeners_.erase(it);
            return;
        }
    }
}

void Simulator::notify(Change change, const std::shared_ptr<SimulatedDevice>& device)
{
    // A listener only queues work on the run loop, so the list cannot change under us.
    for (const auto& [id, listener] : listeners_)
        listener(change, device);
}

}  // namespace uvccam::platform
