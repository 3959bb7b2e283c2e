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
    session->setSessionPreset(SessionPreset::Photo);
    // A device that cannot be opened gives no input; the session then cannot take it.
    auto input = capture.deviceInputWithDevice(captureDevice_);
    if (!session->canAddInput(input))
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
