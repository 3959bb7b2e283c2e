// '2vuy' frames to RGB: known colours, row padding, and frames whose sizes do not fit.
#include "FrameImage.h"

#include <gtest/gtest.h>

namespace uvccamctl {

namespace {

struct Colour {
    const char* name;
    unsigned char y, cb, cr;
    QRgb rgb;
};

class ConvertingAColour : public ::testing::TestWithParam<Colour> {};

TEST_P(ConvertingAColour, GivesItsRgbInBothPixelsOfThePair)
{
    const Colour& colour = GetParam();
    const QByteArray frame{reinterpret_cast<const char*>(std::array<unsigned char, 4>{colour.cb, colour.y, colour.cr, colour.y}.data()), 4};
    const QImage image = imageFrom2vuy(frame, 2, 1);
    ASSERT_FALSE(image.isNull());
    // Fixed-point rounding may leave a channel one step off.
    for (const QRgb pixel : {image.pixel(0, 0), image.pixel(1, 0)}) {
        EXPECT_NEAR(qRed(pixel), qRed(colour.rgb), 1) << std::hex << pixel;
        EXPECT_NEAR(qGreen(pixel), qGreen(colour.rgb), 1) << std::hex << pixel;
        EXPECT_NEAR(qBlue(pixel), qBlue(colour.rgb), 1) << std::hex << pixel;
    }
}

// Video range: luma 16 is black and 235 white; the 75 % bars of the simulated camera.
INSTANTIATE_TEST_SUITE_P(Bt601, ConvertingAColour,
                         ::testing::Values(Colour{"Black", 16, 128, 128, 0x000000}, Colour{"White", 235, 128, 128, 0xffffff},
                                           Colour{"BelowBlackClamps", 0, 128, 128, 0x000000},
                                           Colour{"Red75", 65, 100, 212, 0xbf0000}, Colour{"Blue75", 35, 212, 114, 0x0000bf}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

TEST(FrameImage, SkipsThePaddingAtTheEndOfEachRow)
{
    // Two rows of one white pixel pair, each padded to 8 bytes with bytes that would be red.
    const QByteArray frame = QByteArray::fromHex("80eb80eb" "64415441" "80108010" "64415441");
    const QImage image = imageFrom2vuy(frame, 2, 2);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.pixel(1, 0) & 0xffffff, 0xffffffu);
    EXPECT_EQ(image.pixel(0, 1) & 0xffffff, 0x000000u);
}

struct BadFrame {
    const char* name;
    int bytes, width, height;
};

class AFrameThatDoesNotFit : public ::testing::TestWithParam<BadFrame> {};

TEST_P(AFrameThatDoesNotFit, GivesNoImage)
{
    const BadFrame& frame = GetParam();
    EXPECT_TRUE(imageFrom2vuy(QByteArray(frame.bytes, '\x80'), frame.width, frame.height).isNull());
}

INSTANTIATE_TEST_SUITE_P(Sizes, AFrameThatDoesNotFit,
                         ::testing::Values(BadFrame{"OddWidth", 12, 3, 2}, BadFrame{"RowsTooShort", 8, 4, 2},
                                           BadFrame{"NotWholeRows", 9, 2, 2}, BadFrame{"NoHeight", 8, 2, 0}),
                         [](const auto& testCase) { return std::string(testCase.param.name); });

}  // namespace

}  // namespace uvccamctl
