// What a host does through UVCCam on the simulator: vendor properties over both routes,
// raw reports, audio properties and the standard controls with their ranges.
#include "UVCCam.h"

#include "UVCCamSimulation.h"
#include "support/SimulatedWorld.h"

#include <array>
#include <utility>

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

TEST_F(PublicControls, CameraVendorPropertiesRoundTripOverUvcAndHid)
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
}

TEST_F(PublicControls, SpeakerphoneAudioPropertiesAndReports)
{
    ASSERT_EQ(camera->setDevice(voxa), 1);
    std::array<std::uint8_t, 2> written{0x40, 0x01};
    std::array<std::uint8_t, 2> read{};
    EXPECT_EQ(camera->setUACHidProperty(7, written.data(), 2), 0);
    EXPECT_EQ(camera->getUACHidProperty(7, read.data(), 2), 0);
    EXPECT_EQ(read, written);

    std::array<std::uint8_t, 16> report{0x21, 0x42};
    EXPECT_EQ(camera->setExHidReport(report.data(), 16, 0), 0) << "acknowledged with result 0";
    report[1] = 0x82;  // a read request: the device answers with data
    EXPECT_EQ(camera->getExHidReport(report.data(), 16), 0);
    EXPECT_EQ(report[0], 0x21);
    EXPECT_GT(report[2] | (report[3] << 8), 0);
}

TEST_F(PublicControls, StandardControlsAreReadSetAndRanged)
{
    // Brightness, exposure, focus, pan, tilt, zoom, with a value each within range.
    for (const auto& [property, wanted] :
         std::initializer_list<std::pair<int, int>>{{1, 200}, {12, 300}, {10, 512}, {7, -3600}, {8, 7200}, {9, 250}}) {
        SCOPED_TRACE(property);
        int min = 0, max = 0, def = 0, value = 0;
        EXPECT_EQ(camera->getPropertyRange(property, &min, &max, &def), 0);
        EXPECT_LT(min, max);
        EXPECT_EQ(camera->setProperty(property, wanted, false), 0);
        EXPECT_EQ(camera->getProperty(property, &value), 0);
        EXPECT_EQ(value, wanted);
    }
}

}  // namespace
