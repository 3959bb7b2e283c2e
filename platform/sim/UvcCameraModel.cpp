// A simulated camera's video-control interface (control values, requests, stalls, serial) and its video.
#include "platform/sim/UvcCameraModel.h"

#include "platform/sim/PixelBufferSim.h"

#include <algorithm>
#include <cstring>

namespace uvccam::platform {

namespace {

constexpr std::uint8_t kClassSetRequestType = 0x21;   // host to device, class, interface
constexpr std::uint8_t kClassGetRequestType = 0xA1;   // device to host, class, interface
constexpr std::uint8_t kStandardGetDeviceType = 0x80; // device to host, standard, device
constexpr std::uint8_t kGetDescriptor = 0x06;
constexpr std::uint8_t kStringDescriptorType = 0x03;
constexpr std::uint8_t kSerialStringIndex = 3;
constexpr std::uint16_t kLanguageEnglishUs = 0x0409;
constexpr std::uint8_t kInfoSupportsGetAndSet = 0x03;

using Control = UvcCameraModel::Control;
using ClassControl = UvcCameraModel::ClassControl;

constexpr int kCameraTerminal = 1;
constexpr int kExposureModeSelector = 2;  // the class's automatic-exposure mode
constexpr int kPanSelector = 14;
constexpr int kTiltSelector = 15;

// The class's controls, each declared where the camera has the maker's control behind it
// (automatic focus on the RX710 only). Where the class's selector or length differs from the
// maker's, the camera answers both over one value.
const ClassControl kClassControls[] = {
    {true, kExposureModeSelector, 1, 1, 3},  // the maker's exposure mode, a bitmap of modes
    {true, 4, 3, 4, 4},                      // exposure time
    {true, 6, 5, 2, 6},                      // focus
    {true, 8, 17, 1, 8},                     // automatic focus
    {true, 11, 9, 2, 11},                    // zoom
    {true, 13, 11, 8, UvcCameraModel::kPanTilt},  // pan and tilt, the maker's selectors 14 and 15
    {false, 1, 8, 2, 1},    // backlight compensation
    {false, 2, 0, 2, 2},    // brightness
    {false, 3, 1, 2, 3},    // contrast
    {false, 5, 10, 1, 5},   // power-line frequency
    {false, 7, 3, 2, 7},    // saturation
    {false, 8, 4, 2, 8},    // sharpness
    {false, 10, 6, 2, 10},  // white-balance temperature
    {false, 11, 12, 1, 11}, // automatic white balance
};

Control unsignedControl(int length, std::int64_t minimum, std::int64_t maximum, std::int64_t defaultValue)
{
    return Control{length, false, minimum, maximum, defaultValue, defaultValue};
}

Control signedControl(int length, std::int64_t minimum, std::int64_t maximum, std::int64_t defaultValue)
{
    return Control{length, true, minimum, maximum, defaultValue, defaultValue};
}

std::int64_t decode(const std::uint8_t* bytes, int length, bool isSigned)
{
    std::uint64_t value = 0;
    for (int i = std::min(length, 8) - 1; i >= 0; --i)
        value = (value << 8) | bytes[i];
    if (isSigned && length < 8 && (bytes[length - 1] & 0x80))
        value |= ~std::uint64_t(0) << (8 * length);
    return static_cast<std::int64_t>(value);
}

void encode(std::int64_t value, int length, std::uint8_t* bytes)
{
    const auto bits = static_cast<std::uint64_t>(value);
    for (int i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(i < 8 ? (bits >> (8 * i)) & 0xFF : (value < 0 ? 0xFF : 0));
}

bool declares(const UvcCameraModel& camera, int unit, const ClassControl& c)
{
    if (c.cameraTerminal != (unit == kCameraTerminal) || (unit != kCameraTerminal && unit != camera.processingUnit()))
        return false;
    return c.makerSelector == UvcCameraModel::kPanTilt
        ? camera.control(unit, kPanSelector) && camera.control(unit, kTiltSelector)
        : camera.control(unit, c.makerSelector) != nullptr;
}

// Writes a value over the start of a stored property, keeping any longer tail.
void overwrite(QByteArray& stored, const char* data, int length)
{
    if (stored.size() < length)
        stored.resize(length);
    std::memcpy(stored.data(), data, static_cast<std::size_t>(length));
}

}  // namespace

UvcCameraModel::UvcCameraModel(bool rx710Layout, QString serialNumber)
    : processingUnit_(rx710Layout ? 2 : 3), serialNumber_(std::move(serialNumber))
{
    const int pu = processingUnit_;
    // Camera terminal. Lengths are those of the maker's firmware, not always the class's.
    controls_[{1, 3}] = unsignedControl(4, 1, 8, 8);          // exposure mode
    controls_[{1, 4}] = unsignedControl(4, 1, 5000, 156);     // exposure time
    controls_[{1, 6}] = unsignedControl(rx710Layout ? 2 : 8, 0, 1023, 0);  // focus
    if (rx710Layout)
        controls_[{1, 8}] = unsignedControl(1, 0, 1, 1);      // automatic focus
    controls_[{1, 11}] = unsignedControl(4, 100, 500, 100);   // zoom
    controls_[{1, 14}] = signedControl(4, -36000, 36000, 0);  // pan
    controls_[{1, 15}] = signedControl(4, -36000, 36000, 0);  // tilt
    // Processing unit.
    controls_[{pu, 1}] = unsignedControl(4, 0, 2, 1);         // backlight compensation
    // Brightness: 0 to 255 on the RX710's unit 2, signed on unit 3 (where the library
    // applies the sign rule).
    controls_[{pu, 2}] = rx710Layout ? unsignedControl(2, 0, 255, 128) : signedControl(2, -127, 127, 0);
    controls_[{pu, 3}] = unsignedControl(2, 0, 100, 50);      // contrast
    controls_[{pu, 5}] = unsignedControl(2, 0, 2, 1);         // power-line frequency
    controls_[{pu, 7}] = unsignedControl(2, 0, 100, 64);      // saturation
    controls_[{pu, 8}] = unsignedControl(2, 0, 7, 3);         // sharpness
    controls_[{pu, 10}] = unsignedControl(4, 2800, 6500, 4600);  // white balance temperature
    controls_[{pu, 11}] = unsignedControl(4, 0, 1, 1);        // automatic white balance
    videoModes_.push_back(VideoMode{kFourccUyvy, 640, 360, 333333});  // 30 frames a second
}

UvcCameraModel::~UvcCameraModel() = default;

void UvcCameraModel::startVideo(const VideoMode& mode)
{
    streaming_ = true;
    streamMode_ = mode;
    nextFrame_ = 0;
    ++videoStreams_;
    // The test frame's rows differ only in the first, which carries the counter: two rows
    // drawn make a whole frame, far sooner than drawing every row at 30 frames a second.
    if (!canvas_ || canvas_->width() != static_cast<std::size_t>(mode.width))
        canvas_ = std::make_unique<PixelBufferSim>(mode.width, 2);
}

void UvcCameraModel::stopVideo()
{
    streaming_ = false;
}

std::optional<std::uint32_t> UvcCameraModel::sendFrame(std::uint8_t* into)
{
    if (!streaming_ || !into)
        return std::nullopt;
    const std::uint32_t number = nextFrame_++;
    canvas_->drawTestFrame(number);
    // The simulator's buffer pads its rows; on the wire they follow each other.
    const auto line = static_cast<std::size_t>(streamMode_.bytesPerLine());
    for (int row = 0; row < streamMode_.height; ++row)
        std::memcpy(into + row * line, canvas_->pixels() + (row == 0 ? 0 : canvas_->bytesPerRow()), line);
    ++framesSent_;
    return number;
}

UvcCameraModel::Control* UvcCameraModel::control(int unit, int selector)
{
    auto found = controls_.find({unit, selector});
    return found == controls_.end() ? nullptr : &found->second;
}

const UvcCameraModel::Control* UvcCameraModel::control(int unit, int selector) const
{
    auto found = controls_.find({unit, selector});
    return found == controls_.end() ? nullptr : &found->second;
}

std::vector<ClassControl> UvcCameraModel::classControls(int unit) const
{
    std::vector<ClassControl> declared;
    for (const ClassControl& c : kClassControls) {
        if (declares(*this, unit, c))
            declared.push_back(c);
    }
    return declared;
}

const ClassControl* UvcCameraModel::classControl(int unit, int selector) const
{
    for (const ClassControl& c : kClassControls) {
        if (c.selector == selector && declares(*this, unit, c))
            return &c;
    }
    return nullptr;
}

QByteArray UvcCameraModel::extensionBytes(int unit, int selector, int length) const
{
    QByteArray bytes(length, '\0');
    auto found = extensionProperties_.find({unit, selector});
    if (found != extensionProperties_.end())
        std::memcpy(bytes.data(), found->second.constData(), std::min<std::size_t>(length, found->second.size()));
    return bytes;
}

void UvcCameraModel::applyDeferredProperties()
{
    for (const auto& [key, bytes] : pendingProperties_)
        overwrite(extensionProperties_[key], bytes.constData(), bytes.size());
    pendingProperties_.clear();
}

UsbStatus UvcCameraModel::controlRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred)
{
    auto* bytes = static_cast<std::uint8_t*>(data);
    const bool isSet = setup.bmRequestType == kClassSetRequestType;
    Request record{setup, {}, kUsbSuccess};
    if (isSet && bytes)
        record.data = QByteArray(reinterpret_cast<const char*>(bytes), setup.wLength);

    UsbStatus status = kUsbPipeStalled;
    if (stallCount_ > 0)
        --stallCount_;
    else
        status = answer(setup, bytes);

    if (!isSet && status == kUsbSuccess && bytes)
        record.data = QByteArray(reinterpret_cast<const char*>(bytes), setup.wLength);
    record.status = status;
    requests_.push_back(record);
    if (transferred)
        *transferred = status == kUsbSuccess ? setup.wLength : 0;
    return status;
}

UsbStatus UvcCameraModel::answer(const UsbSetupPacket& setup, std::uint8_t* data)
{
    const int unit = setup.wIndex >> 8;
    const int selector = setup.wValue >> 8;
    // Only the video-control interface (0) and whole-selector addressing exist.
    if ((setup.wIndex & 0xFF) != 0 || (setup.wValue & 0xFF) != 0)
        return kUsbPipeStalled;
    const bool isSet = setup.bRequest == SET_CUR;
    if (setup.bmRequestType != (isSet ? kClassSetRequestType : kClassGetRequestType))
        return kUsbPipeStalled;
    if (setup.wLength > 0 && !data)
        return kUsbPipeStalled;

    if (unit >= kFirstExtensionUnit && unit <= kLastExtensionUnit)
        return answerExtensionUnit(setup, unit, selector, data);

    Control* target = control(unit, selector);
    const ClassControl* declared = classControl(unit, selector);
    if (!target && !declared)
        return kUsbPipeStalled;
    if (auto answered = answerInfoOrLength(setup, target ? target->length : declared->length, data))
        return *answered;
    if (declared && setup.wLength == declared->length)
        return answerClassControl(*declared, unit, setup, data);
    if (!target)
        return kUsbPipeStalled;
    // The maker's firmware answers a limit or default asked with fewer bytes than the
    // control has (its own range table does so) with the value's low bytes; the current
    // value must be asked and set with its exact length.
    const bool isLimit = setup.bRequest == GET_MIN || setup.bRequest == GET_MAX || setup.bRequest == GET_DEF
        || setup.bRequest == GET_RES;
    if (isLimit && setup.wLength >= 1 && setup.wLength < target->length) {
        std::uint8_t whole[8] = {};
        const std::int64_t value = setup.bRequest == GET_MIN ? target->minimum
            : setup.bRequest == GET_MAX                       ? target->maximum
            : setup.bRequest == GET_DEF                       ? target->defaultValue
                                                              : 1;
        encode(value, std::min(target->length, 8), whole);
        std::memcpy(data, whole, setup.wLength);
        return kUsbSuccess;
    }
    if (setup.wLength != target->length)
        return kUsbPipeStalled;

    switch (setup.bRequest) {
    case SET_CUR: {
        const std::int64_t value = decode(data, target->length, target->isSigned);
        if (value < target->minimum || value > target->maximum)
            return kUsbPipeStalled;
        target->current = value;
        return kUsbSuccess;
    }
    case GET_CUR: encode(target->current, target->length, data); return kUsbSuccess;
    case GET_MIN: encode(target->minimum, target->length, data); return kUsbSuccess;
    case GET_MAX: encode(target->maximum, target->length, data); return kUsbSuccess;
    case GET_DEF: encode(target->defaultValue, target->length, data); return kUsbSuccess;
    case GET_RES: encode(1, target->length, data); return kUsbSuccess;
    default: return kUsbPipeStalled;
    }
}

UsbStatus UvcCameraModel::answerClassControl(const ClassControl& declared, int unit, const UsbSetupPacket& setup,
                                             std::uint8_t* data)
{
    const bool panTilt = declared.makerSelector == kPanTilt;
    const std::vector<Control*> parts = panTilt ? std::vector<Control*>{control(unit, kPanSelector), control(unit, kTiltSelector)}
                                                : std::vector<Control*>{control(unit, declared.makerSelector)};
    const int width = declared.length / static_cast<int>(parts.size());
    const bool modes = declared.cameraTerminal && declared.selector == kExposureModeSelector;
    if (setup.bRequest == SET_CUR) {
        std::vector<std::int64_t> values;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const std::int64_t value = decode(data + i * width, width, parts[i]->isSigned);
            // A mode is one bit, of a mode the camera offers.
            const bool valid = modes ? value > 0 && (value & (value - 1)) == 0 && (value & kExposureModes)
                                     : value >= parts[i]->minimum && value <= parts[i]->maximum;
            if (!valid)
                return kUsbPipeStalled;
            values.push_back(value);
        }
        for (std::size_t i = 0; i < parts.size(); ++i)
            parts[i]->current = values[i];
        return kUsbSuccess;
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const Control& part = *parts[i];
        std::int64_t value = 0;
        switch (setup.bRequest) {
        case GET_CUR: value = part.current; break;
        case GET_MIN: value = part.minimum; break;
        case GET_MAX: value = part.maximum; break;
        case GET_DEF: value = part.defaultValue; break;
        case GET_RES: value = modes ? kExposureModes : 1; break;
        default: return kUsbPipeStalled;
        }
        encode(value, width, data + i * width);
    }
    return kUsbSuccess;
}

std::optional<UsbStatus> UvcCameraModel::answerInfoOrLength(const UsbSetupPacket& setup, int length, std::uint8_t* data)
{
    // Every control, standard or vendor, says it can be read and set, and how long it is.
    if (setup.bRequest == GET_INFO) {
        if (setup.wLength != 1)
            return kUsbPipeStalled;
        data[0] = kInfoSupportsGetAndSet;
        return kUsbSuccess;
    }
    if (setup.bRequest == GET_LEN) {
        if (setup.wLength != 2)
            return kUsbPipeStalled;
        encode(length, 2, data);
        return kUsbSuccess;
    }
    return std::nullopt;
}

UsbStatus UvcCameraModel::answerExtensionUnit(const UsbSetupPacket& setup, int unit, int selector, std::uint8_t* data)
{
    // Every extension unit offers selectors 1 to 16 as properties of up to 64 bytes.
    if (selector < 1 || selector > kExtensionSelectors)
        return kUsbPipeStalled;
    const auto length = extensionLengths_.find({unit, selector});
    if (auto answered = answerInfoOrLength(setup, length == extensionLengths_.end() ? kExtensionMaxLength : length->second, data))
        return *answered;
    if (setup.wLength < 1 || setup.wLength > kExtensionMaxLength)
        return kUsbPipeStalled;

    switch (setup.bRequest) {
    case SET_CUR: {
        auto& target = deferred_.count({unit, selector}) ? pendingProperties_ : extensionProperties_;
        overwrite(target[{unit, selector}], reinterpret_cast<const char*>(data), setup.wLength);
        return kUsbSuccess;
    }
    case GET_CUR: {
        const QByteArray bytes = extensionBytes(unit, selector, setup.wLength);
        std::memcpy(data, bytes.constData(), setup.wLength);
        return kUsbSuccess;
    }
    case GET_MIN:
    case GET_DEF:
    case GET_RES: std::memset(data, 0, setup.wLength); return kUsbSuccess;
    case GET_MAX: std::memset(data, 0xFF, setup.wLength); return kUsbSuccess;
    default: return kUsbPipeStalled;
    }
}

QByteArray UvcCameraModel::serialDescriptor() const
{
    if (serialDescriptor_)
        return *serialDescriptor_;
    QByteArray descriptor;
    descriptor.append(char(0));
    descriptor.append(char(kStringDescriptorType));
    for (QChar c : serialNumber_) {
        descriptor.append(char(c.unicode() & 0xFF));
        descriptor.append(char(c.unicode() >> 8));
    }
    descriptor[0] = char(descriptor.size());
    return descriptor;
}

UsbStatus UvcCameraModel::serialNumberStringIndex(std::uint8_t* index) const
{
    if (serialIndexFails_)
        return kUsbError;
    if (index)
        *index = kSerialStringIndex;
    return kUsbSuccess;
}

UsbStatus UvcCameraModel::deviceRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred)
{
    Request record{setup, {}, kUsbPipeStalled};
    std::uint32_t count = 0;
    const bool isSerialRequest = setup.bmRequestType == kStandardGetDeviceType && setup.bRequest == kGetDescriptor
        && setup.wValue == ((kStringDescriptorType << 8) | kSerialStringIndex) && setup.wIndex == kLanguageEnglishUs;
    if (isSerialRequest && !serialRequestFails_ && data) {
        const QByteArray descriptor = serialDescriptor();
        count = std::min<std::uint32_t>(setup.wLength, static_cast<std::uint32_t>(descriptor.size()));
        std::memcpy(data, descriptor.constData(), count);
        record.data = descriptor.left(static_cast<int>(count));
        record.status = kUsbSuccess;
    }
    requests_.push_back(record);
    if (transferred)
        *transferred = count;
    return record.status;
}

}  // namespace uvccam::platform
