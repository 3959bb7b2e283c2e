// The table of standard controls uvcvideo offers faithfully, and the request-by-request translation to its ioctls.
#include "platform/linux/UvcControlTranslation.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <optional>
#include <vector>

#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

namespace uvccam::platform {

namespace {

using Shape = UvcStandardControl::Shape;
constexpr UvcEntityKind kCamera = UvcEntityKind::CameraTerminal;
constexpr UvcEntityKind kProcessing = UvcEntityKind::ProcessingUnit;

// Selectors by the class's numbering. Relative controls (exposure, focus, iris, zoom, pan
// and tilt, roll) are missing on purpose: uvcvideo reshapes them or does not map them.
// So are white-balance components (two values in one control) and their automatic flag,
// which shares its V4L2 control with the temperature's.
constexpr UvcStandardControl kControls[] = {
    {kCamera, UVC_CT_AE_MODE_CONTROL, "auto-exposure mode", V4L2_CID_EXPOSURE_AUTO, 0, 1, false, Shape::ExposureMode},
    {kCamera, UVC_CT_AE_PRIORITY_CONTROL, "auto-exposure priority", V4L2_CID_EXPOSURE_AUTO_PRIORITY, 0, 1, false, Shape::Value},
    {kCamera, UVC_CT_EXPOSURE_TIME_ABSOLUTE_CONTROL, "exposure time", V4L2_CID_EXPOSURE_ABSOLUTE, 0, 4, false, Shape::Value},
    {kCamera, UVC_CT_FOCUS_ABSOLUTE_CONTROL, "focus", V4L2_CID_FOCUS_ABSOLUTE, 0, 2, false, Shape::Value},
    {kCamera, UVC_CT_FOCUS_AUTO_CONTROL, "automatic focus", V4L2_CID_FOCUS_AUTO, 0, 1, false, Shape::Value},
    {kCamera, UVC_CT_IRIS_ABSOLUTE_CONTROL, "iris", V4L2_CID_IRIS_ABSOLUTE, 0, 2, false, Shape::Value},
    {kCamera, UVC_CT_ZOOM_ABSOLUTE_CONTROL, "zoom", V4L2_CID_ZOOM_ABSOLUTE, 0, 2, false, Shape::Value},
    {kCamera, UVC_CT_PANTILT_ABSOLUTE_CONTROL, "pan and tilt", V4L2_CID_PAN_ABSOLUTE, V4L2_CID_TILT_ABSOLUTE, 4, true,
     Shape::PanTilt},
    {kCamera, UVC_CT_PRIVACY_CONTROL, "privacy", V4L2_CID_PRIVACY, 0, 1, false, Shape::Value},
    {kProcessing, UVC_PU_BACKLIGHT_COMPENSATION_CONTROL, "backlight compensation", V4L2_CID_BACKLIGHT_COMPENSATION, 0, 2,
     false, Shape::Value},
    {kProcessing, UVC_PU_BRIGHTNESS_CONTROL, "brightness", V4L2_CID_BRIGHTNESS, 0, 2, true, Shape::Value},
    {kProcessing, UVC_PU_CONTRAST_CONTROL, "contrast", V4L2_CID_CONTRAST, 0, 2, false, Shape::Value},
    {kProcessing, UVC_PU_GAIN_CONTROL, "gain", V4L2_CID_GAIN, 0, 2, false, Shape::Value},
    {kProcessing, UVC_PU_POWER_LINE_FREQUENCY_CONTROL, "power-line frequency", V4L2_CID_POWER_LINE_FREQUENCY, 0, 1, false,
     Shape::Value},
    {kProcessing, UVC_PU_HUE_CONTROL, "hue", V4L2_CID_HUE, 0, 2, true, Shape::Value},
    {kProcessing, UVC_PU_SATURATION_CONTROL, "saturation", V4L2_CID_SATURATION, 0, 2, false, Shape::Value},
    {kProcessing, UVC_PU_SHARPNESS_CONTROL, "sharpness", V4L2_CID_SHARPNESS, 0, 2, false, Shape::Value},
    {kProcessing, UVC_PU_GAMMA_CONTROL, "gamma", V4L2_CID_GAMMA, 0, 2, false, Shape::Value},
    {kProcessing, UVC_PU_WHITE_BALANCE_TEMPERATURE_CONTROL, "white-balance temperature",
     V4L2_CID_WHITE_BALANCE_TEMPERATURE, 0, 2, false, Shape::Value},
    {kProcessing, UVC_PU_WHITE_BALANCE_TEMPERATURE_AUTO_CONTROL, "automatic white balance", V4L2_CID_AUTO_WHITE_BALANCE,
     0, 1, false, Shape::Value},
    {kProcessing, UVC_PU_HUE_AUTO_CONTROL, "automatic hue", V4L2_CID_HUE_AUTO, 0, 1, false, Shape::Value},
};

constexpr std::uint8_t kSetRequestType = 0x21;  // host to device, class, interface
constexpr std::uint8_t kGetRequestType = 0xA1;  // device to host, class, interface
constexpr int kLongestValue = 8;

// The auto-exposure modes: V4L2 menu item i is the class's mode bit kExposureModeBits[i]
// (automatic, manual, shutter priority, aperture priority).
constexpr std::uint8_t kExposureModeBits[] = {0x02, 0x01, 0x04, 0x08};

bool isClassRequest(std::uint8_t request)
{
    switch (request) {
    case UVC_SET_CUR:
    case UVC_GET_CUR:
    case UVC_GET_MIN:
    case UVC_GET_MAX:
    case UVC_GET_RES:
    case UVC_GET_LEN:
    case UVC_GET_INFO:
    case UVC_GET_DEF:
        return true;
    default:
        return false;
    }
}

// Whether `value` is representable in `length` bytes with the control's signedness, so that
// the bytes read back as the value itself.
bool fits(std::int64_t value, int length, bool isSigned)
{
    if (length >= kLongestValue)
        return isSigned || value >= 0;
    const int bits = 8 * length;
    if (isSigned)
        return value >= -(std::int64_t(1) << (bits - 1)) && value < (std::int64_t(1) << (bits - 1));
    return value >= 0 && value < (std::int64_t(1) << bits);
}

bool encode(std::int64_t value, int length, bool isSigned, std::uint8_t* out)
{
    if (length < 1 || length > kLongestValue || !fits(value, length, isSigned))
        return false;
    const auto bits = static_cast<std::uint64_t>(value);
    for (int i = 0; i < length; ++i)
        out[i] = static_cast<std::uint8_t>((bits >> (8 * i)) & 0xFF);
    return true;
}

std::optional<std::int64_t> decode(const std::uint8_t* bytes, int length, bool isSigned)
{
    if (length < 1 || length > kLongestValue)
        return std::nullopt;
    std::uint64_t bits = 0;
    for (int i = length - 1; i >= 0; --i)
        bits = (bits << 8) | bytes[i];
    if (isSigned && length < kLongestValue && (bytes[length - 1] & 0x80))
        bits |= ~std::uint64_t(0) << (8 * length);
    return static_cast<std::int64_t>(bits);
}

// V4L2 values are 32-bit signed; uvcvideo hands a 4-byte unsigned class value (the
// exposure time) over in the same bits.
std::int64_t classValueOf(const UvcStandardControl& control, std::int32_t v4l2)
{
    if (!control.isSigned && control.length == 4)
        return static_cast<std::uint32_t>(v4l2);
    return v4l2;
}

std::int32_t v4l2ValueOf(const UvcStandardControl& control, std::int64_t value)
{
    if (!control.isSigned && control.length == 4)
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    return static_cast<std::int32_t>(value);
}

std::optional<std::int64_t> exposureModeBit(std::int64_t item)
{
    if (item < 0 || item >= static_cast<std::int64_t>(std::size(kExposureModeBits)))
        return std::nullopt;
    return kExposureModeBits[item];
}

std::optional<std::int64_t> exposureModeItem(std::int64_t bit)
{
    const auto* found = std::find(std::begin(kExposureModeBits), std::end(kExposureModeBits), bit);
    if (found == std::end(kExposureModeBits))
        return std::nullopt;
    return found - std::begin(kExposureModeBits);
}

// One V4L2 control and where its value sits among the request's bytes.
struct Part {
    std::uint32_t id;
    int at;
    int length;
};

class StandardRequest {
public:
    StandardRequest(const UvcStandardControl& control, const UsbSetupPacket& setup, std::uint8_t* data,
                    const UvcvideoIoctl& ioctl)
        : control_(control), setup_(setup), data_(data), ioctl_(ioctl)
    {
    }

    UsbStatus answer()
    {
        // Pan and tilt travel together in exactly the class's 8 bytes; one value travels in
        // whatever length the request has, as long as the value fits it.
        if (control_.shape == Shape::PanTilt) {
            if (setup_.wLength != 2 * control_.length)
                return kUsbPipeStalled;
            parts_.push_back(Part{control_.v4l2Id, 0, control_.length});
            parts_.push_back(Part{control_.secondV4l2Id, control_.length, control_.length});
        } else {
            if (setup_.wLength < 1 || setup_.wLength > kLongestValue)
                return kUsbPipeStalled;
            parts_.push_back(Part{control_.v4l2Id, 0, setup_.wLength});
        }
        switch (setup_.bRequest) {
        case UVC_GET_CUR: return getCurrent();
        case UVC_SET_CUR: return setCurrent();
        case UVC_GET_MIN:
        case UVC_GET_MAX:
        case UVC_GET_DEF:
        case UVC_GET_RES: return getLimit();
        default:
            // GET_INFO's bits (asynchronous, disabled by an automatic mode) and GET_LEN are
            // the camera's own and not in uvcvideo's V4L2 view.
            return kUsbPipeStalled;
        }
    }

private:
    // Stores a class value in its part of the answer: false when it does not fit there.
    bool put(const Part& part, std::int64_t value)
    {
        if (control_.shape == Shape::ExposureMode) {
            const std::optional<std::int64_t> bit = exposureModeBit(value);
            if (!bit)
                return false;
            value = *bit;
        }
        return encode(value, part.length, control_.isSigned, data_ + part.at);
    }

    UsbStatus getCurrent()
    {
        std::vector<v4l2_ext_control> values(parts_.size());
        for (std::size_t i = 0; i < parts_.size(); ++i)
            values[i].id = parts_[i].id;
        if (const int error = transfer(VIDIOC_G_CTRL, VIDIOC_G_EXT_CTRLS, values))
            return usbStatusOfErrno(error);
        for (std::size_t i = 0; i < parts_.size(); ++i) {
            if (!put(parts_[i], classValueOf(control_, values[i].value)))
                return kUsbPipeStalled;
        }
        return kUsbSuccess;
    }

    UsbStatus setCurrent()
    {
        std::vector<v4l2_ext_control> values(parts_.size());
        for (std::size_t i = 0; i < parts_.size(); ++i) {
            const Part& part = parts_[i];
            std::optional<std::int64_t> value = decode(data_ + part.at, part.length, control_.isSigned);
            if (value && control_.shape == Shape::ExposureMode)
                value = exposureModeItem(*value);
            if (!value)
                return kUsbPipeStalled;
            // The camera refuses what lies outside its range or between its steps; the
            // driver would clamp or round it instead, so it is refused here.
            v4l2_queryctrl query{};
            if (const int error = queryControl(part.id, query))
                return usbStatusOfErrno(error);
            const std::int64_t minimum = classValueOf(control_, query.minimum);
            const std::int64_t maximum = classValueOf(control_, query.maximum);
            if (*value < minimum || *value > maximum || (query.step > 1 && (*value - minimum) % query.step != 0))
                return kUsbPipeStalled;
            values[i].id = part.id;
            values[i].value = v4l2ValueOf(control_, *value);
        }
        const int error = transfer(VIDIOC_S_CTRL, VIDIOC_S_EXT_CTRLS, values);
        return error ? usbStatusOfErrno(error) : kUsbSuccess;
    }

    UsbStatus getLimit()
    {
        for (const Part& part : parts_) {
            v4l2_queryctrl query{};
            if (const int error = queryControl(part.id, query))
                return usbStatusOfErrno(error);
            std::optional<std::int64_t> value;
            switch (setup_.bRequest) {
            case UVC_GET_MIN: value = classValueOf(control_, query.minimum); break;
            case UVC_GET_MAX: value = classValueOf(control_, query.maximum); break;
            case UVC_GET_DEF: value = classValueOf(control_, query.default_value); break;
            default: value = query.step; break;
            }
            if (control_.shape == Shape::ExposureMode) {
                // The modes have no minimum or maximum; their resolution is the set of modes
                // the camera offers, which uvcvideo keeps as the menu's items.
                if (setup_.bRequest == UVC_GET_MIN || setup_.bRequest == UVC_GET_MAX)
                    return kUsbPipeStalled;
                if (setup_.bRequest == UVC_GET_RES) {
                    const std::optional<std::int64_t> modes = offeredExposureModes(query);
                    if (!modes)
                        return kUsbPipeStalled;
                    if (!encode(*modes, part.length, false, data_ + part.at))
                        return kUsbPipeStalled;
                    continue;
                }
            }
            if (!put(part, *value))
                return kUsbPipeStalled;
        }
        return kUsbSuccess;
    }

    std::optional<std::int64_t> offeredExposureModes(const v4l2_queryctrl& query)
    {
        std::int64_t modes = 0;
        for (std::int64_t item = query.minimum; item <= query.maximum; ++item) {
            v4l2_querymenu menu{};
            menu.id = query.id;
            menu.index = static_cast<std::uint32_t>(item);
            // A mode the camera lacks is an item the driver leaves out.
            if (ioctl_(VIDIOC_QUERYMENU, &menu) != 0)
                continue;
            const std::optional<std::int64_t> bit = exposureModeBit(item);
            if (!bit)
                return std::nullopt;
            modes |= *bit;
        }
        return modes;
    }

    int queryControl(std::uint32_t id, v4l2_queryctrl& query)
    {
        query.id = id;
        if (const int error = ioctl_(VIDIOC_QUERYCTRL, &query))
            return error;
        // A control the camera lacks is answered EINVAL; a disabled one is as good as absent.
        return (query.flags & V4L2_CTRL_FLAG_DISABLED) ? EINVAL : 0;
    }

    // One control through the plain ioctl, pan and tilt through the extended one, so that
    // uvcvideo sends them to the camera as one request.
    int transfer(unsigned long single, unsigned long extended, std::vector<v4l2_ext_control>& values)
    {
        if (values.size() == 1) {
            v4l2_control one{};
            one.id = values[0].id;
            one.value = values[0].value;
            const int error = ioctl_(single, &one);
            values[0].value = one.value;
            return error;
        }
        v4l2_ext_controls all{};
        all.ctrl_class = V4L2_CTRL_CLASS_CAMERA;
        all.count = static_cast<std::uint32_t>(values.size());
        all.controls = values.data();
        return ioctl_(extended, &all);
    }

    const UvcStandardControl& control_;
    const UsbSetupPacket& setup_;
    std::uint8_t* data_;
    const UvcvideoIoctl& ioctl_;
    std::vector<Part> parts_;
};

UsbStatus queryExtensionUnit(std::uint8_t unit, std::uint8_t selector, const UsbSetupPacket& setup, std::uint8_t* data,
                             const UvcvideoIoctl& ioctl)
{
    uvc_xu_control_query query{};
    query.unit = unit;
    query.selector = selector;
    query.query = setup.bRequest;
    query.size = setup.wLength;
    query.data = data;
    const int error = ioctl(UVCIOC_CTRL_QUERY, &query);
    return error ? usbStatusOfErrno(error) : kUsbSuccess;
}

}  // namespace

const UvcStandardControl* uvcStandardControl(UvcEntityKind kind, std::uint8_t selector)
{
    const auto* found = std::find_if(std::begin(kControls), std::end(kControls), [&](const UvcStandardControl& control) {
        return control.kind == kind && control.selector == selector;
    });
    return found == std::end(kControls) ? nullptr : found;
}

UsbStatus usbStatusOfErrno(int error)
{
    switch (error) {
    case 0:
        return kUsbSuccess;
    case ENODEV:
        return kUsbNoDevice;
    // uvcvideo's answers for a request the camera or the driver refused: an unknown
    // control or unit (EINVAL, ENOENT), a value out of range (ERANGE), a stall the camera
    // gave no reason for (EPIPE), a request the control does not support (EBADRQC), a
    // length other than the control's (ENOBUFS), a control disabled by an automatic mode
    // or read- or write-only (EACCES), a camera not ready (EBUSY).
    case EINVAL:
    case ENOENT:
    case ERANGE:
    case EPIPE:
    case EBADRQC:
    case ENOBUFS:
    case EACCES:
    case EBUSY:
        return kUsbPipeStalled;
    default:
        // EIO among them: the camera called the request invalid, or the transfer failed.
        return kUsbError;
    }
}

UsbStatus answerUvcRequest(const UvcControlInterface& controls, const UsbSetupPacket& setup, std::uint8_t* data,
                           const UvcvideoIoctl& ioctl)
{
    if (setup.wLength > 0 && !data)
        return kUsbError;
    const bool isSet = setup.bRequest == UVC_SET_CUR;
    if (!isClassRequest(setup.bRequest) || setup.bmRequestType != (isSet ? kSetRequestType : kGetRequestType))
        return kUsbPipeStalled;
    // A control is addressed as a whole (low byte of wValue 0) on this very interface.
    if ((setup.wValue & 0xFF) != 0 || (setup.wIndex & 0xFF) != controls.interfaceNumber)
        return kUsbPipeStalled;
    const auto unit = static_cast<std::uint8_t>(setup.wIndex >> 8);
    const auto selector = static_cast<std::uint8_t>(setup.wValue >> 8);
    const std::optional<UvcEntityKind> kind = controls.kindOf(unit);
    if (!kind)
        return kUsbPipeStalled;
    if (*kind == UvcEntityKind::ExtensionUnit)
        return queryExtensionUnit(unit, selector, setup, data, ioctl);
    // Other entities have no controls in the table.
    const UvcStandardControl* control = uvcStandardControl(*kind, selector);
    if (!control)
        return kUsbPipeStalled;
    return StandardRequest(*control, setup, data, ioctl).answer();
}

}  // namespace uvccam::platform
