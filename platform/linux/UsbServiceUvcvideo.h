// USB cameras on Linux as the camera control path needs them: found through udev, controlled through uvcvideo.
#pragma once

#include "platform/UsbService.h"
#include "platform/linux/UdevWatcher.h"
#include "platform/linux/UvcDescriptors.h"

#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace uvccam::platform {

// A camera's video-control interface, reached through its capture node: uvcvideo stays
// bound to the camera (so video keeps working) and answers each class request through its
// ioctls (see answerUvcRequest). The node is open from open() to close().
class UsbInterfaceUvcvideo : public UsbInterface {
public:
    // `product` and `vendorId` name the camera in the message about a refused node.
    UsbInterfaceUvcvideo(QString captureNode, UvcControlInterface controls, QString product, std::uint16_t vendorId);
    ~UsbInterfaceUvcvideo() override;

    UsbInterfaceUvcvideo(const UsbInterfaceUvcvideo&) = delete;
    UsbInterfaceUvcvideo& operator=(const UsbInterfaceUvcvideo&) = delete;

    // kUsbSuccess when the node opens read-write; kUsbExclusiveAccess when the driver says
    // it is busy (no request can be sent then), kUsbNotPermitted when the user may not open
    // it, kUsbNoDevice once it has gone.
    UsbStatus open() override;
    UsbStatus close() override;
    UsbStatus controlRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred) override;

    const QString& captureNode() const { return captureNode_; }
    const UvcControlInterface& controls() const { return controls_; }

private:
    // The one way to the driver: every ioctl passes here, and is logged (at debug level).
    int ioctl(unsigned long request, void* argument);

    QString captureNode_;
    UvcControlInterface controls_;
    QString product_;
    std::uint16_t vendorId_;
    int fd_ = -1;
    bool refusalLogged_ = false;
};

// A camera: the USB device above a capture node that uvcvideo made.
class UsbDeviceUvcvideo : public UsbDevice {
public:
    // From a capture node's record; nullptr for a node without a USB device or location above it.
    static std::shared_ptr<UsbDeviceUvcvideo> fromRecord(const UdevRecord& capture);

    UsbStatus access() override;
    std::uint32_t locationId() const override { return usb_.locationId; }
    std::uint16_t vendorId() const override { return usb_.vendorId; }
    std::uint16_t productId() const override { return usb_.productId; }
    // iSerialNumber of the device descriptor, as sysfs `descriptors` holds it.
    UsbStatus serialNumberStringIndex(std::uint8_t* index) override;
    // GET_DESCRIPTOR only. The device's own answer through usbfs when its node can be used;
    // otherwise the serial-number string is built from sysfs `serial` byte for byte as the
    // device sends it, and any other descriptor stalls.
    UsbStatus deviceRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred) override;
    // The video-control interface (class 14, subclass 1) of the capture node; nullptr for
    // any other class.
    std::shared_ptr<UsbInterface> firstInterface(std::uint8_t interfaceClass, std::uint8_t interfaceSubClass) override;

private:
    UsbDeviceUvcvideo() = default;
    QByteArray sysfsAttribute(const char* name) const;
    std::optional<UsbStatus> requestThroughUsbfs(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred);
    UsbStatus builtSerialDescriptor(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred);

    UsbParent usb_;
    QString captureNode_;
    std::optional<std::uint8_t> interfaceNumber_;
};

// The cameras among udev's video4linux nodes, enumerated afresh at each call.
class UsbServiceUvcvideo : public UsbService {
public:
    // Without a watcher (no udev) there are no devices.
    explicit UsbServiceUvcvideo(std::shared_ptr<UdevWatcher> watcher) : watcher_(std::move(watcher)) {}
    // One device per camera, in sysfs order; a camera with several capture nodes is reached
    // through the first.
    std::vector<std::shared_ptr<UsbDevice>> devices() override;

private:
    std::shared_ptr<UdevWatcher> watcher_;
};

}  // namespace uvccam::platform
