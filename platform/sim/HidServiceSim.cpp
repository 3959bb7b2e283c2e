// Simulated HID devices: output reports reach the device model, input reports come on the run loop.
#include "platform/sim/HidServiceSim.h"

#include <algorithm>
#include <cstring>

namespace uvccam::platform {

HidDeviceSim::HidDeviceSim(std::shared_ptr<SimulatedDevice> device, std::weak_ptr<Simulator> simulator)
    : device_(std::move(device)), simulator_(std::move(simulator))
{
    // The model outlives us (we hold its device), and the listener goes with us.
    listenerId_ = device_->hid()->addInputListener(
        [this](const QByteArray& report, Duration delay) { deviceSent(report, delay); });
}

HidDeviceSim::~HidDeviceSim()
{
    device_->hid()->removeInputListener(listenerId_);
}

HidStatus HidDeviceSim::setReport(const std::uint8_t* report, std::size_t length)
{
    if (!device_->isAttached())
        return kHidNoDevice;
    if (!report && length > 0)
        return kHidError;
    const QByteArray bytes(reinterpret_cast<const char*>(report), static_cast<int>(length));
    return device_->hid()->receiveOutputReport(bytes);
}

void HidDeviceSim::registerInputReportCallback(std::uint8_t* reportSpace, std::size_t spaceLength,
                                               InputReportCallback callback, void* context)
{
    reportSpace_ = reportSpace;
    spaceLength_ = reportSpace ? spaceLength : 0;
    callback_ = callback;
    context_ = context;
}

void HidDeviceSim::scheduleWithRunLoop()
{
    scheduled_ = true;
    auto simulator = simulator_.lock();
    if (!simulator)
        return;
    // One step per buffered report. A step finding the buffer already drained (the device
    // went off and on again, or a newer report took the oldest out) does nothing.
    std::weak_ptr<HidDeviceSim> self = weak_from_this();
    for (std::size_t i = 0; i < buffered_.size(); ++i) {
        simulator->runLoop().dispatchAfter(Duration::zero(), [self] {
            if (auto device = self.lock())
                device->deliverOldest();
        });
    }
}

void HidDeviceSim::unscheduleFromRunLoop()
{
    scheduled_ = false;
}

void HidDeviceSim::deviceSent(const QByteArray& report, Duration delay)
{
    auto simulator = simulator_.lock();
    if (!simulator || !device_->isAttached())
        return;
    std::weak_ptr<HidDeviceSim> self = weak_from_this();
    simulator->runLoop().dispatchAfter(delay, [self, report] {
        if (auto device = self.lock())
            device->arrive(report);
    });
}

void HidDeviceSim::arrive(const QByteArray& report)
{
    if (!device_->isAttached())
        return;
    // Through the buffer even when scheduled, so that it never overtakes older reports
    // still waiting for their step.
    buffered_.push_back(report);
    if (buffered_.size() > kBufferedReports)
        buffered_.pop_front();
    if (scheduled_)
        deliverOldest();
}

void HidDeviceSim::deliverOldest()
{
    if (!device_->isAttached()) {
        buffered_.clear();
        return;
    }
    if (!scheduled_ || buffered_.empty())
        return;
    const QByteArray report = buffered_.front();
    buffered_.pop_front();
    if (!callback_)
        return;
    const std::size_t length = std::min<std::size_t>(spaceLength_, static_cast<std::size_t>(report.size()));
    if (length > 0)
        std::memcpy(reportSpace_, report.constData(), length);
    // The callback may drop the library's last reference to us.
    auto keepAlive = shared_from_this();
    callback_(context_, kHidSuccess, this, 0, reportSpace_, static_cast<long>(length));
}

std::shared_ptr<HidDeviceSim> HidServiceSim::Devices::deviceFor(const std::shared_ptr<SimulatedDevice>& device)
{
    auto& hidDevice = byDevice[device.get()];
    if (!hidDevice)
        hidDevice = std::make_shared<HidDeviceSim>(device, simulator);
    return hidDevice;
}

HidServiceSim::HidServiceSim(std::shared_ptr<Simulator> simulator) : simulator_(std::move(simulator))
{
    devices_->simulator = simulator_;
    listenerId_ = simulator_->addListener(
        [this](Simulator::Change change, const std::shared_ptr<SimulatedDevice>& device) { announce(change, device); });
}

HidServiceSim::~HidServiceSim()
{
    simulator_->removeListener(listenerId_);
}

std::shared_ptr<HidManager> HidServiceSim::createManager()
{
    auto manager = std::make_shared<HidManagerSim>(devices_);
    managers_.erase(std::remove_if(managers_.begin(), managers_.end(), [](const auto& weak) { return weak.expired(); }),
                    managers_.end());
    managers_.push_back(manager);
    return manager;
}

void HidServiceSim::announce(Simulator::Change change, const std::shared_ptr<SimulatedDevice>& device)
{
    const bool attached = change == Simulator::Change::Attached;
    HidDevicePtr hidDevice = devices_->deviceFor(device);
    // The same object arrives and leaves; a later device at this address gets a new one.
    if (!attached)
        devices_->byDevice.erase(device.get());

    for (const auto& weak : managers_) {
        auto manager = weak.lock();
        if (!manager || !manager->hearsChanges())
            continue;
        // The callback set now hears of it, even if replaced before the loop runs; a
        // manager gone by then hears nothing.
        auto callback = attached ? manager->matchingCallback() : manager->removalCallback();
        if (!callback)
            continue;
        simulator_->runLoop().dispatchAfter(Duration::zero(), [weak, callback, hidDevice] {
            if (weak.lock())
                callback(hidDevice);
        });
    }
}

HidStatus HidManagerSim::open()
{
    opened_ = true;
    return kHidSuccess;
}

std::optional<std::vector<HidDevicePtr>> HidManagerSim::copyDevices()
{
    auto devices = devices_.lock();
    auto simulator = devices ? devices->simulator.lock() : nullptr;
    if (!simulator || devices->copyGivesNone)
        return std::nullopt;
    std::vector<HidDevicePtr> present;
    for (const auto& device : simulator->attachedDevices())
        present.push_back(devices->deviceFor(device));
    return present;
}

}  // namespace uvccam::platform
