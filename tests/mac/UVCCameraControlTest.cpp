// The UVC control path: the exact requests on the wire, the sign rules, the interface's
// open/close discipline and the serial number.
#include "mac/UVCCameraControl.h"

#include "UVCCamSimulation.h"
#include "mac/MacCamera.h"
#include "mac/MacUVCCam.h"
#include "support/SimulatedWorld.h"
#include "support/WireText.h"

#include <cmath>
#include <memory>

namespace {

using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;

using uvccam::testing::wire;

class UvcControl : public SimulatedWorld {
protected:
    // A camera of this model attached, and a control path to it by location.
    UvcCameraModel& attach(const char* model)
    {
        const QString id = uvccam::sim::attachCamera(model);
        device = simulator().findDevice(id);
        control = std::make_unique<UVCCameraControl>();
        control->initWithLocationID(device->profile().locationId);
        device->uvc()->clearRequests();
        return *device->uvc();
    }

    QStringList sent() const
    {
        QStringList lines;
        for (const auto& request : device->uvc()->requests())
            lines << wire(request);
        return lines;
    }

    std::shared_ptr<SimulatedDevice> device;
    std::unique_ptr<UVCCameraControl> control;
};

TEST_F(UvcControl, TypedRequestsAndAnEightByteControlPutTheClassRequestOnTheWire)
{
    UvcCameraModel& uvc = attach("LUM610");
    EXPECT_TRUE(control->setData(-5, 2, 2, 3));
    EXPECT_EQ(control->getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 2, 3), -5 + 0x10000);
    EXPECT_TRUE(control->setData(4600, 4, 10, 3));
    EXPECT_EQ(control->getDataFor(UVCCameraControl::UVC_GET_MAX, 4, 10, 3), 6500);
    const std::uint8_t contrast[2] = {0x21, 0x00};
    EXPECT_TRUE(control->setStructData(contrast, 2, 3, 3));
    std::uint8_t answer[2] = {};
    EXPECT_TRUE(control->getStructDataFor(UVCCameraControl::UVC_GET_DEF, 2, 3, 3, answer));
    EXPECT_EQ(answer[0], 50);
    // Only the low 8 bits of selector and unit reach the wire.
    EXPECT_TRUE(control->setData(1, 2, 0x103, 0x203));
    const UVCControlInfo focus = uvc_controls.absoluteFocus;
    ASSERT_EQ(focus.size, 8);
    EXPECT_FALSE(control->setValue(-1, &focus)) << "out of the focus range: the camera stalls";
    EXPECT_TRUE(control->setValue(700, &focus));
    EXPECT_EQ(control->getValueForControl(&focus), 700);
    EXPECT_EQ(uvc.control(1, 6)->current, 700);

    EXPECT_EQ(sent(), (QStringList{
        "21 01 0200 0300 2 [fb ff]", "a1 81 0200 0300 2 [fb ff]",
        "21 01 0a00 0300 4 [f8 11 00 00]", "a1 83 0a00 0300 4 [64 19 00 00]",
        "21 01 0300 0300 2 [21 00]", "a1 87 0300 0300 2 [32 00]", "21 01 0300 0300 2 [01 00]",
        "21 01 0600 0100 8 [ff ff ff ff ff ff ff ff]", "21 01 0600 0100 8 [bc 02 00 00 00 00 00 00]",
        "a1 81 0600 0100 8 [bc 02 00 00 00 00 00 00]"}));
}

// The sign rules: unit 3's brightness is kept to -127..127 both ways, unit 2's is raw.
enum Direction { Read = 1, Write = 2, Both = 3 };
struct BrightnessCase {
    const char* what;
    int unit, length;
    Direction direction;
    std::int64_t raw;    // what the camera holds
    std::int32_t value;  // what is read from it, or written to give it
};

class Brightness : public UvcControl, public ::testing::WithParamInterface<BrightnessCase> {};

TEST_P(Brightness, FollowsTheSignRulesOfItsUnit)
{
    const BrightnessCase& c = GetParam();
    UvcCameraModel& uvc = attach("LUM610");
    // Give the control the width and range that let the raw value through.
    uvc.setControl(c.unit, 2, UvcCameraModel::Control{c.length, false, 0, 0xFFFF, 0, c.raw});
    const UVCControlInfo brightness{c.unit, 2, c.length};
    if (c.direction & Read) {
        EXPECT_EQ(control->getValueForControl(&brightness), c.value) << c.what;
    }
    if (c.direction & Write) {
        uvc.setControl(c.unit, 2, UvcCameraModel::Control{c.length, false, 0, 0xFFFF, 0, 0x1234});
        EXPECT_TRUE(control->setValue(c.value, &brightness)) << c.what;
        EXPECT_EQ(uvc.control(c.unit, 2)->current, c.raw) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Values, Brightness, ::testing::Values(
    BrightnessCase{"negative on unit 3", 3, 2, Both, 0xFFFB, -5},
    BrightnessCase{"lowest negative on unit 3", 3, 2, Both, 0xFF81, -127},
    BrightnessCase{"highest positive on unit 3", 3, 2, Both, 0x007F, 127},
    BrightnessCase{"128 is out of range on unit 3", 3, 2, Read, 0x0080, 0},
    BrightnessCase{"0xFF80 is out of range on unit 3", 3, 2, Read, 0xFF80, 0},
    BrightnessCase{"one byte: -1 after the get, then out of range", 3, 1, Read, 0xFF, 0},
    BrightnessCase{"-128 is out of range on unit 3", 3, 2, Write, 0, -128},
    BrightnessCase{"200 is out of range on unit 3", 3, 2, Write, 0, 200},
    BrightnessCase{"the raw form is out of range on unit 3", 3, 2, Write, 0, 0xFFFB},
    BrightnessCase{"unit 2 has no sign rule", 2, 2, Both, 0xFFFB, 65531}));

TEST(LinearMapping, ScalesInSinglePrecisionAndDividesByZeroToNoNumber)
{
    EXPECT_FLOAT_EQ(UVCCameraControl::mapValue(5, 0, 10, 0, 100), 50.0f);
    EXPECT_FLOAT_EQ(UVCCameraControl::mapValue(0, -1, 1, 0, 255), 127.5f);
    EXPECT_FALSE(std::isfinite(UVCCameraControl::mapValue(3, 2, 2, 0, 1)));
}

TEST_F(UvcControl, OpensAndClosesAroundEveryRequestAndToleratesOnlyExclusiveAccess)
{
    UvcCameraModel& uvc = attach("RX240");
    control->getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 8, 3);
    control->setData(1, 2, 8, 3);
    EXPECT_EQ(uvc.interfaceOpens(), 2);
    EXPECT_FALSE(uvc.isInterfaceOpen());

    uvc.clearRequests();
    uvc.setOpenFault(UvcCameraModel::OpenFault::Fails);
    EXPECT_FALSE(control->setData(3, 2, 8, 3));
    EXPECT_EQ(control->getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 8, 3), 0);
    EXPECT_TRUE(uvc.requests().empty()) << "an interface that cannot open sends nothing";

    uvc.setOpenFault(UvcCameraModel::OpenFault::ExclusiveAccess);
    EXPECT_TRUE(control->setData(3, 2, 8, 3));
    EXPECT_EQ(uvc.control(3, 8)->current, 3);
    EXPECT_FALSE(uvc.isInterfaceOpen());
}

TEST_F(UvcControl, FailedRequestsReadAsZeroAndUncarriableOnesAreNotSent)
{
    UvcCameraModel& uvc = attach("RX240");
    EXPECT_FALSE(control->setData(1, -1, 3, 3));
    EXPECT_FALSE(control->setData(1, 0x10000, 3, 3));
    EXPECT_FALSE(control->setStructData(nullptr, 2, 3, 3));
    EXPECT_FALSE(control->getStructDataFor(UVCCameraControl::UVC_GET_CUR, 2, 3, 3, nullptr));
    EXPECT_TRUE(uvc.requests().empty());

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
    EXPECT_EQ(logged(LogChannel::QtDebug), QStringList{"CameraControl Error: IOCreatePlugInInterfaceForService returned 0xe00002e2."});

    UVCCameraControl byLocation;
    byLocation.initWithLocationID(0x0BADBEEF);
    EXPECT_FALSE(byLocation.hasInterface());
    EXPECT_FALSE(byLocation.setData(1, 2, 2, 2));
    EXPECT_FALSE(byLocation.serialNum());
    UVCCameraControl byIds;
    byIds.initWithVendorID(0x2A3B, 0x2574);
    EXPECT_TRUE(byIds.hasInterface());
    EXPECT_FALSE(byIds.serialNum()) << "this path does not read the serial number";
    UVCCameraControl wrongIds;
    wrongIds.initWithVendorID(0x2A3B + 0x100000000LL, 0x9999);
    EXPECT_FALSE(wrongIds.hasInterface());
}

enum class SerialFault { None, Index, Request };
struct SerialCase {
    const char* what;
    SerialFault fault;
    QByteArray descriptor;
    const char *serial, *outputLog;  // nullptr: none
};

class SerialNumber : public UvcControl, public ::testing::WithParamInterface<SerialCase> {};

TEST_P(SerialNumber, IsDecodedOnlyFromAWholeDescriptorAndFailuresAreLogged)
{
    const SerialCase& c = GetParam();
    const QString id = uvccam::sim::attachCamera("RX710");
    UvcCameraModel& uvc = *simulator().findDevice(id)->uvc();
    uvc.setSerialDescriptor(c.descriptor);
    uvc.setSerialIndexFails(c.fault == SerialFault::Index);
    uvc.setSerialRequestFails(c.fault == SerialFault::Request);
    UVCCameraControl path;
    path.initWithLocationID(simulator().findDevice(id)->profile().locationId);
    EXPECT_TRUE(path.hasInterface());
    EXPECT_EQ(path.serialNum(), c.serial ? std::optional(QString::fromUtf8(c.serial)) : std::nullopt) << c.what;
    const QString text = QString::fromUtf8(c.serial ? c.serial : "(null)");
    EXPECT_EQ(logged(LogChannel::System), QStringList{"DeviceSerialNumber = " + text});
    EXPECT_EQ(logged(LogChannel::StandardError), c.serial ? QStringList{text} : QStringList{});
    EXPECT_EQ(logged(LogChannel::StandardOutput), c.outputLog ? QStringList{c.outputLog} : QStringList{});
}

INSTANTIATE_TEST_SUITE_P(Descriptors, SerialNumber, ::testing::Values(
    SerialCase{"ASCII", SerialFault::None, QByteArray::fromHex("08 03 41 00 42 00 37 00"), "AB7", nullptr},
    SerialCase{"beyond Latin-1", SerialFault::None, QByteArray::fromHex("06 03 ac 20 78 00"), "\xE2\x82\xAC" "x", nullptr},
    SerialCase{"empty string", SerialFault::None, QByteArray::fromHex("02 03"), "", nullptr},
    SerialCase{"length below 2", SerialFault::None, QByteArray::fromHex("01 03 41 00"), nullptr, nullptr},
    SerialCase{"odd length", SerialFault::None, QByteArray::fromHex("05 03 41 00 42"), nullptr, nullptr},
    SerialCase{"claims more than arrived", SerialFault::None, QByteArray::fromHex("0a 03 41 00"), nullptr, nullptr},
    SerialCase{"no string index", SerialFault::Index, {}, nullptr, "Could not get serial number string index (error: e00002bc)\n"},
    SerialCase{"request fails", SerialFault::Request, {}, nullptr, "Could not get serial number string using index\n"}));

// Through the library's own objects: the selected camera's controls answer real requests.
struct MapCase { const char* model; std::int32_t value; QStringList wire; };

class CameraControlsThroughTheCore : public UvcControl, public ::testing::WithParamInterface<MapCase> {};

TEST_P(CameraControlsThroughTheCore, SetAndReadBrightnessOnTheCamerasMap)
{
    const MapCase& c = GetParam();
    const QString id = uvccam::sim::attachCamera(c.model);
    std::unique_ptr<UVCCam> camera(acquireUVCCam());
    ASSERT_EQ(camera->getDeviceInfo().deviceUniqueId, id);
    MacCamera& selected = *macUVCCamOC->currentCamera;
    device = simulator().findDevice(id);
    UvcCameraModel& uvc = *device->uvc();
    uvc.clearRequests();
    EXPECT_EQ(camera->getDeviceSN(), device->profile().serialNumber);
    EXPECT_TRUE(selected.setValue(c.value, &selected.dev_uvc_controls.brightness));
    EXPECT_EQ(selected.getValueForControl(&selected.dev_uvc_controls.brightness), c.value);
    EXPECT_EQ(uvc.control(uvc.processingUnit(), 2)->current, c.value);
    EXPECT_EQ(sent(), c.wire);
}

INSTANTIATE_TEST_SUITE_P(Maps, CameraControlsThroughTheCore, ::testing::Values(
    // The RX710 keeps an unsigned brightness on unit 2; the others a signed one on unit 3.
    MapCase{"RX710", 200, {"21 01 0200 0200 2 [c8 00]", "a1 81 0200 0200 2 [c8 00]"}},
    MapCase{"LUM610", -5, {"21 01 0200 0300 2 [fb ff]", "a1 81 0200 0300 2 [fb ff]"}}));

}  // namespace
