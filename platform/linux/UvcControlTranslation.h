// UVC class requests to a camera's units, answered through what uvcvideo offers on its capture node.
#pragma once

#include "platform/UsbService.h"
#include "platform/linux/UvcDescriptors.h"

#include <cstdint>
#include <functional>

namespace uvccam::platform {

// Runs one ioctl on the camera's capture node: 0, or the errno it failed with.
using UvcvideoIoctl = std::function<int(unsigned long request, void* argument)>;

// How uvcvideo offers one standard control of the class: the control the class defines at
// (entity kind, selector), the V4L2 control(s) uvcvideo maps it to, and the class's encoding.
struct UvcStandardControl {
    enum class Shape {
        Value,         // one V4L2 control holding the class value (integer, boolean, or a menu
                       // whose item numbers are the class values, as power-line frequency's)
        ExposureMode,  // the V4L2 menu of auto-exposure modes; the class value has one bit per mode
        PanTilt,       // the class's one 8-byte control: pan, then tilt, two V4L2 controls
    };
    UvcEntityKind kind;
    std::uint8_t selector;
    const char* name;
    std::uint32_t v4l2Id;
    std::uint32_t secondV4l2Id;  // tilt, for PanTilt; 0 otherwise
    int length;                  // the class's length in bytes, per V4L2 control
    bool isSigned;
    Shape shape;
};

// The control at (kind, selector) that uvcvideo reproduces faithfully, or nullptr: relative
// controls it reshapes, composite controls other than pan and tilt, and controls it does
// not map have none.
const UvcStandardControl* uvcStandardControl(UvcEntityKind kind, std::uint8_t selector);

// What the library is told when an ioctl fails: the device (or the driver on its behalf)
// refused the request, the device has gone, or something else went wrong.
UsbStatus usbStatusOfErrno(int error);

// Answers one class request on the video-control interface `controls` (the library's
// set-up packet, wLength bytes at `data`) through `ioctl`:
// - an extension unit's request goes to UVCIOC_CTRL_QUERY unchanged;
// - a camera-terminal or processing-unit request becomes the V4L2 controls the class
//   defines there, with the value in wLength bytes, little-endian, as the camera would
//   answer it (a wider request carries the class value sign- or zero-extended);
// - everything uvcvideo cannot answer as the camera would stalls, and nothing is sent.
UsbStatus answerUvcRequest(const UvcControlInterface& controls, const UsbSetupPacket& setup, std::uint8_t* data,
                           const UvcvideoIoctl& ioctl);

}  // namespace uvccam::platform
