// The USB service over the simulated devices: each camera's video-control interface.
#pragma once

#include "platform/UsbService.h"
#include "platform/sim/Simulator.h"

#include <memory>

namespace uvccam::platform {

class UsbInterfaceSim : public UsbInterface {
public:
    explicit UsbInterfaceSim(std::shared_ptr<SimulatedDevice> device) : device_(std::move(device)) {}
    UsbStatus open() override;
    UsbStatus close() override;
    UsbStatus controlRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred) override;

private:
    std::shared_ptr<SimulatedDevice> device_;
    bool usable_ = false;  // opened, or shared with the client that holds it
};

class UsbDeviceSim : public UsbDevice {
public:
    explicit UsbDeviceSim(std::shared_ptr<SimulatedDevice> device) : device_(std::move(device)) {}
    UsbStatus access() override;
    std::uint32_t locationId() const override { return device_->profile().locationId; }
    std::uint16_t vendorId() const override { return device_->profile().vendorId; }
    std::uint16_t productId() const override { return device_->profile().productId; }
    UsbStatus serialNumberStringIndex(std::uint8_t* index) override;
    UsbStatus deviceRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred) override;
    std::shared_ptr<UsbInterface> firstInterface(std::uint8_t interfaceClass, std::uint8_t interfaceSubClass) override;

private:
    std::shared_ptr<SimulatedDevice> device_;
};

class UsbServiceSim : public UsbService {
public:
    explicit UsbServiceSim(std::shared_ptr<Simulator> simulator) : simulator_(std::move(simulator)) {}
    std::vector<std::shared_ptr<UsbDevice>> devices() override;

private:
    std::shared_ptr<Simulator> simulator_;
};

}  // namespace uvccam::platform
