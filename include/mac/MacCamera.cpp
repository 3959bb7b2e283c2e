// A capture device as the library sees a camera: IDs parsed once, control map chosen once.
#include "mac/MacCamera.h"

#include "mac/ModelTable.h"
#include "mac/TextNumbers.h"
#include "platform/Platform.h"

#include <QStringList>

#include <limits>

using namespace uvccam::platform;

const UVCCameraControls uvc_controls_rx710 = {
    {1, 4, 4},   // exposure
    {2, 2, 2},   // brightness
    {2, 3, 2},   // contrast
    {2, 3, 2},   // saturation: the RX710 answers on the contrast selector
    {2, 8, 2},   // sharpness
    {2, 10, 4},  // white balance
    {2, 11, 4},  // automatic white balance
    {1, 6, 2},   // absolute focus
    {1, 8, 1},   // automatic focus
    {1, 14, 4},  // pan
    {1, 15, 4},  // tilt
    {1, 11, 4},  // zoom
    {2, 5, 2},   // power-line frequency
    {2, 1, 4},   // backlight compensation
};

const UVCCameraControls uvc_controls = {
    {1, 4, 4},   // exposure
    {3, 2, 2},   // brightness
    {3, 3, 2},   // contrast
    {3, 7, 2},   // saturation
    {3, 8, 2},   // sharpness
    {3, 10, 4},  // white balance
    {3, 11, 4},  // automatic white balance
    {1, 6, 8},   // absolute focus
    {0, 0, 0},   // automatic focus: these cameras offer none
    {1, 14, 4},  // pan
    {9, 1, 4},   // tilt: an extension unit carries it
    {1, 11, 4},  // zoom
    {3, 5, 2},   // power-line frequency
    {3, 1, 4},   // backlight compensation
};

namespace {

const QString kUvcModelIdPrefix = QStringLiteral("UVC Camera VendorID_");

// Word `word` of the model ID, piece 1 after its "_"; "0" when either is missing.
QString modelIdField(const QStringList& words, int word)
{
    if (word >= words.size())
        return QStringLiteral("0");
    const QStringList pieces = words[word].split(QLatin1Char('_'));
    return pieces.size() > 1 ? pieces[1] : QStringLiteral("0");
}

// A USB ID written either as "0x" and hex digits or as a signed decimal number.
std::uint32_t usbIdFromText(const QString& text)
{
    if (text.startsWith(QLatin1String("0x")))
        return TextNumbers::hexUInt32(text);
    return static_cast<std::uint32_t>(TextNumbers::decimalInt32(text));
}

}  // namespace

std::shared_ptr<MacCamera> MacCamera::initWithCaptureDevice(const CaptureDevicePtr& device)
{
    if (!device)
        return nullptr;

    QString vendorText = QStringLiteral("0");
    QString productText = QStringLiteral("0");
    const QString modelID = device->modelID();
    if (modelID.startsWith(kUvcModelIdPrefix)) {
        const QStringList words = modelID.split(QLatin1Char(' '));
        vendorText = modelIdField(words, 2);
        productText = modelIdField(words, 3);
    }

    // The unique ID is "0x", the location ID, then the vendor and product IDs: the maker's
    // vendor hex marks where the location ends.
    const QString uniqueID = device->uniqueID();
    const int vendorAt = uniqueID.indexOf(ModelTable::makerVendorHex());
    const QString locationText = vendorAt < 0 ? uniqueID : uniqueID.left(vendorAt);

    std::shared_ptr<MacCamera> camera(new MacCamera());
    camera->_locationId = TextNumbers::hexUInt32(locationText);
    if (!camera->initWithLocationID(camera->_locationId))
        return nullptr;
    camera->_vendorId = usbIdFromText(vendorText);
    camera->_productId = usbIdFromText(productText);
    camera->captureDevice_ = device;
    camera->_deviceName = device->localizedName();
    camera->_deviceUniqueID = uniqueID;
    camera->dev_uvc_controls = camera->_productId == kRx710ProductId ? uvc_controls_rx710 : uvc_controls;
    return camera;
}

MacCamera::~MacCamera() = default;

CaptureSessionPtr MacCamera::createCaptureSession()
{
    auto& capture = Platform::current().capture();
    auto session = capture.createSession();
    // A platform without video capture yet makes no session: the camera then streams nothing.
    if (!session)
        return nullptr;
    session->setSessionPreset(SessionPreset::Photo);
    // A device that cannot be opened gives no input; the session then cannot take it.
    auto input = capture.deviceInputWithDevice(captureDevice_);
    if (!input || !session->canAddInput(input))
        return nullptr;
    session->addInput(input);
    return session;
}

void MacCamera::captureOutput(VideoDataOutput&, const PixelBufferPtr& didOutputSampleBuffer)
{
    if (!didOutputSampleBuffer)
        return;
    _pixelBuffer = didOutputSampleBuffer;
    PixelBuffer& buffer = *didOutputSampleBuffer;
    buffer.lockBaseAddress();
    unsigned char* base = buffer.baseAddress();
    const std::uint64_t bytesPerRow = buffer.bytesPerRow();
    const std::uint64_t width = buffer.width();
    const std::uint64_t height = buffer.height();
    const std::uint64_t size = bytesPerRow * height;
    constexpr std::uint64_t kLargest = std::numeric_limits<std::int32_t>::max();
    const bool describable = base && width <= kLargest && height <= kLargest && bytesPerRow <= kLargest && size <= kLargest;
    if (_videoCallback && describable) {
        // In place: the host must not keep the pointer past the call.
        _videoCallback(base, static_cast<int>(width), static_cast<int>(height), static_cast<int>(size));
    }
    buffer.unlockBaseAddress();
}

bool MacCamera::isConnected() const
{
    return captureDevice_ && captureDevice_->isConnected();
}

std::int32_t MacCamera::getInteger(const UVCControlInfo& control)
{
    return isConnected() ? getValueForControl(&control) : kNotConnected;
}

bool MacCamera::setInteger(std::int32_t value, const UVCControlInfo& control)
{
    return isConnected() && setValue(value, &control);
}

std::int32_t MacCamera::getContrast() { return getInteger(dev_uvc_controls.contrast); }
bool MacCamera::setContrast(std::int32_t value) { return setInteger(value, dev_uvc_controls.contrast); }
std::int32_t MacCamera::getBrightness() { return getInteger(dev_uvc_controls.brightness); }
bool MacCamera::setBrightness(std::int32_t value) { return setInteger(value, dev_uvc_controls.brightness); }
std::int32_t MacCamera::getSharpness() { return getInteger(dev_uvc_controls.sharpness); }
bool MacCamera::setSharpness(std::int32_t value) { return setInteger(value, dev_uvc_controls.sharpness); }
std::int32_t MacCamera::getSaturation() { return getInteger(dev_uvc_controls.saturation); }
bool MacCamera::setSaturation(std::int32_t value) { return setInteger(value, dev_uvc_controls.saturation); }
std::int32_t MacCamera::getBackLightCompensation() { return getInteger(dev_uvc_controls.backLightCompensation); }
bool MacCamera::setBackLightCompensation(std::int32_t value)
{
    return setInteger(value, dev_uvc_controls.backLightCompensation);
}
std::int32_t MacCamera::getWhiteBalance() { return getInteger(dev_uvc_controls.whiteBalance); }
bool MacCamera::setWhiteBalance(std::int32_t value) { return setInteger(value, dev_uvc_controls.whiteBalance); }
std::int32_t MacCamera::getPan() { return getInteger(dev_uvc_controls.pan); }
bool MacCamera::setPan(std::int32_t value) { return setInteger(value, dev_uvc_controls.pan); }
std::int32_t MacCamera::getTilt() { return getInteger(dev_uvc_controls.tilt); }
bool MacCamera::setTilt(std::int32_t value) { return setInteger(value, dev_uvc_controls.tilt); }
std::int32_t MacCamera::getZoom() { return getInteger(dev_uvc_controls.zoom); }
bool MacCamera::setZoom(std::int32_t value) { return setInteger(value, dev_uvc_controls.zoom); }
std::int32_t MacCamera::getAbsoluteFocus() { return getInteger(dev_uvc_controls.absoluteFocus); }
bool MacCamera::setAbsoluteFocus(std::int32_t value) { return setInteger(value, dev_uvc_controls.absoluteFocus); }
std::int32_t MacCamera::getExposure() { return getInteger(dev_uvc_controls.exposure); }
bool MacCamera::setExposure(std::int32_t value) { return setInteger(value, dev_uvc_controls.exposure); }
std::int32_t MacCamera::getPowerLineFrequency() { return getInteger(dev_uvc_controls.powerLineFrequency); }
bool MacCamera::setPowerLineFrequency(std::int32_t value)
{
    return setInteger(value, dev_uvc_controls.powerLineFrequency);
}

bool MacCamera::getAutoWhiteBalance()
{
    // A mode flag: any non-zero answer means on, whatever the control's width.
    const UVCControlInfo& control = dev_uvc_controls.autoWhiteBalance;
    return isConnected() && getDataFor(UVC_GET_CUR, control.size, control.selector, control.unit) != 0;
}

bool MacCamera::setAutoWhiteBalance(std::uint8_t flag)
{
    const UVCControlInfo& control = dev_uvc_controls.autoWhiteBalance;
    return isConnected() && setData(flag != 0 ? 1 : 0, control.size, control.selector, control.unit);
}

bool MacCamera::getAutoFocus()
{
    const UVCControlInfo& control = dev_uvc_controls.autoFocus;
    return isConnected() && getDataFor(UVC_GET_CUR, control.size, control.selector, control.unit) != 0;
}

bool MacCamera::setAutoFocus(std::uint8_t flag)
{
    // The flag byte is taken as signed, so 0x80 and above go out negative, sign-filled to
    // the entry's width; spelled out rather than cast, as that conversion is the point.
    const std::int32_t value = flag >= 0x80 ? std::int32_t(flag) - 0x100 : std::int32_t(flag);
    return setInteger(value, dev_uvc_controls.autoFocus);
}

namespace {

// Integer accessors by property number; the yes/no properties have none here.
struct IntegerAccessors {
    std::int32_t (MacCamera::*get)();
    bool (MacCamera::*set)(std::int32_t);
};

constexpr int kAutoWhiteBalanceNumber = 6;
constexpr int kAutoFocusNumber = 11;

constexpr IntegerAccessors kIntegerAccessors[] = {
    {&MacCamera::getContrast, &MacCamera::setContrast},
    {&MacCamera::getBrightness, &MacCamera::setBrightness},
    {&MacCamera::getSharpness, &MacCamera::setSharpness},
    {&MacCamera::getSaturation, &MacCamera::setSaturation},
    {&MacCamera::getBackLightCompensation, &MacCamera::setBackLightCompensation},
    {&MacCamera::getWhiteBalance, &MacCamera::setWhiteBalance},
    {nullptr, nullptr},  // 6: automatic white balance
    {&MacCamera::getPan, &MacCamera::setPan},
    {&MacCamera::getTilt, &MacCamera::setTilt},
    {&MacCamera::getZoom, &MacCamera::setZoom},
    {&MacCamera::getAbsoluteFocus, &MacCamera::setAbsoluteFocus},
    {nullptr, nullptr},  // 11: automatic focus
    {&MacCamera::getExposure, &MacCamera::setExposure},
    {&MacCamera::getPowerLineFrequency, &MacCamera::setPowerLineFrequency},
};

constexpr int kPropertyCount = static_cast<int>(sizeof kIntegerAccessors / sizeof kIntegerAccessors[0]);
static_assert(kPropertyCount == 14, "one row per property number");

bool isPropertyNumber(int number)
{
    return number >= 0 && number < kPropertyCount;
}

}  // namespace

bool MacCamera::getPropertyByNumber(int number, std::int32_t* value)
{
    if (!value || !isPropertyNumber(number))
        return false;
    if (number == kAutoWhiteBalanceNumber)
        *value = getAutoWhiteBalance() ? 1 : 0;
    else if (number == kAutoFocusNumber)
        *value = getAutoFocus() ? 1 : 0;
    else {
        const auto get = kIntegerAccessors[number].get;
        *value = (this->*get)();
    }
    return true;
}

bool MacCamera::setPropertyByNumber(int number, std::int32_t value)
{
    if (!isPropertyNumber(number))
        return false;
    // The flag is the value's low byte: 256 turns the mode off.
    const auto flag = static_cast<std::uint8_t>(value & 0xFF);
    if (number == kAutoWhiteBalanceNumber)
        return setAutoWhiteBalance(flag);
    if (number == kAutoFocusNumber)
        return setAutoFocus(flag);
    const auto set = kIntegerAccessors[number].set;
    return (this->*set)(value);
}
