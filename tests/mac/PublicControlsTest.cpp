// What a host does through UVCCam on the simulator: vendor properties over both routes,
// raw reports, audio properties and the standard controls with their ranges.
#include "UVCCam.h"

#include "UVCCamSimulation.h"
#include "support/SimulatedWorld.h"

#include <array>

namespace {

using uvccam::testing::SimulatedWorld;

class PublicControls : public SimulatedWorld {
protected:
    PublicControls()
    {
        rx710 = uvccam::sim::attachCamera("RX710");
        voxa = uvccam::sim::attachSpeakerphone("VOXA760");
        camera.reset(acquireUVCCam());
    }

    QString rx710, voxa;
    std::unique_ptr<UVCCam> camera;
};

TEST_F(PublicControls, VendorPropertiesRoundTripOverUvcAndHid)
{
    ASSERT_EQ(camera->getDeviceInfo().deviceUniqueId, rx710);
    std::array<std::uint8_t, 4> written{1, 2, 3, 4};
    std::array<std::uint8_t, 4> read{};
    // Extension unit 2 over UVC, in either mode.
    EXPECT_EQ(camera->setExProperty(9, written.data(), 4, 2), 0);
    EXPECT_EQ(camera->getExProperty(9, read.data(), 4, 2), 0);
    EXPECT_EQ(read, written);
    // Selector 3 of unit 1 goes over HID in HID mode: the device answers a set with the value.
    EXPECT_EQ(camera->setExProperty(3, written.data(), 4, 1), 0);
    read.fill(0);
    EXPECT_EQ(camera->getExProperty(3, read.data(), 4, 1), 0);
    EXPECT_EQ(read, written);
    // The same selector in UVC mode reaches the extension unit, where nothing was written.
    camera->setProtocolMode(0);
    EXPECT_EQ(camera->getExProperty(3, read.data(), 4, 1), 0);
    EXPECT_EQ(read, (std::array<std::uint8_t, 4>{}));

    ASSERT_EQ(camera->setDevice(voxa), 1);
    camera->setProtocolMode(1);
    std::array<std::uint8_t, 2> level{0x30, 0x31};
    EXPECT_EQ(camera->setExProperty(5, level.data(), 2, 1), 0);
    std::array<std::uint8_t, 2> echoed{};
    EXPECT_EQ(camera->getExProperty(5, echoed.data(), 2, 1), 0);
    EXPECT_EQ(echoed, level);
}

TEST_F(PublicControls, ReportsAndAudioPropertiesOfASpeakerphone)
{
    ASSERT_EQ(camera->setDevice(voxa), 1);
    std::array<std::uint8_t, 2> volume{0x40, 0x01};
    EXPECT_EQ(camera->setUACHidProperty(7, volume.data(), 2), 0);
    std::array<std::uint8_t, 2> read{};
    EXPECT_EQ(camera->getUACHidProperty(7, read.data(), 2), 0);
    EXPECT_EQ(read, volume);

    std::array<std::uint8_t, 16> report{0x21, 0x42};
    EXPECT_EQ(camera->setExHidReport(report.data(), 16, 0), 0) << "acknowledged with result 0";
    report[1] = 0x82;  // a read request: the device answers with data
    EXPECT_EQ(camera->getExHidReport(report.data(), 16), 0);
    EXPECT_EQ(report[0], 0x21);
    EXPECT_GT(report[2] | (report[3] << 8), 0);
}

TEST_F(PublicControls, StandardControlsAreReadSetAndRanged)
{
    struct Control {
        int property;
        int value;
    };
    // Brightness, exposure, focus, pan, tilt, zoom.
    for (const Control c : {Control{1, 200}, Control{12, 300}, Control{10, 512}, Control{7, -3600}, Control{8, 7200},
                            Control{9, 250}}) {
        SCOPED_TRACE(c.property);
        int min = 0, max = 0, def = 0;
        EXPECT_EQ(camera->getPropertyRange(c.property, &min, &max, &def), 0);
        EXPECT_LT(min, max);
        EXPECT_EQ(camera->setProperty(c.property, c.value, false), 0);
        int value = 0;
        EXPECT_EQ(camera->getProperty(c.property, &value), 0);
        EXPECT_EQ(value, c.value);
    }
    int value = 123;
    EXPECT_EQ(camera->getProperty(14, &value), -1);
    EXPECT_EQ(camera->getProperty(-1, &value), -1);
    EXPECT_EQ(value, 123);
    int min = 0, max = 0, def = 0;
    EXPECT_EQ(camera->getPropertyRange(13, &min, &max, &def), -1);
}

}  // namespace
