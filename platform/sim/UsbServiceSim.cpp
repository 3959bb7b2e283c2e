// Simulated USB devices: a camera's control requests reach its UVC model, with its faults.
#include "platform/sim/UsbServiceSim.h"

namespace uvccam::platform {

namespace {
constexpr std::uint8_t kVideoClass = 14;
constexpr std::uint8_t kVideoControlSubClass = 1;
}  // namespace

UsbStatus UsbInterfaceSim::open()
{
    UvcCameraModel* uvc = device_->uvc();
    if (!device_->isAttached() || !uvc)
        return kUsbNoDevice;
    switch (uvc->openFault()) {
    case UvcCameraModel::OpenFault::Fails:
        return kUsbNotPermitted;
    case UvcCameraModel::OpenFault::ExclusiveAccess:
        // The other client keeps it open; our requests share its session.
        usable_ = true;
        return kUsbExclusiveAccess;
    case UvcCameraModel::OpenFault::None:
        break;
    }
    uvc->interfaceOpened();
    usable_ = true;
    return kUsbSuccess;
}

UsbStatus UsbInterfaceSim::close()
{
    usable_ = false;
    if (UvcCameraModel* uvc = device_->uvc())
        uvc->interfaceClosed();
    return kUsbSuccess;
}

UsbStatus UsbInterfaceSim::controlRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred)
{
    if (transferred)
        *transferred = 0;
    if (!device_->isAttached() || !device_->uvc())
        return kUsbNoDevice;
    if (!usable_)
        return kUsbError;
    return device_->uvc()->controlRequest(setup, data, transferred);
}

UsbStatus UsbDeviceSim::access()
{
    if (!device_->isAttached())
        return kUsbNoDevice;
    return device_->usbAccessFails() ? kUsbNotPermitted : kUsbSuccess;
}

UsbStatus UsbDeviceSim::serialNumberStringIndex(std::uint8_t* index)
{
    if (!device_->isAttached())
        return kUsbNoDevice;
    return device_->uvc() ? device_->uvc()->serialNumberStringIndex(index) : kUsbError;
}

UsbStatus UsbDeviceSim::deviceRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred)
{
    if (transferred)
        *transferred = 0;
    if (!device_->isAttached() || !device_->uvc())
        return kUsbNoDevice;
    return device_->uvc()->deviceRequest(setup, data, transferred);
}

std::shared_ptr<UsbInterface> UsbDeviceSim::firstInterface(std::uint8_t interfaceClass, std::uint8_t interfaceSubClass)
{
    // A camera has one video-control interface; a speakerphone has none.
    if (!device_->uvc() || interfaceClass != kVideoClass || interfaceSubClass != kVideoControlSubClass)
        return nullptr;
    return std::make_shared<UsbInterfaceSim>(device_);
}

std::vector<std::shared_ptr<UsbDevice>> UsbServiceSim::devices()
{
    std::vector<std::shared_ptr<UsbDevice>> devices;
    for (const auto& device : simulator_->attachedDevices())
        devices.push_back(std::make_shared<UsbDeviceSim>(device));
    return devices;
}

}  // namespace uvccam::platform
