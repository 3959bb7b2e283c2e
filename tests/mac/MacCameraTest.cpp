// A camera's identity and control map, read from what the capture device reports.
#include "mac/MacCamera.h"

#include "support/SimulatedWorld.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

using uvccam::platform::CaptureDevice;
using uvccam::platform::MediaType;

// A capture device that reports exactly the texts a test gives it.
class FixedCaptureDevice : public CaptureDevice {
public:
    FixedCaptureDevice(QString uniqueID, QString modelID, QString name = QStringLiteral("RX710"))
        : uniqueID_(std::move(uniqueID)), modelID_(std::move(modelID)), name_(std::move(name))
    {
    }
    QString uniqueID() const override { return uniqueID_; }
    QString localizedName() const override { return name_; }
    QString modelID() const override { return modelID_; }
    bool hasMediaType(MediaType type) const override { return type == MediaType::Video; }
    bool isConnected() const override { return true; }

private:
    QString uniqueID_, modelID_, name_;
};

std::shared_ptr<MacCamera> cameraFor(const char* uniqueID, const char* modelID)
{
    return MacCamera::initWithCaptureDevice(
        std::make_shared<FixedCaptureDevice>(QString::fromUtf8(uniqueID), QString::fromUtf8(modelID)));
}

bool sameControls(const UVCCameraControls& a, const UVCCameraControls& b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

struct IdentityCase {
    const char* uniqueID;
    const char* modelID;
    std::uint32_t vendorId;
    std::uint32_t productId;
    std::uint32_t locationId;
    bool rx710Map;
};

class CameraIdentity : public uvccam::testing::SimulatedWorld, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(CameraIdentity, IsParsedFromTheUniqueAndModelIDs)
{
    const IdentityCase& c = GetParam();
    auto camera = cameraFor(c.uniqueID, c.modelID);
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->vendorId(), c.vendorId);
    EXPECT_EQ(camera->productId(), c.productId);
    EXPECT_EQ(camera->locationId(), c.locationId);
    EXPECT_TRUE(sameControls(camera->dev_uvc_controls, c.rx710Map ? uvc_controls_rx710 : uvc_controls));
}

INSTANTIATE_TEST_SUITE_P(Devices, CameraIdentity,
    ::testing::Values(
        // Decimal IDs, the RX710's product ID picks its own map.
        IdentityCase{"0x141000002a3b2574", "UVC Camera VendorID_10811 ProductID_9588", 10811, 9588, 0x14100000, true},
        // The same camera described in hexadecimal.
        IdentityCase{"0x141000002a3b2574", "UVC Camera VendorID_0x2A3B ProductID_0x2574", 0x2A3B, 0x2574, 0x14100000, true},
        IdentityCase{"0x142000002a3b470a", "UVC Camera VendorID_10811 ProductID_18186", 10811, 18186, 0x14200000, false},
        // Not of the UVC form: no vendor or product.
        IdentityCase{"0x141000002a3b2574", "Built-in Camera", 0, 0, 0x14100000, false},
        // Missing words or pieces count as 0.
        IdentityCase{"0x141000002a3b2574", "UVC Camera VendorID_10811", 10811, 0, 0x14100000, false},
        IdentityCase{"0x141000002a3b2574", "UVC Camera VendorID_10811 ProductID", 10811, 0, 0x14100000, false},
        // A negative decimal keeps its bits.
        IdentityCase{"0x14100000", "UVC Camera VendorID_-1 ProductID_1", 0xFFFFFFFF, 1, 0x14100000, false},
        // Without the maker's vendor hex the whole ID is read, and overflows.
        IdentityCase{"0x141000001d506100", "UVC Camera VendorID_7504 ProductID_24832", 7504, 24832, 0xFFFFFFFF, false}));

class CameraObject : public uvccam::testing::SimulatedWorld {};

TEST_F(CameraObject, KeepsTheDeviceNameAndUniqueID)
{
    auto device = std::make_shared<FixedCaptureDevice>(QStringLiteral("0x141000002a3b2574"),
                                                       QStringLiteral("UVC Camera VendorID_10811 ProductID_9588"),
                                                       QStringLiteral("RX710 Conference Camera"));
    auto camera = MacCamera::initWithCaptureDevice(device);
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->deviceName(), QStringLiteral("RX710 Conference Camera"));
    EXPECT_EQ(camera->deviceUniqueID(), QStringLiteral("0x141000002a3b2574"));
    EXPECT_EQ(camera->captureDevice(), device);
    EXPECT_FALSE(camera->pixelBuffer());
    EXPECT_EQ(camera->videoCallback(), nullptr);
}

TEST(CameraControlMaps, HoldTheMakersLayouts)
{
    // The RX710 reads saturation on the contrast selector; the other cameras have no
    // automatic focus and carry tilt on an extension unit.
    EXPECT_EQ(uvc_controls_rx710.saturation.selector, uvc_controls_rx710.contrast.selector);
    EXPECT_EQ(uvc_controls_rx710.brightness.unit, 2);
    EXPECT_EQ(uvc_controls.brightness.unit, 3);
    EXPECT_EQ(uvc_controls.autoFocus.unit, 0);
    EXPECT_EQ(uvc_controls.autoFocus.size, 0);
    EXPECT_EQ(uvc_controls.tilt.unit, 9);
    EXPECT_EQ(uvc_controls.absoluteFocus.size, 8);
}

// A frame as a capture backend might describe it; it records whether it was locked while
// the callback ran.
class DescribedPixelBuffer : public uvccam::platform::PixelBuffer {
public:
    DescribedPixelBuffer(std::size_t width, std::size_t height, std::size_t bytesPerRow, bool hasPixels)
        : width_(width), height_(height), bytesPerRow_(bytesPerRow), hasPixels_(hasPixels)
    {
    }
    void lockBaseAddress() override { locked = true; }
    void unlockBaseAddress() override { locked = false; }
    std::uint8_t* baseAddress() override { return hasPixels_ ? bytes.data() : nullptr; }
    std::size_t bytesPerRow() const override { return bytesPerRow_; }
    std::size_t width() const override { return width_; }
    std::size_t height() const override { return height_; }

    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(16);
    bool locked = false;

private:
    std::size_t width_, height_, bytesPerRow_;
    bool hasPixels_;
};

class NoOutput : public uvccam::platform::VideoDataOutput {
    void setVideoSettings(const uvccam::platform::VideoSettings&) override {}
    uvccam::platform::VideoSettings videoSettings() const override { return {}; }
    void setAlwaysDiscardsLateVideoFrames(bool) override {}
    bool alwaysDiscardsLateVideoFrames() const override { return true; }
    void setSampleBufferDelegate(std::weak_ptr<uvccam::platform::SampleBufferDelegate>) override {}
    std::shared_ptr<uvccam::platform::SampleBufferDelegate> sampleBufferDelegate() const override { return {}; }
};

struct FrameSeen {
    int calls = 0;
    unsigned char* frame = nullptr;
    int width = 0, height = 0, size = 0;
    bool wasLocked = false;
};
FrameSeen g_frame;
std::shared_ptr<DescribedPixelBuffer> g_buffer;

struct FrameCase {
    const char* what;
    std::size_t width, height, bytesPerRow;
    bool hasPixels;
    bool delivered;
};

class CameraFrameHandOff : public uvccam::testing::SimulatedWorld, public ::testing::WithParamInterface<FrameCase> {};

TEST_P(CameraFrameHandOff, GivesRowBytesTimesHeightInPlaceOrNothing)
{
    const FrameCase& c = GetParam();
    auto camera = cameraFor("0x141000002a3b2574", "UVC Camera VendorID_10811 ProductID_9588");
    g_buffer = std::make_shared<DescribedPixelBuffer>(c.width, c.height, c.bytesPerRow, c.hasPixels);
    g_frame = {};
    camera->setVideoCallback([](unsigned char* frame, int width, int height, int size) {
        g_frame = {g_frame.calls + 1, frame, width, height, size, g_buffer->locked};
    });
    NoOutput output;
    camera->captureOutput(output, g_buffer);

    EXPECT_EQ(g_frame.calls, c.delivered ? 1 : 0) << c.what;
    if (c.delivered) {
        EXPECT_EQ(g_frame.frame, g_buffer->bytes.data());
        EXPECT_EQ(g_frame.width, static_cast<int>(c.width));
        EXPECT_EQ(g_frame.height, static_cast<int>(c.height));
        EXPECT_EQ(g_frame.size, static_cast<int>(c.bytesPerRow * c.height));
        EXPECT_TRUE(g_frame.wasLocked);
    }
    EXPECT_FALSE(g_buffer->locked) << "unlocked after the call";
    EXPECT_EQ(camera->pixelBuffer(), g_buffer);
    g_buffer.reset();
}

INSTANTIATE_TEST_SUITE_P(Frames, CameraFrameHandOff, ::testing::Values(
    FrameCase{"padded rows", 640, 360, 1288, true, true},
    FrameCase{"no pixels", 640, 360, 1280, false, false},
    FrameCase{"larger than 32 bits can describe", 65536, 40000, 131072, true, false}));

}  // namespace
