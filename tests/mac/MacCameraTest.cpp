// A camera's identity and control map, read from what the capture device reports, and the
// hand-over of its frames.
#include "mac/MacCamera.h"

#include "support/SimulatedWorld.h"

#include <cstring>
#include <vector>

namespace {

using namespace uvccam::platform;

// A capture device that reports exactly the texts a test gives it.
class FixedCaptureDevice : public CaptureDevice {
public:
    FixedCaptureDevice(const char* uniqueID, const char* modelID) : uniqueID_(uniqueID), modelID_(modelID) {}
    QString uniqueID() const override { return uniqueID_; }
    QString localizedName() const override { return QStringLiteral("RX710 Conference Camera"); }
    QString modelID() const override { return modelID_; }
    bool hasMediaType(MediaType type) const override { return type == MediaType::Video; }
    bool isConnected() const override { return true; }

private:
    QString uniqueID_, modelID_;
};

class CameraObject : public uvccam::testing::SimulatedWorld {};

TEST_F(CameraObject, TakesItsIdentityFromTheUniqueAndModelIDsAndItsMapFromTheProduct)
{
    const struct { const char *uniqueID, *modelID; std::uint32_t vendor, product, location; bool rx710; } cases[] = {
        // Decimal or hex IDs; the RX710's product ID picks its own map.
        {"0x141000002a3b2574", "UVC Camera VendorID_10811 ProductID_9588", 10811, 9588, 0x14100000, true},
        {"0x141000002a3b2574", "UVC Camera VendorID_0x2A3B ProductID_0x2574", 0x2A3B, 0x2574, 0x14100000, true},
        {"0x142000002a3b470a", "UVC Camera VendorID_10811 ProductID_18186", 10811, 18186, 0x14200000, false},
        // Not of the UVC form, or missing words or pieces: 0.
        {"0x141000002a3b2574", "Built-in Camera", 0, 0, 0x14100000, false},
        {"0x141000002a3b2574", "UVC Camera VendorID_10811", 10811, 0, 0x14100000, false},
        {"0x141000002a3b2574", "UVC Camera VendorID_10811 ProductID", 10811, 0, 0x14100000, false},
        // A negative decimal keeps its bits.
        {"0x14100000", "UVC Camera VendorID_-1 ProductID_1", 0xFFFFFFFF, 1, 0x14100000, false},
        // Without the maker's vendor hex the whole ID is read, and overflows.
        {"0x141000001d506100", "UVC Camera VendorID_7504 ProductID_24832", 7504, 24832, 0xFFFFFFFF, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const auto device = std::make_shared<FixedCaptureDevice>(c.uniqueID, c.modelID);
        const auto camera = MacCamera::initWithCaptureDevice(device);
        ASSERT_TRUE(camera);
        EXPECT_EQ((std::vector<std::uint32_t>{camera->vendorId(), camera->productId(), camera->locationId()}),
                  (std::vector<std::uint32_t>{c.vendor, c.product, c.location}));
        const UVCCameraControls& map = c.rx710 ? uvc_controls_rx710 : uvc_controls;
        EXPECT_EQ(std::memcmp(&camera->dev_uvc_controls, &map, sizeof map), 0);
        EXPECT_EQ(camera->deviceName(), QStringLiteral("RX710 Conference Camera"));
        EXPECT_EQ(camera->deviceUniqueID(), QString::fromUtf8(c.uniqueID));
        EXPECT_EQ(camera->captureDevice(), device);
    }
}

// A frame as a capture backend might describe it; it records whether it was locked while
// the callback ran.
class DescribedPixelBuffer : public PixelBuffer {
public:
    DescribedPixelBuffer(std::size_t width, std::size_t height, std::size_t bytesPerRow, bool hasPixels)
        : width_(width), height_(height), bytesPerRow_(bytesPerRow), hasPixels_(hasPixels)
    {
    }
    void lockBaseAddress() override { locked = true; }
    void unlockBaseAddress() override { locked = false; }
    std::uint8_t* baseAddress() override { return hasPixels_ ? bytes : nullptr; }
    std::size_t bytesPerRow() const override { return bytesPerRow_; }
    std::size_t width() const override { return width_; }
    std::size_t height() const override { return height_; }

    std::uint8_t bytes[16] = {};
    bool locked = false;

private:
    std::size_t width_, height_, bytesPerRow_;
    bool hasPixels_;
};

std::vector<int> g_seen;  // per call: in place, width, height, size, locked
DescribedPixelBuffer* g_buffer = nullptr;

TEST_F(CameraObject, HandsAFrameOverInPlaceAsRowBytesTimesHeightOrNotAtAll)
{
    auto camera = MacCamera::initWithCaptureDevice(
        std::make_shared<FixedCaptureDevice>("0x141000002a3b2574", "UVC Camera VendorID_10811 ProductID_9588"));
    camera->setVideoCallback([](unsigned char* frame, int width, int height, int size) {
        g_seen.insert(g_seen.end(), {frame == g_buffer->bytes, width, height, size, g_buffer->locked});
    });
    const auto output = capture().createVideoDataOutput();
    const auto hand = [&](std::size_t width, std::size_t height, std::size_t bytesPerRow, bool hasPixels) {
        auto buffer = std::make_shared<DescribedPixelBuffer>(width, height, bytesPerRow, hasPixels);
        g_buffer = buffer.get();
        g_seen.clear();
        camera->captureOutput(*output, buffer);
        EXPECT_FALSE(buffer->locked) << "unlocked after the call";
        EXPECT_EQ(camera->pixelBuffer(), buffer);
    };
    hand(640, 360, 1288, true);
    EXPECT_EQ(g_seen, (std::vector<int>{true, 640, 360, 1288 * 360, true})) << "padded rows";
    hand(640, 360, 1280, false);
    EXPECT_TRUE(g_seen.empty()) << "no pixels";
    hand(65536, 40000, 131072, true);
    EXPECT_TRUE(g_seen.empty()) << "larger than 32 bits can describe";
}

}  // namespace
