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
    // A camera of this model from the shared list; its request log starts empty.
    std::shared_ptr<MacCamera> attach(const char* model)
    {
        const QString id = uvccam::sim::attachCamera(model);
        deliverPending();
        // The first use of the manager reads every camera's serial number; clear after it.
        const auto& cameras = MacCameraManager::sharedInstance()->macCameraList();
        device = simulator().findDevice(id);
        device->uvc()->clearRequests();
        for (const auto& camera : cameras) {
            if (camera->deviceUniqueID() == id)
                return camera;
        }
        ADD_FAILURE() << "no camera listed for " << model;
        return nullptr;
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

struct ControlCase {
    const char* model;
    int number;
    std::int32_t value;
    bool accepted;
    std::int32_t read;
    const char* set;  // the get asks the same entry and reads back the same bytes
};

class ControlsOnEachMap : public CameraControls, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(ControlsOnEachMap, SetsAndReadsItsOwnMapEntry)
{
    const ControlCase& c = GetParam();
    auto camera = attach(c.model);
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->setPropertyByNumber(c.number, c.value), c.accepted);
    std::int32_t value = 12345;
    ASSERT_TRUE(camera->getPropertyByNumber(c.number, &value));
    EXPECT_EQ(value, c.read);
    const QString set = QString::fromLatin1(c.set);
    EXPECT_EQ(sent(), (QStringList{set, QString(set).replace(0, 5, QStringLiteral("a1 81"))}));
}

INSTANTIATE_TEST_SUITE_P(Maps, ControlsOnEachMap, ::testing::Values(
    ControlCase{"RX710", 0, 40, true, 40, "21 01 0300 0200 2 [28 00]"},
    // The RX710 keeps an unsigned brightness on unit 2.
    ControlCase{"RX710", 1, 200, true, 200, "21 01 0200 0200 2 [c8 00]"},
    ControlCase{"RX710", 2, 6, true, 6, "21 01 0800 0200 2 [06 00]"},
    ControlCase{"RX710", 3, 70, true, 70, "21 01 0300 0200 2 [46 00]"},
    ControlCase{"RX710", 4, 2, true, 2, "21 01 0100 0200 4 [02 00 00 00]"},
    ControlCase{"RX710", 5, 5000, true, 5000, "21 01 0a00 0200 4 [88 13 00 00]"},
    ControlCase{"RX710", 6, 0, true, 0, "21 01 0b00 0200 4 [00 00 00 00]"},
    ControlCase{"RX710", 7, -3600, true, -3600, "21 01 0e00 0100 4 [f0 f1 ff ff]"},
    ControlCase{"RX710", 8, 3600, true, 3600, "21 01 0f00 0100 4 [10 0e 00 00]"},
    ControlCase{"RX710", 9, 300, true, 300, "21 01 0b00 0100 4 [2c 01 00 00]"},
    ControlCase{"RX710", 10, 700, true, 700, "21 01 0600 0100 2 [bc 02]"},
    ControlCase{"RX710", 11, 0, true, 0, "21 01 0800 0100 1 [00]"},
    ControlCase{"RX710", 12, 1000, true, 1000, "21 01 0400 0100 4 [e8 03 00 00]"},
    ControlCase{"RX710", 13, 2, true, 2, "21 01 0500 0200 2 [02 00]"},
    ControlCase{"LUM610", 0, 40, true, 40, "21 01 0300 0300 2 [28 00]"},
    ControlCase{"LUM610", 1, -5, true, -5, "21 01 0200 0300 2 [fb ff]"},
    ControlCase{"LUM610", 2, 6, true, 6, "21 01 0800 0300 2 [06 00]"},
    ControlCase{"LUM610", 3, 70, true, 70, "21 01 0700 0300 2 [46 00]"},
    ControlCase{"LUM610", 4, 2, true, 2, "21 01 0100 0300 4 [02 00 00 00]"},
    ControlCase{"LUM610", 5, 5000, true, 5000, "21 01 0a00 0300 4 [88 13 00 00]"},
    ControlCase{"LUM610", 6, 1, true, 1, "21 01 0b00 0300 4 [01 00 00 00]"},
    ControlCase{"LUM610", 7, -3600, true, -3600, "21 01 0e00 0100 4 [f0 f1 ff ff]"},
    ControlCase{"LUM610", 8, 3600, true, 3600, "21 01 0100 0900 4 [10 0e 00 00]"},
    ControlCase{"LUM610", 9, 300, true, 300, "21 01 0b00 0100 4 [2c 01 00 00]"},
    ControlCase{"LUM610", 10, 700, true, 700, "21 01 0600 0100 8 [bc 02 00 00 00 00 00 00]"},
    // The all-zero automatic-focus entry: unit 0, selector 0, no data; the camera stalls.
    ControlCase{"LUM610", 11, 1, false, 0, "21 01 0000 0000 0 []"},
    ControlCase{"LUM610", 12, 1000, true, 1000, "21 01 0400 0100 4 [e8 03 00 00]"},
    ControlCase{"LUM610", 13, 2, true, 2, "21 01 0500 0300 2 [02 00]"}));

// Reports the camera unplugged while its USB device still answers, so that a request sent
// regardless would show in the log.
class ReportedUnplugged : public CaptureDevice {
public:
    explicit ReportedUnplugged(CaptureDevicePtr real) : real_(std::move(real)) {}
    QString uniqueID() const override { return real_->uniqueID(); }
    QString localizedName() const override { return real_->localizedName(); }
    QString modelID() const override { return real_->modelID(); }
    bool hasMediaType(MediaType type) const override { return real_->hasMediaType(type); }
    bool isConnected() const override { return false; }

private:
    CaptureDevicePtr real_;
};

TEST_F(CameraControls, ANotConnectedCameraSendsNothing)
{
    const auto rx = attach("RX710");
    auto unplugged = MacCamera::initWithCaptureDevice(std::make_shared<ReportedUnplugged>(rx->captureDevice()));
    const auto reachable = device;
    auto detached = attach("LUM610");
    uvccam::sim::detach(detached->deviceUniqueID());
    reachable->uvc()->clearRequests();
    for (MacCamera* camera : {unplugged.get(), detached.get()}) {
        for (int number = 0; number < 14; ++number) {
            std::int32_t value = 12345;
            EXPECT_FALSE(camera->setPropertyByNumber(number, 1)) << number;
            ASSERT_TRUE(camera->getPropertyByNumber(number, &value));
            EXPECT_EQ(value, number == 6 || number == 11 ? 0 : MacCamera::kNotConnected) << number;
        }
    }
    EXPECT_TRUE(reachable->uvc()->requests().empty());
}

TEST_F(CameraControls, ARealValueOf0xFFFF8000CannotBeToldFromNotConnected)
{
    auto camera = attach("LUM610");
    // Deliberately indistinguishable: the core reports this value as a failure.
    device->uvc()->setControl(1, 4, UvcCameraModel::Control{4, false, 0, 0xFFFFFFFF, 0, 0xFFFF8000});
    EXPECT_EQ(camera->getExposure(), MacCamera::kNotConnected);
    EXPECT_EQ(sent(), QStringList{"a1 81 0400 0100 4 [00 80 ff ff]"});
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

TEST_F(CameraControls, NumbersOutside0To13ReachNoControl)
{
    auto camera = attach("RX710");
    for (int number : {-1, 14}) {
        std::int32_t value = 12345;
        EXPECT_FALSE(camera->getPropertyByNumber(number, &value));
        EXPECT_FALSE(camera->setPropertyByNumber(number, 1));
        EXPECT_EQ(value, 12345);
    }
    EXPECT_FALSE(camera->getPropertyByNumber(0, nullptr));
    EXPECT_TRUE(sent().isEmpty());
}

}  // namespace
