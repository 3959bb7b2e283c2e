// Linux's uvcvideo driver played for one emulated camera: its descriptors, its binding and the ioctls of its nodes.
// GLib names a struct member `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "support/EmulatedUvcDriver.h"

#include <umockdev.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <tuple>

#include <linux/hid.h>
#include <linux/usb/ch9.h>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <linux/videodev2.h>

namespace uvccam::testing {

using platform::UsbSetupPacket;
using platform::UvcCameraModel;

namespace {

constexpr int kVideoControlInterface = 0;
constexpr int kVideoStreamingInterface = 1;
constexpr int kHidInterface = 4;
constexpr int kOutputTerminal = 10;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int value : values)
        out.append(static_cast<char>(value));
    return out;
}

QByteArray littleEndian(std::uint64_t value, int length)
{
    QByteArray out;
    for (int i = 0; i < length; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

}  // namespace

QByteArray cameraUsbDescriptors(const UvcCameraModel& camera, std::uint16_t vendorId, std::uint16_t productId, bool hid)
{
    const auto declared = [&camera](int unit) {
        std::uint64_t bits = 0;
        for (const UvcCameraModel::ClassControl& control : camera.classControls(unit))
            bits |= std::uint64_t(1) << control.bit;
        return bits;
    };
    const int pu = camera.processingUnit();
    QByteArray units = bytes({18, USB_DT_CS_INTERFACE, UVC_VC_INPUT_TERMINAL, 1}) + littleEndian(UVC_ITT_CAMERA, 2)
        + bytes({0, 0}) + littleEndian(0, 6) + bytes({3}) + littleEndian(declared(1), 3);
    units += bytes({12, USB_DT_CS_INTERFACE, UVC_VC_PROCESSING_UNIT, pu, 1}) + littleEndian(0, 2) + bytes({2})
        + littleEndian(declared(pu), 2) + bytes({0, 0});
    int source = pu;
    for (int unit = UvcCameraModel::kFirstExtensionUnit; unit <= UvcCameraModel::kLastExtensionUnit; ++unit) {
        // The maker's GUIDs, told apart by the unit's number.
        const QByteArray guid = QByteArray::fromHex("3b2a5e8c471d4b2e9a6f0e2a3b0000") + bytes({unit});
        units += bytes({27, USB_DT_CS_INTERFACE, UVC_VC_EXTENSION_UNIT, unit}) + guid
            + bytes({UvcCameraModel::kExtensionSelectors, 1, source, 2}) + littleEndian(0xFFFF, 2) + bytes({0});
        source = unit;
    }
    units += bytes({9, USB_DT_CS_INTERFACE, UVC_VC_OUTPUT_TERMINAL, kOutputTerminal}) + littleEndian(UVC_TT_STREAMING, 2)
        + bytes({0, source, 0});
    QByteArray body = bytes({8, USB_DT_INTERFACE_ASSOCIATION, kVideoControlInterface, 2, USB_CLASS_VIDEO,
                             UVC_SC_VIDEO_INTERFACE_COLLECTION, 0, 2});
    body += bytes({9, USB_DT_INTERFACE, kVideoControlInterface, 0, 0, USB_CLASS_VIDEO, UVC_SC_VIDEOCONTROL, 0, 0})
        + bytes({13, USB_DT_CS_INTERFACE, UVC_VC_HEADER}) + littleEndian(0x0110, 2) + littleEndian(13 + units.size(), 2)
        + littleEndian(48000000, 4) + bytes({1, kVideoStreamingInterface}) + units;

    // The video-streaming interface: an uncompressed format for each FourCC the camera
    // streams, a frame for each of its sizes, each frame with its discrete intervals.
    struct FrameSize {
        int width;
        int height;
        std::vector<std::uint32_t> intervals;
    };
    std::vector<std::pair<std::uint32_t, std::vector<FrameSize>>> formats;
    for (const UvcCameraModel::VideoMode& mode : camera.videoModes()) {
        auto format = std::find_if(formats.begin(), formats.end(), [&](const auto& f) { return f.first == mode.fourcc; });
        if (format == formats.end())
            format = formats.insert(formats.end(), {mode.fourcc, {}});
        auto size = std::find_if(format->second.begin(), format->second.end(), [&](const FrameSize& f) {
            return f.width == mode.width && f.height == mode.height;
        });
        if (size == format->second.end())
            size = format->second.insert(format->second.end(), FrameSize{mode.width, mode.height, {}});
        size->intervals.push_back(mode.frameInterval);
    }
    QByteArray streaming;
    for (std::size_t f = 0; f < formats.size(); ++f) {
        const auto& [fourcc, sizes] = formats[f];
        // The class's GUIDs for uncompressed formats: the FourCC, then a fixed tail.
        const QByteArray guid = littleEndian(fourcc, 4) + QByteArray::fromHex("000010008000" "00aa00389b71");
        streaming += bytes({27, USB_DT_CS_INTERFACE, UVC_VS_FORMAT_UNCOMPRESSED, static_cast<int>(f + 1),
                            static_cast<int>(sizes.size())})
            + guid + bytes({16, 1, 0, 0, 0, 0});
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const FrameSize& size = sizes[i];
            const std::uint64_t frameBytes = std::uint64_t(size.width) * size.height * 2;
            const auto [fastest, slowest] = std::minmax_element(size.intervals.begin(), size.intervals.end());
            const auto bitRate = [frameBytes](std::uint32_t interval) { return frameBytes * 8 * 10000000 / interval; };
            streaming += bytes({26 + 4 * static_cast<int>(size.intervals.size()), USB_DT_CS_INTERFACE,
                                UVC_VS_FRAME_UNCOMPRESSED, static_cast<int>(i + 1), 0})
                + littleEndian(size.width, 2) + littleEndian(size.height, 2) + littleEndian(bitRate(*slowest), 4)
                + littleEndian(bitRate(*fastest), 4) + littleEndian(frameBytes, 4) + littleEndian(size.intervals.front(), 4)
                + bytes({static_cast<int>(size.intervals.size())});
            for (std::uint32_t interval : size.intervals)
                streaming += littleEndian(interval, 4);
        }
    }
    const int formatCount = static_cast<int>(formats.size());
    QByteArray header = bytes({13 + formatCount, USB_DT_CS_INTERFACE, UVC_VS_INPUT_HEADER, formatCount})
        + littleEndian(13 + formatCount + streaming.size(), 2) + bytes({USB_DIR_IN | 1, 0, kOutputTerminal, 0, 0, 0, 1});
    header += QByteArray(formatCount, '\0');  // no format has per-format controls
    body += bytes({9, USB_DT_INTERFACE, kVideoStreamingInterface, 0, 0, USB_CLASS_VIDEO, UVC_SC_VIDEOSTREAMING, 0, 0})
        + header + streaming;
    if (hid) {
        body += bytes({9, USB_DT_INTERFACE, kHidInterface, 0, 1, USB_CLASS_HID, 0, 0, 0})
            + bytes({9, HID_DT_HID, 0x11, 0x01, 0, 1, HID_DT_REPORT}) + littleEndian(34, 2)
            + bytes({7, USB_DT_ENDPOINT, USB_DIR_IN | 3, USB_ENDPOINT_XFER_INT}) + littleEndian(64, 2) + bytes({1});
    }

    std::uint8_t serialIndex = 0;
    camera.serialNumberStringIndex(&serialIndex);
    const QByteArray device = bytes({18, USB_DT_DEVICE}) + littleEndian(0x0200, 2) + bytes({0xEF, 2, 1, 64})
        + littleEndian(vendorId, 2) + littleEndian(productId, 2) + littleEndian(0x0100, 2) + bytes({1, 2, serialIndex, 1});
    const QByteArray configuration = bytes({9, USB_DT_CONFIG}) + littleEndian(9 + body.size(), 2)
        + bytes({hid ? 3 : 2, 1, 0, USB_CONFIG_ATT_ONE, 250}) + body;
    return device + configuration;
}

namespace {

// The class's standard controls that uvcvideo offers, by the bit that declares them in the
// camera terminal's or processing unit's bmControls: the class's length and the requests
// the class gives them (GET_INFO then says which of GET_CUR and SET_CUR the camera takes).
// Those the maker's cameras declare; the real driver knows a few more.
struct ControlInfo {
    bool cameraTerminal;
    std::uint8_t selector;
    int bit;
    int size;
    unsigned flags;
};
constexpr unsigned kRanged = UVC_CTRL_FLAG_SET_CUR | UVC_CTRL_FLAG_GET_RANGE;
constexpr unsigned kSwitch = UVC_CTRL_FLAG_SET_CUR | UVC_CTRL_FLAG_GET_CUR | UVC_CTRL_FLAG_GET_DEF;
const ControlInfo kControls[] = {
    {false, UVC_PU_BRIGHTNESS_CONTROL, 0, 2, kRanged},
    {false, UVC_PU_CONTRAST_CONTROL, 1, 2, kRanged},
    {false, UVC_PU_SATURATION_CONTROL, 3, 2, kRanged},
    {false, UVC_PU_SHARPNESS_CONTROL, 4, 2, kRanged},
    {false, UVC_PU_WHITE_BALANCE_TEMPERATURE_CONTROL, 6, 2, kRanged},
    {false, UVC_PU_BACKLIGHT_COMPENSATION_CONTROL, 8, 2, kRanged},
    {false, UVC_PU_POWER_LINE_FREQUENCY_CONTROL, 10, 1, kSwitch},
    {false, UVC_PU_WHITE_BALANCE_TEMPERATURE_AUTO_CONTROL, 12, 1, kSwitch},
    {true, UVC_CT_AE_MODE_CONTROL, 1, 1, kSwitch | UVC_CTRL_FLAG_GET_RES},
    {true, UVC_CT_EXPOSURE_TIME_ABSOLUTE_CONTROL, 3, 4, kRanged},
    {true, UVC_CT_FOCUS_ABSOLUTE_CONTROL, 5, 2, kRanged},
    {true, UVC_CT_ZOOM_ABSOLUTE_CONTROL, 9, 2, kRanged},
    {true, UVC_CT_PANTILT_ABSOLUTE_CONTROL, 11, 8, kRanged},
    {true, UVC_CT_FOCUS_AUTO_CONTROL, 17, 1, kSwitch},
};

struct MenuItem {
    const char* name;
    std::int32_t value;  // the class's value for V4L2's item at this index
};
struct Menu {
    const MenuItem* items;
    int count;
    bool offeredByResolution;  // the camera's GET_RES says which items it has
};
const MenuItem kPowerLineItems[] = {{"Disabled", 0}, {"50 Hz", 1}, {"60 Hz", 2}};
const MenuItem kExposureItems[] = {
    {"Auto Mode", 2}, {"Manual Mode", 1}, {"Shutter Priority Mode", 4}, {"Aperture Priority Mode", 8}};
const Menu kPowerLineMenu{kPowerLineItems, 3, false};
const Menu kExposureMenu{kExposureItems, 4, true};

// uvcvideo's V4L2 controls: which bits of which UVC control each one is, and its automatic
// partner, whose value other than `manual` makes it inactive.
struct Mapping {
    std::uint32_t id;
    const char* name;
    bool cameraTerminal;
    std::uint8_t selector;
    int offset;
    int bits;
    v4l2_ctrl_type type;
    bool isSigned;
    const Menu* menu = nullptr;
    std::uint32_t master = 0;
    std::int32_t manual = 0;
};
constexpr auto kInteger = V4L2_CTRL_TYPE_INTEGER;
constexpr auto kBoolean = V4L2_CTRL_TYPE_BOOLEAN;
constexpr auto kMenu = V4L2_CTRL_TYPE_MENU;
const Mapping kMappings[] = {
    {V4L2_CID_BRIGHTNESS, "Brightness", false, UVC_PU_BRIGHTNESS_CONTROL, 0, 16, kInteger, true},
    {V4L2_CID_CONTRAST, "Contrast", false, UVC_PU_CONTRAST_CONTROL, 0, 16, kInteger, false},
    {V4L2_CID_SATURATION, "Saturation", false, UVC_PU_SATURATION_CONTROL, 0, 16, kInteger, false},
    {V4L2_CID_SHARPNESS, "Sharpness", false, UVC_PU_SHARPNESS_CONTROL, 0, 16, kInteger, false},
    {V4L2_CID_BACKLIGHT_COMPENSATION, "Backlight Compensation", false, UVC_PU_BACKLIGHT_COMPENSATION_CONTROL, 0, 16,
     kInteger, false},
    {V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", false, UVC_PU_POWER_LINE_FREQUENCY_CONTROL, 0, 2, kMenu,
     false, &kPowerLineMenu},
    {V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic", false, UVC_PU_WHITE_BALANCE_TEMPERATURE_AUTO_CONTROL, 0,
     1, kBoolean, false},
    {V4L2_CID_WHITE_BALANCE_TEMPERATURE, "White Balance Temperature", false, UVC_PU_WHITE_BALANCE_TEMPERATURE_CONTROL,
     0, 16, kInteger, false, nullptr, V4L2_CID_AUTO_WHITE_BALANCE, 0},
    {V4L2_CID_EXPOSURE_AUTO, "Auto Exposure", true, UVC_CT_AE_MODE_CONTROL, 0, 4, kMenu, false, &kExposureMenu},
    {V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute", true, UVC_CT_EXPOSURE_TIME_ABSOLUTE_CONTROL, 0, 32,
     kInteger, false, nullptr, V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL},
    {V4L2_CID_FOCUS_ABSOLUTE, "Focus, Absolute", true, UVC_CT_FOCUS_ABSOLUTE_CONTROL, 0, 16, kInteger, false, nullptr,
     V4L2_CID_FOCUS_AUTO, 0},
    {V4L2_CID_FOCUS_AUTO, "Focus, Automatic Continuous", true, UVC_CT_FOCUS_AUTO_CONTROL, 0, 1, kBoolean, false},
    {V4L2_CID_ZOOM_ABSOLUTE, "Zoom, Absolute", true, UVC_CT_ZOOM_ABSOLUTE_CONTROL, 0, 16, kInteger, false},
    // Pan and tilt are the two halves of one UVC control.
    {V4L2_CID_PAN_ABSOLUTE, "Pan, Absolute", true, UVC_CT_PANTILT_ABSOLUTE_CONTROL, 0, 32, kInteger, true},
    {V4L2_CID_TILT_ABSOLUTE, "Tilt, Absolute", true, UVC_CT_PANTILT_ABSOLUTE_CONTROL, 32, 32, kInteger, true},
};

using Bytes = std::array<std::uint8_t, 8>;

// The mapping's bits of a UVC control's value, sign-extended for a signed control.
std::int32_t field(const Mapping& mapping, const Bytes& data)
{
    std::uint64_t raw = 0;
    for (int i = 7; i >= 0; --i)
        raw = raw << 8 | data[i];
    std::uint64_t value = (raw >> mapping.offset) & ((std::uint64_t(1) << mapping.bits) - 1);
    if (mapping.isSigned && (value >> (mapping.bits - 1)) & 1)
        value |= ~std::uint64_t(0) << mapping.bits;
    return static_cast<std::int32_t>(value);
}

void setField(const Mapping& mapping, std::int32_t value, Bytes& data)
{
    std::uint64_t raw = 0;
    for (int i = 7; i >= 0; --i)
        raw = raw << 8 | data[i];
    const std::uint64_t mask = ((std::uint64_t(1) << mapping.bits) - 1) << mapping.offset;
    raw = (raw & ~mask) | ((std::uint64_t(static_cast<std::uint32_t>(value)) << mapping.offset) & mask);
    for (int i = 0; i < 8; ++i)
        data[i] = static_cast<std::uint8_t>(raw >> (8 * i));
}

// A value as V4L2 shows it: a menu's current and default values are item indexes.
std::int32_t v4l2Value(const Mapping& mapping, std::uint8_t request, const Bytes& data)
{
    const std::int32_t value = field(mapping, data);
    if (mapping.menu && (request == UVC_GET_CUR || request == UVC_GET_DEF)) {
        for (int i = 0; i < mapping.menu->count; ++i) {
            if (mapping.menu->items[i].value == value)
                return i;
        }
    }
    return value;
}

std::uint32_t classOf(std::uint32_t id)
{
    return V4L2_CTRL_ID2CLASS(id) | 1;
}

void copyName(char* to, std::size_t size, const QString& name)
{
    std::strncpy(to, name.toUtf8().constData(), size - 1);
}

}  // namespace

struct EmulatedUvcDriver::Control {
    const ControlInfo* info = nullptr;
    std::uint8_t unit = 0;
    unsigned flags = 0;
    Bytes current{}, backup{}, minimum{}, maximum{}, resolution{}, defaultValue{};
    bool loaded = false;  // current read from the camera
    bool cached = false;  // limits read from the camera
    bool dirty = false;   // current changed by this call, not yet sent
};

struct EmulatedUvcDriver::Exposed {
    const Mapping* mapping;
    Control* control;
};

struct EmulatedUvcDriver::ExtensionControl {
    int size = 0;
    unsigned flags = 0;
};

struct EmulatedUvcDriver::Frame {
    int width = 0;
    int height = 0;
    std::uint32_t maxBytes = 0;
    std::uint32_t defaultInterval = 0;
    std::vector<std::uint32_t> intervals;  // 100 ns units
};

struct EmulatedUvcDriver::Format {
    std::uint32_t fourcc = 0;
    int bitsPerPixel = 0;
    std::size_t defaultFrame = 0;
    std::vector<Frame> frames;
};

// One ioctl's memory in the client, made local; umockdev copies it back at completion.
class EmulatedUvcDriver::Call {
public:
    explicit Call(UMockdevIoctlClient* client) : client_(client) {}
    ~Call()
    {
        for (UMockdevIoctlData* data : resolved_)
            g_object_unref(data);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    unsigned long request() const { return umockdev_ioctl_client_get_request(client_); }
    // The argument, or nullptr when the client passed no memory there.
    template <typename T>
    T* argument()
    {
        return static_cast<T*>(resolve(umockdev_ioctl_client_get_arg(client_), 0, sizeof(T)));
    }
    // What a pointer at `offset` in the argument points to.
    void* pointee(std::size_t offset, std::size_t length) { return resolve(resolved_.front(), offset, length); }

private:
    void* resolve(UMockdevIoctlData* from, std::size_t offset, std::size_t length)
    {
        GError* error = nullptr;
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(from, offset, length, &error);
        if (!data) {
            g_clear_error(&error);
            return nullptr;
        }
        resolved_.push_back(data);
        return data->data;
    }

    UMockdevIoctlClient* client_;
    std::vector<UMockdevIoctlData*> resolved_;
};

EmulatedUvcDriver::EmulatedUvcDriver(std::unique_ptr<UvcCameraModel> camera, const QByteArray& descriptors,
                                     QString card, QString busInfo)
    : camera_(std::move(camera)), card_(std::move(card)), busInfo_(std::move(busInfo))
{
    bind(descriptors);
}

EmulatedUvcDriver::~EmulatedUvcDriver()
{
    {
        std::lock_guard<std::recursive_mutex> lock(*lock_);
        stopPacing_ = true;
        paced_.notify_all();
    }
    if (pacer_.joinable())
        pacer_.join();
    for (UMockdevIoctlBase* handler : handlers_) {
        g_signal_handlers_disconnect_by_data(handler, this);
        g_object_unref(handler);
    }
    if (streamer_)
        g_object_unref(streamer_);
}

void EmulatedUvcDriver::bind(const QByteArray& descriptors)
{
    struct Entity {
        int subtype;
        int id;
        std::uint64_t controls;
    };
    std::vector<Entity> entities;
    const auto* d = reinterpret_cast<const std::uint8_t*>(descriptors.constData());
    const int total = descriptors.size();
    const auto bitmap = [d](int at, int size) {
        std::uint64_t bits = 0;
        for (int i = std::min(size, 8) - 1; i >= 0; --i)
            bits = bits << 8 | d[at + i];
        return bits;
    };
    const auto le32 = [](const std::uint8_t* at) {
        return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24;
    };
    bool videoControl = false;
    bool videoStreaming = false;
    for (int at = 0; at + 2 <= total && d[at] >= 2 && at + d[at] <= total; at += d[at]) {
        const std::uint8_t* x = d + at;
        const int length = x[0];
        if (x[1] == USB_DT_INTERFACE && length >= 9) {
            videoControl = x[5] == USB_CLASS_VIDEO && x[6] == UVC_SC_VIDEOCONTROL;
            videoStreaming = x[5] == USB_CLASS_VIDEO && x[6] == UVC_SC_VIDEOSTREAMING;
        }
        if (videoStreaming && x[1] == USB_DT_CS_INTERFACE && length >= 27 && x[2] == UVC_VS_FORMAT_UNCOMPRESSED) {
            Format format;
            format.fourcc = le32(x + 5);
            format.bitsPerPixel = x[21];
            format.defaultFrame = x[22] > 0 ? x[22] - 1 : 0;
            formats_.push_back(format);
        }
        // Only discrete intervals: the maker's cameras give no continuous range.
        if (videoStreaming && x[1] == USB_DT_CS_INTERFACE && length >= 26 && x[2] == UVC_VS_FRAME_UNCOMPRESSED
            && !formats_.empty() && x[25] > 0 && length >= 26 + 4 * x[25]) {
            Frame frame;
            frame.width = x[5] | x[6] << 8;
            frame.height = x[7] | x[8] << 8;
            frame.maxBytes = le32(x + 17);
            frame.defaultInterval = le32(x + 21);
            for (int i = 0; i < x[25]; ++i)
                frame.intervals.push_back(le32(x + 26 + 4 * i));
            formats_.back().frames.push_back(frame);
        }
        if (!videoControl || x[1] != USB_DT_CS_INTERFACE || length < 4)
            continue;
        if (x[2] == UVC_VC_INPUT_TERMINAL && length >= 15 && (x[4] | x[5] << 8) == UVC_ITT_CAMERA && length >= 15 + x[14])
            entities.push_back({x[2], x[3], bitmap(at + 15, x[14])});
        else if (x[2] == UVC_VC_PROCESSING_UNIT && length >= 8 && length >= 8 + x[7])
            entities.push_back({x[2], x[3], bitmap(at + 8, x[7])});
        else if (x[2] == UVC_VC_EXTENSION_UNIT && length >= 24 + x[21] && length >= 24 + x[21] + x[22 + x[21]])
            entities.push_back({x[2], x[3], bitmap(at + 23 + x[21], x[22 + x[21]])});
    }
    // uvcvideo walks the chain from the output terminal back to the camera, and keeps its
    // controls in that order.
    for (auto entity = entities.rbegin(); entity != entities.rend(); ++entity) {
        if (entity->subtype == UVC_VC_EXTENSION_UNIT) {
            extensionUnits_[entity->id] = entity->controls;
            continue;
        }
        for (const ControlInfo& info : kControls) {
            if (info.cameraTerminal != (entity->subtype == UVC_VC_INPUT_TERMINAL) || !(entity->controls >> info.bit & 1))
                continue;
            auto control = std::make_unique<Control>();
            control->info = &info;
            control->unit = static_cast<std::uint8_t>(entity->id);
            control->flags = info.flags;
            // The camera says whether it takes GET_CUR and SET_CUR; the class's table
            // stands when it cannot say.
            std::uint8_t capabilities = 0;
            if (query(UVC_GET_INFO, control->unit, info.selector, &capabilities, 1) == 0) {
                control->flags &= ~(UVC_CTRL_FLAG_GET_CUR | UVC_CTRL_FLAG_SET_CUR);
                control->flags |= (capabilities & UVC_CONTROL_CAP_GET ? UVC_CTRL_FLAG_GET_CUR : 0)
                    | (capabilities & UVC_CONTROL_CAP_SET ? UVC_CTRL_FLAG_SET_CUR : 0);
            }
            controls_.push_back(std::move(control));
        }
    }
    for (const Mapping& mapping : kMappings) {
        for (const auto& control : controls_) {
            if (control->info->cameraTerminal == mapping.cameraTerminal && control->info->selector == mapping.selector)
                exposed_.push_back({&mapping, control.get()});
        }
    }
    std::sort(exposed_.begin(), exposed_.end(),
              [](const Exposed& a, const Exposed& b) { return a.mapping->id < b.mapping->id; });
    // A format without frames cannot stream; the first format and its default frame and
    // interval are where the driver starts.
    formats_.erase(std::remove_if(formats_.begin(), formats_.end(), [](const Format& f) { return f.frames.empty(); }),
                   formats_.end());
    if (!formats_.empty()) {
        const Format& format = formats_.front();
        frame_ = std::min(format.defaultFrame, format.frames.size() - 1);
        interval_ = format.frames[frame_].defaultInterval;
    }
}

void EmulatedUvcDriver::attach(UMockdevTestbed* testbed, const QString& captureNode, const QString& metadataNode)
{
    const std::pair<QString, decltype(&onCapture)> nodes[] = {{captureNode, &onCapture}, {metadataNode, &onMetadata}};
    for (const auto& [node, handle] : nodes) {
        UMockdevIoctlBase* handler = umockdev_ioctl_base_new();
        g_signal_connect(handler, "handle-ioctl", G_CALLBACK(handle), this);
        if (handle == &onCapture)
            g_signal_connect(handler, "handle-read", G_CALLBACK(&onRead), this);
        handlers_.push_back(handler);
        GError* error = nullptr;
        if (!umockdev_testbed_attach_ioctl(testbed, node.toUtf8().constData(), handler, &error)) {
            ADD_FAILURE() << "umockdev refused the driver on " << node.toStdString() << ": " << error->message;
            g_error_free(error);
        }
    }
}

void EmulatedUvcDriver::unplug()
{
    {
        std::lock_guard<std::recursive_mutex> lock(*lock_);
        unplugged_ = true;
        if (heldRead_)
            umockdev_ioctl_client_complete(heldRead_, -1, ENODEV);
        heldRead_ = nullptr;
        if (streamer_)
            endStream();
        stopPacing_ = true;
        paced_.notify_all();
    }
    if (pacer_.joinable())
        pacer_.join();
}

int EmulatedUvcDriver::framesSent() const
{
    std::lock_guard<std::recursive_mutex> lock(*lock_);
    return camera_->framesSent();
}

int EmulatedUvcDriver::videoStreams() const
{
    std::lock_guard<std::recursive_mutex> lock(*lock_);
    return camera_->videoStreams();
}

bool EmulatedUvcDriver::isStreaming() const
{
    std::lock_guard<std::recursive_mutex> lock(*lock_);
    return camera_->isStreaming();
}

void EmulatedUvcDriver::withCamera(const std::function<void(UvcCameraModel&)>& use)
{
    std::lock_guard<std::recursive_mutex> lock(*lock_);
    use(*camera_);
}

std::vector<UvcCameraModel::Request> EmulatedUvcDriver::requests() const
{
    std::lock_guard<std::recursive_mutex> lock(*lock_);
    return camera_->requests();
}

void EmulatedUvcDriver::clearRequests()
{
    std::lock_guard<std::recursive_mutex> lock(*lock_);
    camera_->clearRequests();
}

namespace {

void describeDevice(v4l2_capability& capability, const QString& card, const QString& busInfo, std::uint32_t deviceCaps)
{
    capability = {};
    copyName(reinterpret_cast<char*>(capability.driver), sizeof capability.driver, QStringLiteral("uvcvideo"));
    copyName(reinterpret_cast<char*>(capability.card), sizeof capability.card, card);
    copyName(reinterpret_cast<char*>(capability.bus_info), sizeof capability.bus_info, busInfo);
    capability.version = (6 << 16) | (1 << 8);  // the kernel's version: 6.1
    // The device's capabilities are both nodes' together; device_caps tells them apart.
    // Video leaves by read() (see the class comment); metadata keeps its buffers.
    capability.device_caps = deviceCaps | V4L2_CAP_EXT_PIX_FORMAT;
    capability.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE | V4L2_CAP_META_CAPTURE
        | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT | V4L2_CAP_DEVICE_CAPS;
}

}  // namespace

int EmulatedUvcDriver::onCapture(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    static_cast<EmulatedUvcDriver*>(self)->answer(client, true);
    return TRUE;
}

int EmulatedUvcDriver::onMetadata(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    static_cast<EmulatedUvcDriver*>(self)->answer(client, false);
    return TRUE;
}

void EmulatedUvcDriver::answer(UMockdevIoctlClient* client, bool capture)
{
    std::lock_guard<std::recursive_mutex> lock(*lock_);
    Call call(client);
    const int result = ioctl(call, capture);
    umockdev_ioctl_client_complete(client, result < 0 ? -1 : result, result < 0 ? -result : 0);
}

int EmulatedUvcDriver::ioctl(Call& call, bool capture)
{
    if (unplugged_)
        return -ENODEV;
    const unsigned long request = call.request();
    if (request == VIDIOC_QUERYCAP) {
        auto* capability = call.argument<v4l2_capability>();
        if (!capability)
            return -EFAULT;
        describeDevice(*capability, card_, busInfo_,
                       capture ? V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_READWRITE : V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING);
        return 0;
    }
    if (!capture)
        return -ENOTTY;
    switch (request) {
    case VIDIOC_QUERYCTRL: {
        // A failed ioctl leaves the caller's memory as it was.
        auto* asked = call.argument<v4l2_queryctrl>();
        if (!asked)
            return -EFAULT;
        v4l2_queryctrl description{};
        const int result = describe(asked->id, description);
        if (result == 0)
            *asked = description;
        return result;
    }
    case VIDIOC_QUERYMENU: {
        auto* item = call.argument<v4l2_querymenu>();
        return item ? menuItem(*item) : -EFAULT;
    }
    case VIDIOC_G_CTRL:
    case VIDIOC_S_CTRL: {
        // The V4L2 core hands these to the driver as a one-control VIDIOC_G/S_EXT_CTRLS.
        auto* asked = call.argument<v4l2_control>();
        if (!asked)
            return -EFAULT;
        v4l2_ext_control one{};
        one.id = asked->id;
        one.value = asked->value;
        const int result = request == VIDIOC_G_CTRL ? getControls(V4L2_CTRL_WHICH_CUR_VAL, &one, 1)
                                                    : setControls(V4L2_CTRL_WHICH_CUR_VAL, &one, 1);
        if (result == 0)
            asked->value = one.value;
        return result;
    }
    case VIDIOC_G_EXT_CTRLS:
    case VIDIOC_S_EXT_CTRLS: {
        auto* all = call.argument<v4l2_ext_controls>();
        if (!all)
            return -EFAULT;
        v4l2_ext_control* list = nullptr;
        if (all->count > 0) {
            list = static_cast<v4l2_ext_control*>(
                call.pointee(offsetof(v4l2_ext_controls, controls), all->count * sizeof(v4l2_ext_control)));
            if (!list)
                return -EFAULT;
        }
        return request == VIDIOC_G_EXT_CTRLS ? getControls(all->which, list, all->count)
                                             : setControls(all->which, list, all->count);
    }
    case UVCIOC_CTRL_QUERY: {
        auto* asked = call.argument<uvc_xu_control_query>();
        return asked ? extensionQuery(call, *asked) : -EFAULT;
    }
    default:
        return videoIoctl(call, request);
    }
}

int EmulatedUvcDriver::query(std::uint8_t request, std::uint8_t unit, std::uint8_t selector, std::uint8_t* data, int size)
{
    UsbSetupPacket setup;
    setup.bmRequestType = USB_TYPE_CLASS | USB_RECIP_INTERFACE | (request & USB_DIR_IN);
    setup.bRequest = request;
    setup.wValue = static_cast<std::uint16_t>(selector << 8);
    setup.wIndex = static_cast<std::uint16_t>(unit << 8 | kVideoControlInterface);
    setup.wLength = static_cast<std::uint16_t>(size);
    if (camera_->controlRequest(setup, data, nullptr) == platform::kUsbSuccess)
        return 0;
    // A stall: the camera's request error code control says why.
    std::uint8_t code = 0;
    setup.bmRequestType = USB_TYPE_CLASS | USB_RECIP_INTERFACE | USB_DIR_IN;
    setup.bRequest = UVC_GET_CUR;
    setup.wValue = UVC_VC_REQUEST_ERROR_CODE_CONTROL << 8;
    setup.wIndex = kVideoControlInterface;
    setup.wLength = 1;
    if (camera_->controlRequest(setup, &code, nullptr) != platform::kUsbSuccess)
        return -EPIPE;
    switch (code) {
    case 1: return -EBUSY;    // not ready
    case 2: return -EILSEQ;   // wrong state
    case 3: return -EREMOTE;  // power
    case 4: return -ERANGE;   // out of range
    case 5:                   // invalid unit, control, request, or value within the range
    case 6:
    case 7:
    case 8: return -EINVAL;
    default: return -EPIPE;
    }
}

int EmulatedUvcDriver::loadCurrent(Control& control)
{
    if (control.loaded)
        return 0;
    if (!(control.flags & UVC_CTRL_FLAG_GET_CUR)) {
        control.current = {};
    } else if (const int result = query(UVC_GET_CUR, control.unit, control.info->selector, control.current.data(),
                                        control.info->size);
               result < 0) {
        return result;
    }
    control.loaded = true;
    return 0;
}

int EmulatedUvcDriver::readLimits(Control& control)
{
    if (control.cached)
        return 0;
    const std::tuple<unsigned, std::uint8_t, Bytes*> limits[] = {
        {UVC_CTRL_FLAG_GET_DEF, UVC_GET_DEF, &control.defaultValue},
        {UVC_CTRL_FLAG_GET_MIN, UVC_GET_MIN, &control.minimum},
        {UVC_CTRL_FLAG_GET_MAX, UVC_GET_MAX, &control.maximum},
        {UVC_CTRL_FLAG_GET_RES, UVC_GET_RES, &control.resolution}};
    for (const auto& [flag, request, into] : limits) {
        if (!(control.flags & flag))
            continue;
        if (const int result = query(request, control.unit, control.info->selector, into->data(), control.info->size);
            result < 0)
            return result;
    }
    control.cached = true;
    return 0;
}

const EmulatedUvcDriver::Exposed* EmulatedUvcDriver::find(std::uint32_t id) const
{
    for (const Exposed& exposed : exposed_) {
        if (exposed.mapping->id == id)
            return &exposed;
    }
    return nullptr;
}

int EmulatedUvcDriver::describe(std::uint32_t asked, v4l2_queryctrl& description)
{
    const bool next = asked & V4L2_CTRL_FLAG_NEXT_CTRL;
    const std::uint32_t id = asked & V4L2_CTRL_ID_MASK;
    description = {};
    const Exposed* found = nullptr;
    for (const Exposed& exposed : exposed_) {
        if (next ? exposed.mapping->id > id : exposed.mapping->id == id || classOf(exposed.mapping->id) == id) {
            found = &exposed;
            break;
        }
    }
    if (!found)
        return -EINVAL;
    // A class that has controls is a control of its own, which comes before them.
    const std::uint32_t classId = classOf(found->mapping->id);
    if (next ? classId > id : classId == id) {
        description.id = classId;
        description.type = V4L2_CTRL_TYPE_CTRL_CLASS;
        copyName(reinterpret_cast<char*>(description.name), sizeof description.name,
                 classId == V4L2_CID_CAMERA_CLASS ? QStringLiteral("Camera Controls") : QStringLiteral("User Controls"));
        description.flags = V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY;
        return 0;
    }

    const Mapping& mapping = *found->mapping;
    Control& control = *found->control;
    description.id = mapping.id;
    description.type = mapping.type;
    copyName(reinterpret_cast<char*>(description.name), sizeof description.name, QLatin1String(mapping.name));
    if (!(control.flags & UVC_CTRL_FLAG_GET_CUR))
        description.flags |= V4L2_CTRL_FLAG_WRITE_ONLY;
    if (!(control.flags & UVC_CTRL_FLAG_SET_CUR))
        description.flags |= V4L2_CTRL_FLAG_READ_ONLY;
    if (const Exposed* master = mapping.master ? find(mapping.master) : nullptr;
        master && master->control->unit == control.unit && (master->control->flags & UVC_CTRL_FLAG_GET_CUR)) {
        std::int32_t automatic = 0;
        if (const int result = value(*master, &automatic); result < 0)
            return result;
        if (automatic != mapping.manual)
            description.flags |= V4L2_CTRL_FLAG_INACTIVE;
    }
    if (const int result = readLimits(control); result < 0)
        return result;
    if (control.flags & UVC_CTRL_FLAG_GET_DEF)
        description.default_value = v4l2Value(mapping, UVC_GET_DEF, control.defaultValue);
    description.step = 1;
    if (mapping.type == kMenu) {
        description.maximum = mapping.menu->count - 1;
    } else if (mapping.type == kBoolean) {
        description.maximum = 1;
    } else {
        description.step = 0;
        if (control.flags & UVC_CTRL_FLAG_GET_MIN)
            description.minimum = field(mapping, control.minimum);
        if (control.flags & UVC_CTRL_FLAG_GET_MAX)
            description.maximum = field(mapping, control.maximum);
        if (control.flags & UVC_CTRL_FLAG_GET_RES)
            description.step = field(mapping, control.resolution);
    }
    return 0;
}

int EmulatedUvcDriver::menuItem(v4l2_querymenu& item)
{
    const std::uint32_t id = item.id;
    const std::uint32_t index = item.index;
    item = {};
    item.id = id;
    item.index = index;
    const Exposed* exposed = find(id);
    if (!exposed || !exposed->mapping->menu || index >= static_cast<std::uint32_t>(exposed->mapping->menu->count))
        return -EINVAL;
    const Menu& menu = *exposed->mapping->menu;
    if (menu.offeredByResolution) {
        if (const int result = readLimits(*exposed->control); result < 0)
            return result;
        if (!(field(*exposed->mapping, exposed->control->resolution) & menu.items[index].value))
            return -EINVAL;
    }
    copyName(reinterpret_cast<char*>(item.name), sizeof item.name, QLatin1String(menu.items[index].name));
    return 0;
}

int EmulatedUvcDriver::value(const Exposed& exposed, std::int32_t* value)
{
    if (!(exposed.control->flags & UVC_CTRL_FLAG_GET_CUR))
        return -EACCES;
    if (const int result = loadCurrent(*exposed.control); result < 0)
        return result;
    *value = v4l2Value(*exposed.mapping, UVC_GET_CUR, exposed.control->current);
    return 0;
}

namespace {

// The V4L2 core's check of `which` before the driver sees the call: the current values, or
// a class that every control belongs to.
int checkWhich(std::uint32_t which, const v4l2_ext_control* list, std::uint32_t count)
{
    if (which == V4L2_CTRL_WHICH_CUR_VAL)
        return 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (V4L2_CTRL_ID2WHICH(list[i].id) != which)
            return -EINVAL;
    }
    return 0;
}

}  // namespace

int EmulatedUvcDriver::checkAccess(const v4l2_ext_control* list, std::uint32_t count, bool set)
{
    for (std::uint32_t n = 0; n < count; ++n) {
        const Exposed* exposed = find(list[n].id);
        if (!exposed)
            return -EINVAL;
        if (!(exposed->control->flags & (set ? UVC_CTRL_FLAG_SET_CUR : UVC_CTRL_FLAG_GET_CUR)))
            return -EACCES;
        const Mapping& mapping = *exposed->mapping;
        if (!set || !mapping.master)
            continue;
        // The automatic partner's value: the one this call sets (the last, if several),
        // else the camera's.
        std::int32_t automatic = mapping.manual;
        bool setHere = false;
        for (std::uint32_t i = count; i-- > 0 && !setHere;) {
            setHere = list[i].id == mapping.master;
            if (setHere)
                automatic = list[i].value;
        }
        const Exposed* master = find(mapping.master);
        if (!setHere && master && master->control->unit == exposed->control->unit
            && (master->control->flags & UVC_CTRL_FLAG_GET_CUR))
            value(*master, &automatic);
        if (automatic != mapping.manual)
            return -EACCES;
    }
    return 0;
}

int EmulatedUvcDriver::getControls(std::uint32_t which, v4l2_ext_control* list, std::uint32_t count)
{
    if (const int result = checkWhich(which, list, count); result < 0)
        return result;
    if (const int result = checkAccess(list, count, false); result < 0)
        return result;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::int32_t read = 0;  // the list is packed: no pointer into it
        if (const int result = value(*find(list[i].id), &read); result < 0)
            return result;
        list[i].value = read;
    }
    return 0;
}

int EmulatedUvcDriver::setControls(std::uint32_t which, v4l2_ext_control* list, std::uint32_t count)
{
    if (const int result = checkWhich(which, list, count); result < 0)
        return result;
    if (const int result = checkAccess(list, count, true); result < 0)
        return result;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::int32_t value = list[i].value;
        const int result = set(*find(list[i].id), &value);
        list[i].value = value;
        if (result < 0) {
            rollBack();
            return result;
        }
    }
    return commit();
}

int EmulatedUvcDriver::set(const Exposed& exposed, std::int32_t* value)
{
    const Mapping& mapping = *exposed.mapping;
    Control& control = *exposed.control;
    std::int32_t raw = *value;
    if (mapping.type == kInteger) {
        if (const int result = readLimits(control); result < 0)
            return result;
        const std::int32_t minimum = field(mapping, control.minimum);
        const std::int32_t maximum = field(mapping, control.maximum);
        const std::uint32_t step = field(mapping, control.resolution) ? field(mapping, control.resolution) : 1;
        // Rounded to the step from the minimum in unsigned 32-bit arithmetic, then clamped;
        // an unsigned control compares unsigned, so a negative value clamps to the maximum.
        const std::uint32_t offset = static_cast<std::uint32_t>(raw) - static_cast<std::uint32_t>(minimum);
        raw = static_cast<std::int32_t>(static_cast<std::uint32_t>(minimum) + (offset + step / 2) / step * step);
        if (mapping.isSigned) {
            raw = std::min(std::max(raw, minimum), maximum);
        } else {
            raw = static_cast<std::int32_t>(std::min(std::max(static_cast<std::uint32_t>(raw), static_cast<std::uint32_t>(minimum)),
                                                     static_cast<std::uint32_t>(maximum)));
        }
        *value = raw;
    } else if (mapping.type == kBoolean) {
        raw = *value = std::min(std::max(*value, 0), 1);
    } else {
        if (*value < 0 || *value >= mapping.menu->count)
            return -ERANGE;
        raw = mapping.menu->items[*value].value;
        if (mapping.menu->offeredByResolution) {
            if (const int result = readLimits(control); result < 0)
                return result;
            if (!(field(mapping, control.resolution) & raw))
                return -EINVAL;
        }
    }
    // A V4L2 control that is part of its UVC control needs the rest as the camera holds it.
    if (control.info->size * 8 != mapping.bits) {
        if (const int result = loadCurrent(control); result < 0)
            return result;
    }
    if (!control.dirty)
        control.backup = control.current;
    setField(mapping, raw, control.current);
    control.dirty = true;
    return 0;
}

int EmulatedUvcDriver::commit()
{
    for (const auto& control : controls_) {
        if (!control->dirty)
            continue;
        const int result = query(UVC_SET_CUR, control->unit, control->info->selector, control->current.data(),
                                 control->info->size);
        if (result < 0) {
            rollBack();
            return result;
        }
        control->dirty = false;
    }
    return 0;
}

void EmulatedUvcDriver::rollBack()
{
    for (const auto& control : controls_) {
        if (control->dirty)
            control->current = control->backup;
        control->dirty = false;
    }
}

int EmulatedUvcDriver::extensionQuery(Call& call, uvc_xu_control_query& asked)
{
    const auto unit = extensionUnits_.find(asked.unit);
    if (unit == extensionUnits_.end() || asked.selector < 1 || asked.selector > 64
        || !(unit->second >> (asked.selector - 1) & 1))
        return -ENOENT;
    auto known = extensionControls_.find({asked.unit, asked.selector});
    if (known == extensionControls_.end()) {
        // Its length and capabilities, asked the first time the control is used.
        std::uint8_t length[2] = {};
        std::uint8_t capabilities = 0;
        if (query(UVC_GET_LEN, asked.unit, asked.selector, length, 2) < 0
            || query(UVC_GET_INFO, asked.unit, asked.selector, &capabilities, 1) < 0)
            return -ENOENT;
        ExtensionControl control;
        control.size = length[0] | length[1] << 8;
        control.flags = UVC_CTRL_FLAG_GET_MIN | UVC_CTRL_FLAG_GET_MAX | UVC_CTRL_FLAG_GET_RES | UVC_CTRL_FLAG_GET_DEF
            | (capabilities & UVC_CONTROL_CAP_GET ? UVC_CTRL_FLAG_GET_CUR : 0)
            | (capabilities & UVC_CONTROL_CAP_SET ? UVC_CTRL_FLAG_SET_CUR : 0);
        known = extensionControls_.emplace(std::make_pair(asked.unit, asked.selector), control).first;
    }
    unsigned required = 0;
    int size = known->second.size;
    switch (asked.query) {
    case UVC_SET_CUR: required = UVC_CTRL_FLAG_SET_CUR; break;
    case UVC_GET_CUR: required = UVC_CTRL_FLAG_GET_CUR; break;
    case UVC_GET_MIN: required = UVC_CTRL_FLAG_GET_MIN; break;
    case UVC_GET_MAX: required = UVC_CTRL_FLAG_GET_MAX; break;
    case UVC_GET_RES: required = UVC_CTRL_FLAG_GET_RES; break;
    case UVC_GET_DEF: required = UVC_CTRL_FLAG_GET_DEF; break;
    case UVC_GET_LEN: size = 2; break;
    case UVC_GET_INFO: size = 1; break;
    default: return -EINVAL;
    }
    if (size != asked.size)
        return -ENOBUFS;
    if (required && !(known->second.flags & required))
        return -EBADRQC;
    auto* data = static_cast<std::uint8_t*>(call.pointee(offsetof(uvc_xu_control_query, data), size));
    if (!data)
        return -EFAULT;
    // The driver's own buffer: a request that fails leaves the caller's bytes alone.
    std::vector<std::uint8_t> buffer(size);
    if (asked.query == UVC_SET_CUR)
        std::copy(data, data + size, buffer.begin());
    if (const int result = query(asked.query, asked.unit, asked.selector, buffer.data(), size); result < 0)
        return result;
    if (asked.query != UVC_SET_CUR)
        std::copy(buffer.begin(), buffer.end(), data);
    return 0;
}

namespace {

using Interval = std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>;  // the class's 100 ns

// uvcvideo shows a frame interval in 100 ns units as a small fraction of a second: a
// continued fraction cut before its first large term (333333/10000000 becomes 1/30).
v4l2_fract fractionOf(std::uint32_t interval)
{
    constexpr int kMaxTerms = 8;
    constexpr std::uint64_t kLargeTerm = 333;
    std::uint64_t terms[kMaxTerms] = {};
    std::uint64_t x = interval;
    std::uint64_t y = 10000000;
    int count = 0;
    while (count < kMaxTerms && y != 0) {
        terms[count] = x / y;
        if (terms[count] >= kLargeTerm) {
            if (count < 2)
                ++count;
            break;
        }
        const std::uint64_t rest = x - terms[count] * y;
        x = y;
        y = rest;
        ++count;
    }
    std::uint64_t numerator = 1;
    std::uint64_t denominator = 0;
    for (int i = count; i-- > 0;) {
        const std::uint64_t previous = numerator;
        numerator = terms[i] * numerator + denominator;
        denominator = previous;
    }
    return v4l2_fract{static_cast<std::uint32_t>(numerator), static_cast<std::uint32_t>(denominator)};
}

// A requested time per frame in 100 ns units, saturated as uvcvideo does.
std::uint32_t intervalOf(const v4l2_fract& fraction)
{
    if (fraction.denominator == 0)
        return UINT32_MAX;
    const std::uint64_t interval = std::uint64_t(fraction.numerator) * 10000000 / fraction.denominator;
    return interval > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(interval);
}

std::uint32_t nearest(const std::vector<std::uint32_t>& intervals, std::uint32_t wanted)
{
    return *std::min_element(intervals.begin(), intervals.end(), [wanted](std::uint32_t a, std::uint32_t b) {
        return std::llabs(std::int64_t(a) - wanted) < std::llabs(std::int64_t(b) - wanted);
    });
}

// The V4L2 core names the formats it knows (the maker's cameras stream UYVY).
QString formatName(std::uint32_t fourcc)
{
    if (fourcc == V4L2_PIX_FMT_UYVY)
        return QStringLiteral("UYVY 4:2:2");
    return QString::fromLatin1(reinterpret_cast<const char*>(&fourcc), 4);
}

}  // namespace

platform::UvcCameraModel::VideoMode EmulatedUvcDriver::currentMode() const
{
    const Frame& frame = formats_[format_].frames[frame_];
    return UvcCameraModel::VideoMode{formats_[format_].fourcc, frame.width, frame.height, interval_};
}

// uvcvideo's choice for a requested format: the FourCC if the camera has it (else its
// first format), the frame nearest in area, the current interval's nearest in that frame.
int EmulatedUvcDriver::tryFormat(v4l2_format& asked, std::size_t* formatIndex, std::size_t* frameIndex) const
{
    if (asked.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || formats_.empty())
        return -EINVAL;
    v4l2_pix_format& pix = asked.fmt.pix;
    std::size_t f = 0;
    while (f < formats_.size() && formats_[f].fourcc != pix.pixelformat)
        ++f;
    if (f == formats_.size())
        f = 0;
    const Format& format = formats_[f];
    std::size_t best = 0;
    std::uint64_t bestDistance = UINT64_MAX;
    for (std::size_t i = 0; i < format.frames.size(); ++i) {
        const std::uint64_t w = format.frames[i].width;
        const std::uint64_t h = format.frames[i].height;
        const std::uint64_t overlap = std::min<std::uint64_t>(w, pix.width) * std::min<std::uint64_t>(h, pix.height);
        const std::uint64_t distance = w * h + std::uint64_t(pix.width) * pix.height - 2 * overlap;
        if (distance < bestDistance) {
            best = i;
            bestDistance = distance;
        }
    }
    const Frame& frame = format.frames[best];
    std::memset(&asked.fmt, 0, sizeof asked.fmt);
    pix.width = frame.width;
    pix.height = frame.height;
    pix.pixelformat = format.fourcc;
    pix.field = V4L2_FIELD_NONE;
    pix.bytesperline = format.bitsPerPixel * frame.width / 8;
    pix.sizeimage = frame.maxBytes;
    pix.colorspace = V4L2_COLORSPACE_SRGB;  // no colour-matching descriptor
    pix.priv = V4L2_PIX_FMT_PRIV_MAGIC;     // set by the V4L2 core
    *formatIndex = f;
    *frameIndex = best;
    return 0;
}

int EmulatedUvcDriver::videoIoctl(Call& call, unsigned long request)
{
    switch (request) {
    case VIDIOC_ENUM_FMT: {
        auto* asked = call.argument<v4l2_fmtdesc>();
        if (!asked)
            return -EFAULT;
        const v4l2_fmtdesc in = *asked;
        if (in.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || in.index >= formats_.size())
            return -EINVAL;
        *asked = {};
        asked->index = in.index;
        asked->type = in.type;
        asked->pixelformat = formats_[in.index].fourcc;
        copyName(reinterpret_cast<char*>(asked->description), sizeof asked->description,
                 formatName(asked->pixelformat));
        return 0;
    }
    case VIDIOC_ENUM_FRAMESIZES: {
        auto* asked = call.argument<v4l2_frmsizeenum>();
        if (!asked)
            return -EFAULT;
        const v4l2_frmsizeenum in = *asked;
        const auto format = std::find_if(formats_.begin(), formats_.end(),
                                         [&](const Format& f) { return f.fourcc == in.pixel_format; });
        if (format == formats_.end() || in.index >= format->frames.size())
            return -EINVAL;
        *asked = {};
        asked->index = in.index;
        asked->pixel_format = in.pixel_format;
        asked->type = V4L2_FRMSIZE_TYPE_DISCRETE;
        asked->discrete.width = format->frames[in.index].width;
        asked->discrete.height = format->frames[in.index].height;
        return 0;
    }
    case VIDIOC_ENUM_FRAMEINTERVALS: {
        auto* asked = call.argument<v4l2_frmivalenum>();
        if (!asked)
            return -EFAULT;
        const v4l2_frmivalenum in = *asked;
        const auto format = std::find_if(formats_.begin(), formats_.end(),
                                         [&](const Format& f) { return f.fourcc == in.pixel_format; });
        if (format == formats_.end())
            return -EINVAL;
        const auto frame = std::find_if(format->frames.begin(), format->frames.end(), [&](const Frame& f) {
            return f.width == static_cast<int>(in.width) && f.height == static_cast<int>(in.height);
        });
        if (frame == format->frames.end() || in.index >= frame->intervals.size())
            return -EINVAL;
        *asked = {};
        asked->index = in.index;
        asked->pixel_format = in.pixel_format;
        asked->width = in.width;
        asked->height = in.height;
        asked->type = V4L2_FRMIVAL_TYPE_DISCRETE;
        asked->discrete = fractionOf(frame->intervals[in.index]);
        return 0;
    }
    case VIDIOC_TRY_FMT:
    case VIDIOC_S_FMT: {
        auto* asked = call.argument<v4l2_format>();
        if (!asked)
            return -EFAULT;
        std::size_t format = 0;
        std::size_t frame = 0;
        if (const int result = tryFormat(*asked, &format, &frame); result < 0)
            return result;
        if (request == VIDIOC_S_FMT) {
            format_ = format;
            frame_ = frame;
            interval_ = nearest(formats_[format_].frames[frame_].intervals, interval_);
        }
        return 0;
    }
    case VIDIOC_G_PARM:
    case VIDIOC_S_PARM: {
        auto* asked = call.argument<v4l2_streamparm>();
        if (!asked)
            return -EFAULT;
        if (asked->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || formats_.empty())
            return -EINVAL;
        if (request == VIDIOC_S_PARM) {
            interval_ = nearest(formats_[format_].frames[frame_].intervals, intervalOf(asked->parm.capture.timeperframe));
        }
        const std::uint32_t type = asked->type;
        *asked = {};
        asked->type = type;
        asked->parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
        asked->parm.capture.timeperframe = fractionOf(interval_);
        return 0;
    }
    case VIDIOC_G_SELECTION: {
        // The camera does not crop: the default and the bounds are the whole frame.
        auto* asked = call.argument<v4l2_selection>();
        if (!asked)
            return -EFAULT;
        if (asked->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || formats_.empty()
            || (asked->target != V4L2_SEL_TGT_CROP_DEFAULT && asked->target != V4L2_SEL_TGT_CROP_BOUNDS))
            return -EINVAL;
        const Frame& frame = formats_[format_].frames[frame_];
        asked->r = v4l2_rect{0, 0, static_cast<std::uint32_t>(frame.width), static_cast<std::uint32_t>(frame.height)};
        return 0;
    }
    case VIDIOC_CROPCAP: {
        // The V4L2 core answers it from the selection, with square pixels.
        auto* asked = call.argument<v4l2_cropcap>();
        if (!asked)
            return -EFAULT;
        if (asked->type != V4L2_BUF_TYPE_VIDEO_CAPTURE || formats_.empty())
            return -EINVAL;
        const Frame& frame = formats_[format_].frames[frame_];
        asked->bounds = v4l2_rect{0, 0, static_cast<std::uint32_t>(frame.width), static_cast<std::uint32_t>(frame.height)};
        asked->defrect = asked->bounds;
        asked->pixelaspect = v4l2_fract{1, 1};
        return 0;
    }
    case VIDIOC_ENUMINPUT: {
        auto* asked = call.argument<v4l2_input>();
        if (!asked)
            return -EFAULT;
        // Without a selector unit the one input is the chain's camera terminal.
        const std::uint32_t index = asked->index;
        if (index != 0)
            return -EINVAL;
        *asked = {};
        copyName(reinterpret_cast<char*>(asked->name), sizeof asked->name, QStringLiteral("Camera 1"));
        asked->type = V4L2_INPUT_TYPE_CAMERA;
        return 0;
    }
    case VIDIOC_G_INPUT: {
        auto* input = call.argument<int>();
        if (!input)
            return -EFAULT;
        *input = 0;
        return 0;
    }
    default:
        return -ENOTTY;
    }
}

int EmulatedUvcDriver::onRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, void* self)
{
    static_cast<EmulatedUvcDriver*>(self)->read(client);
    return TRUE;
}

void EmulatedUvcDriver::read(UMockdevIoctlClient* client)
{
    std::lock_guard<std::recursive_mutex> lock(*lock_);
    if (unplugged_ || formats_.empty()) {
        umockdev_ioctl_client_complete(client, -1, unplugged_ ? ENODEV : EINVAL);
        return;
    }
    // A descriptor closed a moment ago may not have been heard of yet.
    if (streamer_ && streamer_ != client && !umockdev_ioctl_client_get_connected(streamer_))
        endStream();
    if (streamer_ && streamer_ != client) {
        umockdev_ioctl_client_complete(client, -1, EBUSY);
        return;
    }
    if (umockdev_ioctl_client_get_arg(client)->data_len == 0) {
        umockdev_ioctl_client_complete(client, 0, 0);
        return;
    }
    if (!streamer_) {
        streamer_ = static_cast<UMockdevIoctlClient*>(g_object_ref(client));
        streamStart_ = Clock::now();
        streamFrames_ = 0;
        camera_->startVideo(currentMode());
        if (!pacer_.joinable())
            pacer_ = std::thread([this] { pace(); });
        paced_.notify_all();  // to watch for the descriptor's close
    }
    if (Clock::now() >= streamStart_ + Interval(std::int64_t(interval_) * streamFrames_)) {
        deliver(client);
        return;
    }
    heldRead_ = client;
    paced_.notify_all();
}

void EmulatedUvcDriver::deliver(UMockdevIoctlClient* client)
{
    frameBytes_.resize(currentMode().frameBytes());
    camera_->sendFrame(frameBytes_.data());
    ++streamFrames_;
    UMockdevIoctlData* buffer = umockdev_ioctl_client_get_arg(client);
    const int length = std::min(buffer->data_len, static_cast<int>(frameBytes_.size()));
    umockdev_ioctl_data_update(buffer, 0, frameBytes_.data(), length);
    umockdev_ioctl_client_complete(client, length, 0);
}

void EmulatedUvcDriver::endStream()
{
    g_object_unref(streamer_);
    streamer_ = nullptr;
    heldRead_ = nullptr;
    camera_->stopVideo();
}

void EmulatedUvcDriver::pace()
{
    std::unique_lock<std::recursive_mutex> lock(*lock_);
    while (!stopPacing_) {
        if (streamer_ && !umockdev_ioctl_client_get_connected(streamer_))
            endStream();
        if (!streamer_) {
            paced_.wait(lock);
            continue;
        }
        const Clock::time_point due = streamStart_ + Interval(std::int64_t(interval_) * streamFrames_);
        const Clock::time_point now = Clock::now();
        if (!heldRead_ || now < due) {
            paced_.wait_until(lock, heldRead_ ? due : now + Interval(interval_));
            continue;
        }
        UMockdevIoctlClient* client = heldRead_;
        heldRead_ = nullptr;
        deliver(client);
    }
}

}  // namespace uvccam::testing
