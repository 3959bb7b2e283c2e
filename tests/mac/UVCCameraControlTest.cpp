// The UVC control path: the exact requests on the wire, the sign rules, the interface's
// open/close discipline and the serial number.
#include "mac/UVCCameraControl.h"

#include "UVCCamSimulation.h"
#include "mac/MacCamera.h"
#include "support/SimulatedWorld.h"
#include "support/WireText.h"

#include <cmath>
#include <memory>
#include <vector>

namespace {

using uvccam::testing::SimulatedWorld;
using uvccam::testing::wire;
using namespace uvccam::platform;

class UvcControl : public SimulatedWorld {
protected:
    // A camera of this model attached, and a control path to it by location.
    UvcCameraModel& attach(const char* model)
    {
        device = simulator().findDevice(uvccam::sim::attachCamera(model));
        control = std::make_unique<UVCCameraControl>();
        control->initWithLocationID(device->profile().locationId);
        device->uvc()->clearRequests();
        return *device->uvc();
    }

    std::shared_ptr<SimulatedDevice> device;
    std::unique_ptr<UVCCameraControl> control;
};

TEST_F(UvcControl, TypedRequestsPutTheClassRequestOnTheWire)
{
    // Typed sets and gets of every standard control, and GET_MIN, GET_MAX and GET_DEF, are on
    // the wire in the core's control and range tests.
    attach("LUM610");
    const std::uint8_t contrast[2] = {0x21, 0x00};
    EXPECT_TRUE(control->setStructData(contrast, 2, 3, 3));
    std::uint8_t answer[2] = {};
    EXPECT_TRUE(control->getStructDataFor(UVCCameraControl::UVC_GET_DEF, 2, 3, 3, answer));
    EXPECT_EQ(answer[0], 50);
    // Only the low 8 bits of selector and unit reach the wire; past four bytes the sign fills.
    EXPECT_TRUE(control->setData(1, 2, 0x103, 0x203));
    EXPECT_FALSE(control->setValue(-1, &uvc_controls.absoluteFocus)) << "out of the focus range: the camera stalls";
    QStringList sent;
    for (const auto& request : device->uvc()->requests())
        sent << wire(request);
    EXPECT_EQ(sent, (QStringList{"21 01 0300 0300 2 [21 00]", "a1 87 0300 0300 2 [32 00]", "21 01 0300 0300 2 [01 00]",
                               "21 01 0600 0100 8 [ff ff ff ff ff ff ff ff]"}));
}

// Unit 3's brightness is kept to -127..127 both ways (out of range reads and writes 0);
// unit 2's is raw.
TEST_F(UvcControl, BrightnessFollowsTheSignRulesOfItsUnit)
{
    enum { Read = 1, Write = 2, Both = 3 };
    // raw: what the camera holds; value: what is read from it, or written to give it.
    const struct { int unit, direction; std::int64_t raw; std::int32_t value; } cases[] = {
        {3, Both, 0xFFFB, -5}, {3, Both, 0xFF81, -127}, {3, Both, 0x007F, 127}, {3, Read, 0x0080, 0},
        {3, Read, 0xFF80, 0}, {3, Write, 0, -128}, {3, Write, 0, 200}, {3, Write, 0, 0xFFFB},
        {2, Both, 0xFFFB, 65531}};
    UvcCameraModel& uvc = attach("LUM610");
    // A range wide enough to let every raw value through.
    const auto hold = [&](int unit, int length, std::int64_t raw) {
        uvc.setControl(unit, 2, UvcCameraModel::Control{length, false, 0, 0xFFFF, 0, raw});
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        const UVCControlInfo brightness{c.unit, 2, 2};
        hold(c.unit, 2, c.raw);
        if (c.direction & Read) {
            EXPECT_EQ(control->getValueForControl(&brightness), c.value);
        }
        if (c.direction & Write) {
            hold(c.unit, 2, 0x1234);
            EXPECT_TRUE(control->setValue(c.value, &brightness));
            EXPECT_EQ(uvc.control(c.unit, 2)->current, c.raw);
        }
    }
    // A one-byte brightness is signed: 0xFF is -1, then out of range.
    hold(3, 1, 0xFF);
    EXPECT_EQ(control->getDataFor(UVCCameraControl::UVC_GET_CUR, 1, 2, 3), -1);
    const UVCControlInfo oneByte{3, 2, 1};
    EXPECT_EQ(control->getValueForControl(&oneByte), 0);
}

TEST(LinearMapping, ScalesInSinglePrecisionAndDividesByZeroToNoNumber)
{
    EXPECT_FLOAT_EQ(UVCCameraControl::mapValue(5, 0, 10, 0, 100), 50.0f);
    EXPECT_FLOAT_EQ(UVCCameraControl::mapValue(0, -1, 1, 0, 255), 127.5f);
    EXPECT_FALSE(std::isfinite(UVCCameraControl::mapValue(3, 2, 2, 0, 1)));
}

TEST_F(UvcControl, OpensAroundEveryRequestAndFailedOnesSendNothingOrReadAsZero)
{
    UvcCameraModel& uvc = attach("RX240");
    control->getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 8, 3);
    control->setData(1, 2, 8, 3);
    EXPECT_EQ(uvc.interfaceOpens(), 2);
    EXPECT_FALSE(uvc.isInterfaceOpen());
    // Lengths no transfer can carry and missing buffers never reach the camera.
    uvc.clearRequests();
    EXPECT_FALSE(control->setData(1, -1, 3, 3));
    EXPECT_FALSE(control->setData(1, 0x10000, 3, 3));
    EXPECT_FALSE(control->setStructData(nullptr, 2, 3, 3));
    EXPECT_FALSE(control->getStructDataFor(UVCCameraControl::UVC_GET_CUR, 2, 3, 3, nullptr));
    uvc.setOpenFault(UvcCameraModel::OpenFault::Fails);
    EXPECT_FALSE(control->setData(3, 2, 8, 3));
    EXPECT_EQ(control->getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 8, 3), 0);
    EXPECT_TRUE(uvc.requests().empty());

    uvc.setOpenFault(UvcCameraModel::OpenFault::ExclusiveAccess);
    EXPECT_TRUE(control->setData(3, 2, 8, 3));
    EXPECT_EQ(uvc.control(3, 8)->current, 3);
    EXPECT_FALSE(uvc.isInterfaceOpen());

    uvc.stallNextRequests(1);
    EXPECT_EQ(control->getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 3, 3), 0);
    EXPECT_EQ(control->getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 3, 3), 50);
    EXPECT_FALSE(control->setData(1, 4, 3, 3)) << "contrast is two bytes";
    EXPECT_FALSE(control->setData(1, 2, 99, 3)) << "no such selector";
    const UVCControlRange pan = control->getRangeForControl(&uvc_controls.pan);
    EXPECT_EQ(std::make_pair(pan.min, pan.max), std::make_pair(-36000L, 36000L));

    uvccam::sim::detach(device->listedUniqueID());
    EXPECT_FALSE(control->setData(1, 2, 3, 3)) << "unplugged";
    EXPECT_EQ(control->getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 3, 3), 0);
}

TEST_F(UvcControl, CreationSkipsUnreachableDevicesReadsTheSerialAndMayFindNothing)
{
    const QString first = uvccam::sim::attachCamera("RX240");
    const QString second = uvccam::sim::attachCamera("RX710");
    simulator().findDevice(first)->setUsbAccessFails(true);
    UVCCameraControl path;
    path.initWithLocationID(simulator().findDevice(second)->profile().locationId);
    EXPECT_TRUE(path.hasInterface());
    const auto& requests = simulator().findDevice(second)->uvc()->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(wire(requests[0]).left(20), QStringLiteral("80 06 0303 0409 256 "));
    EXPECT_EQ(*path.serialNum(), QStringLiteral("SIM000002"));
    EXPECT_EQ(logged(LogChannel::QtDebug),
              QStringList{"CameraControl Error: IOCreatePlugInInterfaceForService returned 0xe00002e2."});

    UVCCameraControl byLocation, byIds, wrongIds;
    byLocation.initWithLocationID(0x0BADBEEF);
    byIds.initWithVendorID(0x2A3B, 0x2574);
    wrongIds.initWithVendorID(0x2A3B + 0x100000000LL, 0x9999);
    EXPECT_EQ((std::vector<bool>{byLocation.hasInterface(), byIds.hasInterface(), wrongIds.hasInterface()}),
              (std::vector<bool>{false, true, false}));
    EXPECT_FALSE(byLocation.setData(1, 2, 2, 2));
    EXPECT_FALSE(byLocation.serialNum());
    EXPECT_FALSE(byIds.serialNum()) << "this path does not read the serial number";
}

TEST_F(UvcControl, TheSerialNumberIsDecodedOnlyFromAWholeDescriptorAndFailuresAreLogged)
{
    enum Fault { None, Index, Request };
    const struct { Fault fault; const char *descriptor, *serial, *output; } cases[] = {
        {None, "08 03 41 00 42 00 37 00", "AB7", nullptr}, {None, "06 03 ac 20 78 00", "\xE2\x82\xAC" "x", nullptr},
        {None, "02 03", "", nullptr},
        // Lengths below 2, odd, or claiming more than arrived.
        {None, "01 03 41 00", nullptr, nullptr}, {None, "05 03 41 00 42", nullptr, nullptr},
        {None, "0a 03 41 00", nullptr, nullptr},
        {Index, "", nullptr, "Could not get serial number string index (error: e00002bc)\n"},
        {Request, "", nullptr, "Could not get serial number string using index\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        log().clear();
        const auto camera = simulator().findDevice(uvccam::sim::attachCamera("RX710"));
        camera->uvc()->setSerialDescriptor(QByteArray::fromHex(c.descriptor));
        camera->uvc()->setSerialIndexFails(c.fault == Index);
        camera->uvc()->setSerialRequestFails(c.fault == Request);
        UVCCameraControl path;
        path.initWithLocationID(camera->profile().locationId);
        EXPECT_TRUE(path.hasInterface());
        EXPECT_EQ(path.serialNum(), c.serial ? std::optional(QString::fromUtf8(c.serial)) : std::nullopt);
        const QString text = QString::fromUtf8(c.serial ? c.serial : "(null)");
        EXPECT_EQ(logged(LogChannel::System), QStringList{"DeviceSerialNumber = " + text});
        EXPECT_EQ(logged(LogChannel::StandardError), c.serial ? QStringList{text} : QStringList{});
        EXPECT_EQ(logged(LogChannel::StandardOutput), c.output ? QStringList{c.output} : QStringList{});
    }
}

}  // namespace
