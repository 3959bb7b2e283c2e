// The standard controls through the core: what each property number puts on the wire on
// both control maps, the flag byte of the automatic modes, the not-connected answers, and
// what each row of the range table asks.
#include "mac/MacUVCCamOC.h"

#include "UVCCamSimulation.h"
#include "mac/MacCamera.h"
#include "support/SimulatedWorld.h"
#include "support/WireText.h"

#include <array>

namespace {

using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;
using Range = std::array<int, 3>;

// A simulated camera's video under a model ID that names no USB vendor, as some drivers
// give: its vendor ID reads 0, while its control path still reaches the camera.
class VendorlessCamera : public CaptureDevice {
public:
    explicit VendorlessCamera(CaptureDevicePtr video) : video_(std::move(video)) {}
    QString uniqueID() const override { return video_->uniqueID(); }
    QString localizedName() const override { return video_->localizedName(); }
    QString modelID() const override { return QStringLiteral("USB Video Device"); }
    bool hasMediaType(MediaType type) const override { return video_->hasMediaType(type); }
    bool isConnected() const override { return video_->isConnected(); }

private:
    CaptureDevicePtr video_;
};

class CameraControls : public SimulatedWorld {
protected:
    // A camera of this model, selected on a fresh core; its request log starts empty.
    void select(const char* model)
    {
        const QString id = uvccam::sim::attachCamera(model);
        deliverPending();
        core = std::make_unique<MacUVCCamOC>();
        ASSERT_EQ(core->setDevice(id), 1);
        watch(id);
    }
    void watch(const QString& id)
    {
        device = simulator().findDevice(id);
        device->uvc()->clearRequests();
    }
    // Puts this camera, seen without its vendor, in place of the selection.
    void holdWithoutVendor(const QString& id)
    {
        for (const auto& video : capture().devicesWithMediaType(MediaType::Video)) {
            if (video->uniqueID() == id)
                core->currentCamera = MacCamera::initWithCaptureDevice(std::make_shared<VendorlessCamera>(video));
        }
        ASSERT_EQ(core->currentCamera->vendorId(), 0u);
        watch(id);
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
    int range(int number, Range* stored) { return core->getPropertyRange(number, &(*stored)[0], &(*stored)[1], &(*stored)[2]); }

    std::unique_ptr<MacUVCCamOC> core;
    std::shared_ptr<SimulatedDevice> device;
};

// read: what the get gives back; anything other than the value set means the set was refused.
struct ControlCase { const char* model; int number; std::int32_t value, read; const char* set; };

// By name: gtest would otherwise print the case's raw bytes, padding included.
void PrintTo(const ControlCase& c, std::ostream* os) { *os << c.model << " #" << c.number; }

class ControlsOnEachMap : public CameraControls, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(ControlsOnEachMap, SetsAndReadsItsOwnMapEntry)
{
    const ControlCase& c = GetParam();
    select(c.model);
    EXPECT_EQ(core->setProperty(c.number, c.value, false), c.read == c.value ? 0 : -1);
    int value = 12345;
    ASSERT_EQ(core->getProperty(c.number, &value), 0);
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

// Unplugged but not yet dropped by the core, a camera answers every number without a
// request: 0 for the modes, a failure for the rest, and no set succeeds.
TEST_F(CameraControls, ADetachedCameraAnswersWithoutARequest)
{
    for (const char* model : {"RX710", "LUM610"}) {
        select(model);
        uvccam::sim::detach(core->deviceUniqueId);
        for (int number = 0; number < 14; ++number) {
            const bool mode = number == 6 || number == 11;
            int value = 12345;
            EXPECT_EQ(core->setProperty(number, 1, false), -1) << number;
            EXPECT_EQ(core->getProperty(number, &value), mode ? 0 : -1) << number;
            EXPECT_EQ(value, mode ? 0 : 12345) << model << number;
        }
        EXPECT_TRUE(sent().isEmpty());
    }
}

TEST_F(CameraControls, AutomaticModesTakeTheLowByteOfTheValue)
{
    select("LUM610");
    EXPECT_EQ(core->setProperty(6, 256, false), 0) << "low byte 0: off";
    EXPECT_EQ(core->setProperty(6, 2, false), 0);
    EXPECT_EQ(sent(), (QStringList{"21 01 0b00 0300 4 [00 00 00 00]", "21 01 0b00 0300 4 [01 00 00 00]"}));

    select("RX710");
    EXPECT_EQ(core->setProperty(11, 255, false), -1) << "-1 is out of the camera's range";
    int on = 0;
    EXPECT_EQ(core->getProperty(11, &on), 0);
    EXPECT_EQ(on, 1) << "still on";
    // A wider entry shows the sign: the byte goes out as -1, not 255.
    core->currentCamera->dev_uvc_controls.autoFocus.size = 2;
    core->setProperty(11, 0xFF, false);
    core->setProperty(11, 0x17F, false);
    EXPECT_EQ(sent(), (QStringList{"21 01 0800 0100 1 [ff]", "a1 81 0800 0100 1 [01]",
                                   "21 01 0800 0100 2 [ff ff]", "21 01 0800 0100 2 [7f 00]"}));
}

TEST_F(CameraControls, NumbersOutsideTheTablesAndAnAnswerOf0xFFFF8000Fail)
{
    MacUVCCamOC unselected;
    int value = 12345;
    Range stored{7, 7, 7};
    EXPECT_EQ(unselected.getProperty(1, &value), -1);
    EXPECT_EQ(unselected.setProperty(1, 1, false), -1);
    EXPECT_EQ(unselected.getPropertyRange(1, &value, &value, &value), -1);
    select("LUM610");
    for (int number : {-1, 14}) {
        EXPECT_EQ(core->getProperty(number, &value), -1);
        EXPECT_EQ(core->setProperty(number, 1, false), -1);
    }
    EXPECT_EQ(range(13, &stored), -1) << "power-line frequency has no range";
    EXPECT_EQ(range(-1, &stored), -1);
    EXPECT_EQ(std::make_pair(value, stored), std::make_pair(12345, Range{7, 7, 7}));
    EXPECT_TRUE(sent().isEmpty());
    // Deliberately indistinguishable from a camera that is not connected.
    device->uvc()->setControl(1, 4, UvcCameraModel::Control{4, false, 0, 0xFFFFFFFF, 0, 0xFFFF8000});
    EXPECT_EQ(core->getProperty(12, &value), -1);
    EXPECT_EQ(value, 12345);
    EXPECT_EQ(sent(), QStringList{"a1 81 0400 0100 4 [00 80 ff ff]"});
}

// The range table's rows: unit (0 for the processing unit), selector and length. They do not
// follow the control maps.
constexpr int kRangeRows[13][3] = {{0, 1, 2}, {0, 2, 1}, {0, 8, 2}, {0, 3, 2},  {0, 1, 4},  {0, 10, 4}, {0, 11, 4},
                                   {1, 14, 4}, {1, 15, 4}, {1, 11, 4}, {1, 6, 2}, {1, 8, 1}, {1, 3, 4}};

TEST_F(CameraControls, EachRangeRowAsksTheVendorsProcessingUnitAndARangeIsStoredOnlyIfMaximumExceedsMinimum)
{
    const QString lum = uvccam::sim::attachCamera("LUM610");
    select("RX710");
    Range stored{7, 7, 7};
    device->uvc()->setControl(1, 11, UvcCameraModel::Control{4, false, 300, 300, 300, 300});
    EXPECT_EQ(range(9, &stored), -1);
    EXPECT_EQ(stored, (Range{7, 7, 7}));
    device->uvc()->setControl(1, 11, UvcCameraModel::Control{4, false, 300, 301, 300, 300});
    EXPECT_EQ(range(9, &stored), 0);
    EXPECT_EQ(stored, (Range{300, 301, 300}));
    sent();  // from here on, only the rows' requests
    // The maker's camera asks processing unit 2, a camera of any other vendor unit 3.
    for (int pu : {2, 3}) {
        if (pu == 3)
            holdWithoutVendor(lum);
        QStringList expected, asked;
        QString results;
        for (int number = 0; number < 13; ++number) {
            const auto& [unit, selector, length] = kRangeRows[number];
            for (const char* request : {"82", "83", "87"})
                expected << QStringLiteral("a1 %1 %2 %3 %4")
                                .arg(QLatin1String(request))
                                .arg(selector << 8, 4, 16, QLatin1Char('0'))
                                .arg((unit ? unit : pu) << 8, 4, 16, QLatin1Char('0'))
                                .arg(length);
            results += range(number, &stored) == 0 ? '+' : '-';
        }
        for (const QString& line : sent())
            asked << line.section(QStringLiteral(" ["), 0, 0);
        EXPECT_EQ(asked, expected);
        // Every control asked exists on both cameras except automatic focus on the LUM610.
        EXPECT_EQ(results, pu == 2 ? "+++++++++++++" : "+++++++++++-+");
    }
    // One byte of brightness on unit 3: 0x81 reads as -127, and no brightness mapping
    // (which would turn it into 0) follows.
    EXPECT_EQ(range(1, &stored), 0);
    EXPECT_EQ(stored, (Range{-127, 127, 0}));
}

}  // namespace
