// The USB Video Class side of a simulated camera: its units, controls, serial number and video.
#pragma once

#include "platform/UsbService.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace uvccam::platform {

class PixelBufferSim;

// Answers control requests the way the maker's cameras do: the camera terminal is unit 1,
// the processing unit is 2 (RX710) or 3 (the others), extension units are 4 to 9. A
// request for an unknown unit or selector, a wrong length or a value out of range stalls.
//
// The maker's software reaches some standard controls at selectors and lengths of the
// firmware's own (pan at camera-terminal selector 14, a four-byte zoom). The camera also
// declares the class's controls in its descriptor and answers them as the class defines
// them, at the class's selector and length, over the same values (classControls()): that is
// how a class driver such as Linux's uvcvideo reaches it.
class UvcCameraModel {
public:
    // UVC request codes.
    static constexpr std::uint8_t SET_CUR = 0x01;
    static constexpr std::uint8_t GET_CUR = 0x81;
    static constexpr std::uint8_t GET_MIN = 0x82;
    static constexpr std::uint8_t GET_MAX = 0x83;
    static constexpr std::uint8_t GET_RES = 0x84;
    static constexpr std::uint8_t GET_LEN = 0x85;
    static constexpr std::uint8_t GET_INFO = 0x86;
    static constexpr std::uint8_t GET_DEF = 0x87;

    static constexpr int kFirstExtensionUnit = 4;
    static constexpr int kLastExtensionUnit = 9;
    static constexpr int kExtensionSelectors = 16;
    static constexpr int kExtensionMaxLength = 64;

    struct Control {
        int length = 0;
        bool isSigned = false;
        std::int64_t minimum = 0;
        std::int64_t maximum = 0;
        std::int64_t defaultValue = 0;
        std::int64_t current = 0;
    };

    enum class OpenFault { None, ExclusiveAccess, Fails };

    // One control of the class that the camera declares: its selector in the camera terminal
    // or the processing unit, its bit in that entity's bmControls, the class's length, and
    // the maker's selector holding its value (kPanTilt: selectors 14 and 15, pan then tilt).
    struct ClassControl {
        bool cameraTerminal = false;
        int selector = 0;
        int bit = 0;
        int length = 0;
        int makerSelector = 0;
    };
    static constexpr int kPanTilt = -1;
    // The automatic-exposure modes the camera offers (the class's GET_RES of that control):
    // manual and aperture priority.
    static constexpr int kExposureModes = 0x09;

    // What the library sent and what came of it, in order.
    struct Request {
        UsbSetupPacket setup;
        QByteArray data;  // sent for a set, answered for a get
        UsbStatus status = kUsbSuccess;
    };

    // One way the camera streams video, uncompressed: the format's FourCC (the first four
    // bytes of its GUID, which is also V4L2's code for it), the frame size and the frame
    // interval in the class's 100 ns units. Rows are unpadded, two bytes a pixel.
    struct VideoMode {
        std::uint32_t fourcc = 0;
        int width = 0;
        int height = 0;
        std::uint32_t frameInterval = 0;
        int bytesPerLine() const { return width * 2; }
        int frameBytes() const { return bytesPerLine() * height; }
    };
    // Packed 4:2:2 in the order U Y V Y.
    static constexpr std::uint32_t kFourccUyvy = 'U' | 'Y' << 8 | 'V' << 16 | 'Y' << 24;

    // `rx710Layout` gives processing unit 2, a two-byte focus and automatic focus.
    UvcCameraModel(bool rx710Layout, QString serialNumber);
    ~UvcCameraModel();
    UvcCameraModel(const UvcCameraModel&) = delete;
    UvcCameraModel& operator=(const UvcCameraModel&) = delete;

    int processingUnit() const { return processingUnit_; }

    // The standard control at unit/selector, or nullptr.
    Control* control(int unit, int selector);
    const Control* control(int unit, int selector) const;
    // The class's controls this camera declares for the camera terminal (1) or its
    // processing unit, the bmControls bits of its descriptor following from them.
    std::vector<ClassControl> classControls(int unit) const;
    void setControl(int unit, int selector, const Control& control) { controls_[{unit, selector}] = control; }
    // The bytes an extension-unit property holds now (zeros where never written).
    QByteArray extensionBytes(int unit, int selector, int length) const;
    // Some properties take effect only when the firmware is told to apply them (the
    // ST470's transfer mode): SET_CUR of a deferred property only stores a pending value,
    // GET_CUR and extensionBytes keep giving the applied one until applyDeferredProperties().
    void setDeferredProperty(int unit, int selector) { deferred_.insert({unit, selector}); }
    void applyDeferredProperties();
    // A property's length as GET_LEN gives it (kExtensionMaxLength unless set). Reads and
    // writes of up to kExtensionMaxLength bytes are taken whatever it says; a class driver
    // that checks lengths (uvcvideo does) sends only this many.
    void setExtensionLength(int unit, int selector, int length) { extensionLengths_[{unit, selector}] = length; }

    // The modes the camera streams, which its video-streaming descriptors declare: these
    // cameras send UYVY 640x360 at 30 frames a second.
    const std::vector<VideoMode>& videoModes() const { return videoModes_; }
    // A stream in one of the modes: its frames are numbered from 0, each the simulator's
    // test frame (PixelBufferSim's colour bars and frame number) at the mode's size.
    void startVideo(const VideoMode& mode);
    void stopVideo();
    bool isStreaming() const { return streaming_; }
    // Draws the stream's next frame into `into` (the mode's frameBytes()) and gives its
    // number; nothing while no stream runs.
    std::optional<std::uint32_t> sendFrame(std::uint8_t* into);
    // Frames sent in all streams since the camera was made, and the streams started.
    int framesSent() const { return framesSent_; }
    int videoStreams() const { return videoStreams_; }

    // Handles one request on the video-control interface's default pipe.
    UsbStatus controlRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred);
    // Handles a standard request on the device's default pipe (the string descriptors).
    UsbStatus deviceRequest(const UsbSetupPacket& setup, void* data, std::uint32_t* transferred);
    UsbStatus serialNumberStringIndex(std::uint8_t* index) const;

    // Faults on demand.
    void setOpenFault(OpenFault fault) { openFault_ = fault; }
    OpenFault openFault() const { return openFault_; }
    void stallNextRequests(int count) { stallCount_ = count; }
    void setSerialIndexFails(bool fails) { serialIndexFails_ = fails; }
    void setSerialRequestFails(bool fails) { serialRequestFails_ = fails; }
    // Replaces the serial-number string descriptor with these raw bytes.
    void setSerialDescriptor(QByteArray descriptor) { serialDescriptor_ = std::move(descriptor); }

    // The interface's open state, kept by the simulated USB interface.
    void interfaceOpened() { ++opens_; open_ = true; }
    void interfaceClosed() { open_ = false; }
    bool isInterfaceOpen() const { return open_; }
    int interfaceOpens() const { return opens_; }

    const std::vector<Request>& requests() const { return requests_; }
    void clearRequests() { requests_.clear(); }

private:
    UsbStatus answer(const UsbSetupPacket& setup, std::uint8_t* data);
    // GET_INFO and GET_LEN, answered alike for every control; none for other requests.
    static std::optional<UsbStatus> answerInfoOrLength(const UsbSetupPacket& setup, int length, std::uint8_t* data);
    const ClassControl* classControl(int unit, int selector) const;
    UsbStatus answerClassControl(const ClassControl& declared, int unit, const UsbSetupPacket& setup, std::uint8_t* data);
    UsbStatus answerExtensionUnit(const UsbSetupPacket& setup, int unit, int selector, std::uint8_t* data);
    QByteArray serialDescriptor() const;

    int processingUnit_;
    QString serialNumber_;
    std::map<std::pair<int, int>, Control> controls_;
    std::map<std::pair<int, int>, QByteArray> extensionProperties_;
    std::set<std::pair<int, int>> deferred_;
    std::map<std::pair<int, int>, QByteArray> pendingProperties_;
    std::map<std::pair<int, int>, int> extensionLengths_;
    std::vector<Request> requests_;
    OpenFault openFault_ = OpenFault::None;
    int stallCount_ = 0;
    bool serialIndexFails_ = false;
    bool serialRequestFails_ = false;
    std::optional<QByteArray> serialDescriptor_;
    bool open_ = false;
    int opens_ = 0;
    std::vector<VideoMode> videoModes_;
    bool streaming_ = false;
    VideoMode streamMode_;
    std::unique_ptr<PixelBufferSim> canvas_;
    std::uint32_t nextFrame_ = 0;
    int framesSent_ = 0;
    int videoStreams_ = 0;
};

}  // namespace uvccam::platform
