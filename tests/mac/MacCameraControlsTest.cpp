// The standard-control accessors of a camera: what each puts on the wire on both control
// maps, the not-connected answers and the flag-byte rules of the automatic modes.
#include "mac/MacCamera.h"

#include "UVCCamSimulation.h"
#include "mac/MacCameraManager.h"
#include "support/SimulatedWorld.h"
#include "support/WireText.h"

namespace {

using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;

class CameraControls : public SimulatedWorld {
protected:
    // A camera of this model, the newest in the shared list; its request log starts empty.
    std::shared_ptr<MacCamera> attach(const char* model)
    {
        const QString id = uvccam::sim::attachCamera(model);
        deliverPending();
        // The first use of the manager reads every camera's serial number; clear after it.
        const auto camera = MacCameraManager::sharedInstance()->macCameraList().last();
        EXPECT_EQ(camera->deviceUniqueID(), id);
        device = simulator().findDevice(id);
        device->uvc()->clearRequests();
        return camera;
    }

    // Set-up fields and data of each request, as "21 01 0200 0300 2 [fb ff]".
    QStringList sent() const
    {
        QStringList lines;
        for (const auto& r : device->uvc()->requests())
            lines << uvccam::testing::wire(r);
        device->uvc()->clearRequests();
        return lines;
    }

    std::shared_ptr<SimulatedDevice> device;
};

// read: what the get gives back; anything other than the value set means the set was refused.
struct ControlCase { const char* model; int number; std::int32_t value, read; const char* set; };

class ControlsOnEachMap : public CameraControls, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(ControlsOnEachMap, SetsAndReadsItsOwnMapEntry)
{
    const ControlCase& c = GetParam();
    auto camera = attach(c.model);
    EXPECT_EQ(camera->setPropertyByNumber(c.number, c.value), c.read == c.value);
    std::int32_t value = 12345;
    ASSERT_TRUE(camera->getPropertyByNumber(c.number, &value));
    EXPECT_EQ(value, c.read);
    // The get asks the same entry and reads back the same bytes.
    const QString set = QString::fromLatin1(c.set);
    EXPECT_EQ(sent(), (QStringList{set, QString(set).replace(0, 5, QStringLiteral("a1 81"))}));
}

// One property number a line, on both maps. The RX710 keeps an unsigned brightness on unit 2;
// the LUM610's automatic-focus entry is all zero (unit 0, selector 0, no data) and stalls.
const char* const RX = "RX710";
const char* const LUM = "LUM610";
const ControlCase kControlCases[] = {
    {RX, 0, 40, 40, "21 01 0300 0200 2 [28 00]"}, {LUM, 0, 40, 40, "21 01 0300 0300 2 [28 00]"},
    {RX, 1, 200, 200, "21 01 0200 0200 2 [c8 00]"}, {LUM, 1, -5, -5, "21 01 0200 0300 2 [fb ff]"},
    {RX, 2, 6, 6, "21 01 0800 0200 2 [06 00]"}, {LUM, 2, 6, 6, "21 01 0800 0300 2 [06 00]"},
    {RX, 3, 70, 70, "21 01 0300 0200 2 [46 00]"}, {LUM, 3, 70, 70, "21 01 0700 0300 2 [46 00]"},
    {RX, 4, 2, 2, "21 01 0100 0200 4 [02 00 00 00]"}, {LUM, 4, 2, 2, "21 01 0100 0300 4 [02 00 00 00]"},
    {RX, 5, 5000, 5000, "21 01 0a00 0200 4 [88 13 00 00]"}, {LUM, 5, 5000, 5000, "21 01 0a00 0300 4 [88 13 00 00]"},
    {RX, 6, 0, 0, "21 01 0b00 0200 4 [00 00 00 00]"}, {LUM, 6, 1, 1, "21 01 0b00 0300 4 [01 00 00 00]"},
    {RX, 7, -3600, -3600, "21 01 0e00 0100 4 [f0 f1 ff ff]"}, {LUM, 7, -3600, -3600, "21 01 0e00 0100 4 [f0 f1 ff ff]"},
    {RX, 8, 3600, 3600, "21 01 0f00 0100 4 [10 0e 00 00]"}, {LUM, 8, 3600, 3600, "21 01 0100 0900 4 [10 0e 00 00]"},
    {RX, 9, 300, 300, "21 01 0b00 0100 4 [2c 01 00 00]"}, {LUM, 9, 300, 300, "21 01 0b00 0100 4 [2c 01 00 00]"},
    {RX, 10, 700, 700, "21 01 0600 0100 2 [bc 02]"}, {LUM, 10, 700, 700, "21 01 0600 0100 8 [bc 02 00 00 00 00 00 00]"},
    {RX, 11, 0, 0, "21 01 0800 0100 1 [00]"}, {LUM, 11, 1, 0, "21 01 0000 0000 0 []"},
    {RX, 12, 1000, 1000, "21 01 0400 0100 4 [e8 03 00 00]"}, {LUM, 12, 1000, 1000, "21 01 0400 0100 4 [e8 03 00 00]"},
    {RX, 13, 2, 2, "21 01 0500 0200 2 [02 00]"}, {LUM, 13, 2, 2, "21 01 0500 0300 2 [02 00]"}};

INSTANTIATE_TEST_SUITE_P(Maps, ControlsOnEachMap, ::testing::ValuesIn(kControlCases));

// Not connected, a camera answers every number without a request: 0 for the modes, the
// not-connected value for the rest, and no set succeeds.
TEST_F(CameraControls, ADetachedCameraAnswersNotConnected)
{
    for (const char* model : {"RX710", "LUM610"}) {
        auto camera = attach(model);
        uvccam::sim::detach(camera->deviceUniqueID());
        for (int number = 0; number < 14; ++number) {
            std::int32_t value = 12345;
            EXPECT_FALSE(camera->setPropertyByNumber(number, 1)) << number;
            ASSERT_TRUE(camera->getPropertyByNumber(number, &value));
            EXPECT_EQ(value, number == 6 || number == 11 ? 0 : MacCamera::kNotConnected) << model << number;
        }
    }
}

TEST_F(CameraControls, AutomaticModesTakeTheFlagByte)
{
    auto lum = attach("LUM610");
    EXPECT_TRUE(lum->setPropertyByNumber(6, 256)) << "low byte 0: off";
    EXPECT_TRUE(lum->setPropertyByNumber(6, 2));
    EXPECT_FALSE(lum->getAutoFocus());
    EXPECT_EQ(sent(), (QStringList{"21 01 0b00 0300 4 [00 00 00 00]", "21 01 0b00 0300 4 [01 00 00 00]",
                                   "a1 81 0000 0000 0 []"}));

    auto rx = attach("RX710");
    EXPECT_FALSE(rx->setPropertyByNumber(11, 255)) << "-1 is out of the camera's range";
    EXPECT_TRUE(rx->getAutoFocus()) << "still on";
    // A wider entry shows the sign: the byte goes out as -1, not 255.
    rx->dev_uvc_controls.autoFocus.size = 2;
    rx->setAutoFocus(0xFF);
    rx->setAutoFocus(0x7F);
    EXPECT_EQ(sent(), (QStringList{"21 01 0800 0100 1 [ff]", "a1 81 0800 0100 1 [01]",
                                   "21 01 0800 0100 2 [ff ff]", "21 01 0800 0100 2 [7f 00]"}));
}

TEST_F(CameraControls, NumbersOutside0To13ReachNoControlAndAnAnswerOf0xFFFF8000ReadsAsNotConnected)
{
    auto camera = attach("LUM610");
    for (int number : {-1, 14}) {
        std::int32_t value = 12345;
        EXPECT_FALSE(camera->getPropertyByNumber(number, &value));
        EXPECT_FALSE(camera->setPropertyByNumber(number, 1));
        EXPECT_EQ(value, 12345);
    }
    EXPECT_FALSE(camera->getPropertyByNumber(0, nullptr));
    EXPECT_TRUE(sent().isEmpty());
    // Deliberately indistinguishable: the core reports this value as a failure.
    device->uvc()->setControl(1, 4, UvcCameraModel::Control{4, false, 0, 0xFFFFFFFF, 0, 0xFFFF8000});
    EXPECT_EQ(camera->getExposure(), MacCamera::kNotConnected);
    EXPECT_EQ(sent(), QStringList{"a1 81 0400 0100 4 [00 80 ff ff]"});
}

}  // namespace
