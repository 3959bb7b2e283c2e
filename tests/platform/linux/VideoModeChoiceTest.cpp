// The camera-mode choice: the wanted size or the nearest larger, the fastest rate at it, then
// the format that needs the least work.
#include "platform/linux/VideoModeChoice.h"

#include <gtest/gtest.h>

using namespace uvccam::platform;

namespace {

CameraMode raw(const char* format, int width, int height, int fps = 30)
{
    return CameraMode{CameraMode::Encoding::Raw, format, width, height, fps, 1};
}

CameraMode jpeg(int width, int height, int fps = 30)
{
    return CameraMode{CameraMode::Encoding::Jpeg, std::string(), width, height, fps, 1};
}

const FrameTarget k640x360{"UYVY", 640, 360};

TEST(VideoModeChoice, PicksSizeThenRateThenTheFormatNeedingLeastWork)
{
    const struct {
        const char* why;
        std::vector<CameraMode> offered;
        CameraMode chosen;
    } rows[] = {
        {"the wanted frames themselves, though listed last",
         {raw("YUY2", 640, 360), jpeg(640, 360), raw("UYVY", 640, 360)},
         raw("UYVY", 640, 360)},
        {"another raw layout before JPEG at the same rate", {jpeg(640, 360), raw("YUY2", 640, 360)}, raw("YUY2", 640, 360)},
        {"the faster JPEG over a slow raw mode", {raw("YUY2", 640, 360, 10), jpeg(640, 360, 30)}, jpeg(640, 360, 30)},
        {"the wanted size over a larger one offering the wanted layout",
         {raw("UYVY", 1280, 720), raw("NV12", 640, 360)},
         raw("NV12", 640, 360)},
        {"the nearest larger size when the wanted one is missing",
         {raw("YUY2", 1920, 1080), raw("YUY2", 1280, 720), raw("YUY2", 320, 180), raw("YUY2", 800, 600)},
         raw("YUY2", 800, 600)},
        {"a size must cover both dimensions", {raw("YUY2", 1280, 300), raw("YUY2", 1024, 768)}, raw("YUY2", 1024, 768)},
        {"the largest when none covers the wanted size",
         {raw("YUY2", 320, 240), raw("YUY2", 352, 288), raw("YUY2", 160, 120)},
         raw("YUY2", 352, 288)},
        {"only MJPEG at a larger size", {jpeg(1280, 720)}, jpeg(1280, 720)},
        {"the highest rate of several at the chosen size",
         {raw("YUY2", 640, 360, 15), raw("YUY2", 640, 360, 30), raw("YUY2", 640, 360, 24)},
         raw("YUY2", 640, 360, 30)},
        {"an unknown rate ranks below any known one", {raw("UYVY", 640, 360, 0), jpeg(640, 360, 5)}, jpeg(640, 360, 5)},
        {"modes without a size are ignored", {raw("UYVY", 0, 0), raw("YUY2", 640, 360)}, raw("YUY2", 640, 360)},
    };
    for (const auto& row : rows) {
        const std::optional<CameraMode> chosen = chooseCameraMode(row.offered, k640x360);
        ASSERT_TRUE(chosen.has_value()) << row.why;
        EXPECT_EQ(*chosen, row.chosen) << row.why << ": got " << chosen->format << " " << chosen->width << "x"
                                       << chosen->height << " at " << chosen->framerateNumerator;
    }
}

TEST(VideoModeChoice, FractionalRatesCompareExactly)
{
    // 30000/1001 (NTSC's 29.97) is slower than 30/1; MJPEG at 30 beats the UYVY mode.
    const CameraMode ntsc{CameraMode::Encoding::Raw, "UYVY", 640, 360, 30000, 1001};
    EXPECT_EQ(chooseCameraMode({ntsc, jpeg(640, 360, 30)}, k640x360), jpeg(640, 360, 30));
    const CameraMode sameRate{CameraMode::Encoding::Raw, "UYVY", 640, 360, 60, 2};
    EXPECT_EQ(chooseCameraMode({jpeg(640, 360, 30), sameRate}, k640x360), sameRate) << "60/2 is 30/1";
}

TEST(VideoModeChoice, NothingOfferedGivesNoMode)
{
    EXPECT_FALSE(chooseCameraMode({}, k640x360).has_value());
    EXPECT_FALSE(chooseCameraMode({raw("UYVY", 0, 360)}, k640x360).has_value());
}

TEST(VideoModeChoice, OnlyTheWantedLayoutAndSizeNeedNoConversion)
{
    EXPECT_TRUE(deliversTargetDirectly(raw("UYVY", 640, 360, 15), k640x360));
    EXPECT_FALSE(deliversTargetDirectly(raw("YUY2", 640, 360), k640x360));
    EXPECT_FALSE(deliversTargetDirectly(raw("UYVY", 1280, 720), k640x360));
    EXPECT_FALSE(deliversTargetDirectly(jpeg(640, 360), k640x360));
}

}  // namespace
