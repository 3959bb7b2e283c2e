// The UVC control path: the exact requests on the wire, the sign rules, the interface's
// open/close discipline and the serial number.
#include "mac/UVCCameraControl.h"

#include "UVCCamSimulation.h"
#include "mac/MacCamera.h"
#include "mac/MacUVCCam.h"
#include "support/SimulatedWorld.h"

#include <cmath>
#include <memory>

namespace {

using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

// What the library put on the wire: set-up fields and data, as one comparable text.
QString wire(const UvcCameraModel::Request& r)
{
    return QStringLiteral("%1 %2 %3 %4 %5 [%6]")
        .arg(r.setup.bmRequestType, 2, 16, QLatin1Char('0'))
        .arg(r.setup.bRequest, 2, 16, QLatin1Char('0'))
        .arg(r.setup.wValue, 4, 16, QLatin1Char('0'))
        .arg(r.setup.wIndex, 4, 16, QLatin1Char('0'))
        .arg(r.setup.wLength)
        .arg(QString::fromLatin1(r.data.toHex(' ')));
}

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

TEST_F(UvcControl, TypedRequestsPutTheClassRequestOnTheWire)
{
    attach("LUM610");
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

    EXPECT_EQ(sent(), (QStringList{
        "21 01 0200 0300 2 [fb ff]", "a1 81 0200 0300 2 [fb ff]",
        "21 01 0a00 0300 4 [f8 11 00 00]", "a1 83 0a00 0300 4 [64 19 00 00]",
        "21 01 0300 0300 2 [21 00]", "a1 87 0300 0300 2 [32 00]",
        "21 01 0300 0300 2 [01 00]"}));
}

TEST_F(UvcControl, AnEightByteControlIsSentAndReadWhole)
{
    UvcCameraModel& uvc = attach("LUM610");
    const UVCControlInfo focus = uvc_controls.absoluteFocus;
    ASSERT_EQ(focus.size, 8);
    EXPECT_TRUE(control->setValue(-1, &focus) == false) << "out of the focus range: the camera stalls";
    EXPECT_TRUE(control->setValue(700, &focus));
    EXPECT_EQ(control->getValueForControl(&focus), 700);
    EXPECT_EQ(uvc.control(1, 6)->current, 700);
    EXPECT_EQ(sent()[1], QStringLiteral("21 01 0600 0100 8 [bc 02 00 00 00 00 00 00]"));
    EXPECT_EQ(sent()[0], QStringLiteral("21 01 0600 0100 8 [ff ff ff ff ff ff ff ff]"));
}

struct BrightnessCase {
    const char* what;
    int unit;
    int length;
    std::int64_t deviceValue;  // what the camera holds
    std::int32_t read;         // what getValueForControl gives
};

class BrightnessReading : public UvcControl, public ::testing::WithParamInterface<BrightnessCase> {};

TEST_P(BrightnessReading, FollowsTheSignRulesOfItsUnit)
{
    const BrightnessCase& c = GetParam();
    UvcCameraModel& uvc = attach("LUM610");
    // Give the control the width and range that let the raw value through.
    uvc.setControl(c.unit, 2, UvcCameraModel::Control{c.length, false, 0, 0xFFFF, 0, c.deviceValue});
    const UVCControlInfo brightness{c.unit, 2, c.length};
    EXPECT_EQ(control->getValueForControl(&brightness), c.read) << c.what;
}

INSTANTIATE_TEST_SUITE_P(Values, BrightnessReading, ::testing::Values(
    BrightnessCase{"two-byte negative on unit 3", 3, 2, 0xFFFB, -5},
    BrightnessCase{"lowest negative on unit 3", 3, 2, 0xFF81, -127},
    BrightnessCase{"128 is out of range on unit 3", 3, 2, 0x0080, 0},
    BrightnessCase{"0xFF80 is out of range on unit 3", 3, 2, 0xFF80, 0},
    BrightnessCase{"positive on unit 3", 3, 2, 0x007F, 127},
    BrightnessCase{"one byte: -1 after the get, then out of range", 3, 1, 0xFF, 0},
    BrightnessCase{"unit 2 has no sign rule", 2, 2, 0xFFFB, 65531}));

TEST_F(UvcControl, BrightnessWritesAreMappedOnUnit3Only)
{
    UvcCameraModel& uvc = attach("LUM610");
    uvc.setControl(3, 2, UvcCameraModel::Control{2, false, 0, 0xFFFF, 0, 0});
    const UVCControlInfo unit3{3, 2, 2};
    EXPECT_TRUE(control->setValue(-5, &unit3));
    EXPECT_TRUE(control->setValue(200, &unit3));
    EXPECT_TRUE(control->setValue(-200, &unit3));
    EXPECT_TRUE(control->setValue(127, &unit3));
    UvcCameraModel& rx = attach("RX710");
    rx.setControl(2, 2, UvcCameraModel::Control{2, false, 0, 0xFFFF, 0, 0});
    const UVCControlInfo unit2{2, 2, 2};
    EXPECT_TRUE(control->setValue(-5, &unit2));
    EXPECT_EQ(sent(), QStringList{"21 01 0200 0200 2 [fb ff]"});
    EXPECT_EQ(uvc.requests().size(), 4u);
    EXPECT_EQ(wire(uvc.requests()[0]), QStringLiteral("21 01 0200 0300 2 [fb ff]"));
    EXPECT_EQ(wire(uvc.requests()[1]), QStringLiteral("21 01 0200 0300 2 [00 00]"));
    EXPECT_EQ(wire(uvc.requests()[2]), QStringLiteral("21 01 0200 0300 2 [00 00]"));
    EXPECT_EQ(wire(uvc.requests()[3]), QStringLiteral("21 01 0200 0300 2 [7f 00]"));
}

TEST(BrightnessMapping, KeepsOnlyMinus127To127InBothDirections)
{
    EXPECT_EQ(UVCCameraControl::mapForBrightnessValue(0xFFFB, true), -5);
    EXPECT_EQ(UVCCameraControl::mapForBrightnessValue(0xFF81, true), -127);
    EXPECT_EQ(UVCCameraControl::mapForBrightnessValue(-5, false), 0xFFFB);
    EXPECT_EQ(UVCCameraControl::mapForBrightnessValue(-127, false), 0xFF81);
    EXPECT_EQ(UVCCameraControl::mapForBrightnessValue(-128, false), 0);
    EXPECT_EQ(UVCCameraControl::mapForBrightnessValue(-5, true), 0);
    EXPECT_EQ(UVCCameraControl::mapForBrightnessValue(0xFFFB, false), 0);
    EXPECT_EQ(UVCCameraControl::mapForBrightnessValue(128, true), 0);
    EXPECT_EQ(UVCCameraControl::mapForBrightnessValue(0, true), 0);
    EXPECT_EQ(UVCCameraControl::mapForBrightnessValue(127, false), 127);
}

TEST(LinearMapping, ScalesAndDividesByZeroInFloatingPoint)
{
    EXPECT_FLOAT_EQ(UVCCameraControl::mapValue(5, 0, 10, 0, 100), 50.0f);
    EXPECT_FLOAT_EQ(UVCCameraControl::mapValue(0, -1, 1, 0, 255), 127.5f);
    EXPECT_FALSE(std::isfinite(UVCCameraControl::mapValue(3, 2, 2, 0, 1)));
}

TEST_F(UvcControl, ExclusiveAccessStillSendsAndCloses)
{
    UvcCameraModel& uvc = attach("RX240");
    uvc.setOpenFault(UvcCameraModel::OpenFault::ExclusiveAccess);
    EXPECT_TRUE(control->setData(3, 2, 8, 3));
    EXPECT_EQ(uvc.control(3, 8)->current, 3);
    EXPECT_FALSE(uvc.isInterfaceOpen());
}

TEST_F(UvcControl, AnInterfaceThatCannotOpenSendsNothing)
{
    UvcCameraModel& uvc = attach("RX240");
    uvc.setOpenFault(UvcCameraModel::OpenFault::Fails);
    EXPECT_FALSE(control->setData(3, 2, 8, 3));
    EXPECT_EQ(control->getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 8, 3), 0);
    EXPECT_TRUE(uvc.requests().empty());
}

TEST_F(UvcControl, OpensAndClosesAroundEveryRequest)
{
    UvcCameraModel& uvc = attach("RX240");
    control->getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 8, 3);
    control->setData(1, 2, 8, 3);
    EXPECT_EQ(uvc.interfaceOpens(), 2);
    EXPECT_FALSE(uvc.isInterfaceOpen());
}

TEST_F(UvcControl, StallsAndWrongLengthsFailAndReadAsZero)
{
    UvcCameraModel& uvc = attach("RX240");
    uvc.stallNextRequests(1);
    EXPECT_EQ(control->getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 3, 3), 0);
    EXPECT_EQ(control->getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 3, 3), 50);
    EXPECT_FALSE(control->setData(1, 4, 3, 3)) << "contrast is two bytes";
    EXPECT_FALSE(control->setData(1, 2, 99, 3)) << "no such selector";
    // A control whose limits cannot be read has the range (0, 0).
    const UVCControlInfo unknown{12, 1, 2};
    const UVCControlRange range = control->getRangeForControl(&unknown);
    EXPECT_EQ(range.min, 0);
    EXPECT_EQ(range.max, 0);
    const UVCControlRange pan = control->getRangeForControl(&uvc_controls.pan);
    EXPECT_EQ(pan.min, -36000);
    EXPECT_EQ(pan.max, 36000);
}

TEST_F(UvcControl, RefusesLengthsTheWireCannotCarry)
{
    UvcCameraModel& uvc = attach("RX240");
    EXPECT_FALSE(control->setData(1, -1, 3, 3));
    EXPECT_FALSE(control->setData(1, 0x10000, 3, 3));
    EXPECT_FALSE(control->setStructData(nullptr, 2, 3, 3));
    EXPECT_FALSE(control->getStructDataFor(UVCCameraControl::UVC_GET_CUR, 2, 3, 3, nullptr));
    EXPECT_TRUE(uvc.requests().empty());
}

TEST_F(UvcControl, AnUnpluggedCameraFailsEveryRequest)
{
    attach("RX240");
    uvccam::sim::detach(device->listedUniqueID());
    EXPECT_FALSE(control->setData(1, 2, 3, 3));
    EXPECT_EQ(control->getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 3, 3), 0);
}

TEST_F(UvcControl, FindingNoDeviceLeavesNoInterface)
{
    uvccam::sim::attachCamera("RX710");
    UVCCameraControl byLocation;
    byLocation.initWithLocationID(0x0BADBEEF);
    EXPECT_FALSE(byLocation.hasInterface());
    EXPECT_FALSE(byLocation.setData(1, 2, 2, 2));
    EXPECT_EQ(byLocation.getDataFor(UVCCameraControl::UVC_GET_CUR, 2, 2, 2), 0);
    EXPECT_FALSE(byLocation.serialNum());

    UVCCameraControl byIds;
    byIds.initWithVendorID(0x2A3B, 0x2574);
    EXPECT_TRUE(byIds.hasInterface());
    EXPECT_FALSE(byIds.serialNum()) << "this path does not read the serial number";
    UVCCameraControl wrongIds;
    wrongIds.initWithVendorID(0x2A3B + 0x100000000LL, 0x9999);
    EXPECT_FALSE(wrongIds.hasInterface());
}

TEST_F(UvcControl, LogsDevicesItCannotReachAndGoesOn)
{
    const QString first = uvccam::sim::attachCamera("RX240");
    const QString second = uvccam::sim::attachCamera("RX710");
    simulator().findDevice(first)->setUsbAccessFails(true);
    UVCCameraControl path;
    path.initWithLocationID(simulator().findDevice(second)->profile().locationId);
    EXPECT_TRUE(path.hasInterface());
    EXPECT_EQ(logged(LogChannel::QtDebug),
              QStringList{"CameraControl Error: IOCreatePlugInInterfaceForService returned 0xe00002e2."});
    EXPECT_EQ(logged(LogChannel::System), QStringList{"DeviceSerialNumber = SIM000002"});
    EXPECT_EQ(logged(LogChannel::StandardError), QStringList{"SIM000002"});
}

struct SerialCase {
    const char* what;
    QByteArray descriptor;
    bool hasSerial;
    const char* serial;
};

class SerialNumber : public UvcControl, public ::testing::WithParamInterface<SerialCase> {};

TEST_P(SerialNumber, IsDecodedOnlyFromAWholeDescriptor)
{
    const SerialCase& c = GetParam();
    const QString id = uvccam::sim::attachCamera("RX710");
    simulator().findDevice(id)->uvc()->setSerialDescriptor(c.descriptor);
    UVCCameraControl path;
    path.initWithLocationID(simulator().findDevice(id)->profile().locationId);
    ASSERT_EQ(path.serialNum().has_value(), c.hasSerial) << c.what;
    if (c.hasSerial) {
        EXPECT_EQ(*path.serialNum(), QString::fromUtf8(c.serial)) << c.what;
    }
}

INSTANTIATE_TEST_SUITE_P(Descriptors, SerialNumber, ::testing::Values(
    SerialCase{"ASCII", bytes({8, 3, 'A', 0, 'B', 0, '7', 0}), true, "AB7"},
    SerialCase{"beyond Latin-1", bytes({6, 3, 0xAC, 0x20, 'x', 0}), true, "\xE2\x82\xAC" "x"},
    SerialCase{"empty string", bytes({2, 3}), true, ""},
    SerialCase{"length below 2", bytes({1, 3, 'A', 0}), false, ""},
    SerialCase{"odd length", bytes({5, 3, 'A', 0, 'B'}), false, ""},
    SerialCase{"claims more than arrived", bytes({10, 3, 'A', 0}), false, ""}));

TEST_F(UvcControl, SerialNumberFailuresAreReportedOnStandardOutput)
{
    const QString id = uvccam::sim::attachCamera("RX710");
    UvcCameraModel& uvc = *simulator().findDevice(id)->uvc();
    const std::uint32_t location = simulator().findDevice(id)->profile().locationId;
    uvc.setSerialIndexFails(true);
    UVCCameraControl first;
    first.initWithLocationID(location);
    uvc.setSerialIndexFails(false);
    uvc.setSerialRequestFails(true);
    UVCCameraControl second;
    second.initWithLocationID(location);

    EXPECT_FALSE(first.serialNum());
    EXPECT_FALSE(second.serialNum());
    EXPECT_TRUE(first.hasInterface());
    EXPECT_EQ(logged(LogChannel::StandardOutput), (QStringList{"Could not get serial number string index (error: e00002bc)\n",
                                                               "Could not get serial number string using index\n"}));
    EXPECT_EQ(logged(LogChannel::System), (QStringList{"DeviceSerialNumber = (null)", "DeviceSerialNumber = (null)"}));
}

TEST_F(UvcControl, TheSerialDescriptorRequestIsTheStandardOne)
{
    const QString id = uvccam::sim::attachCamera("RX710");
    UVCCameraControl path;
    path.initWithLocationID(simulator().findDevice(id)->profile().locationId);
    const auto& requests = simulator().findDevice(id)->uvc()->requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(wire(requests[0]).left(20), QStringLiteral("80 06 0303 0409 256 "));
    EXPECT_EQ(*path.serialNum(), QStringLiteral("SIM000001"));
}

// Through the library's own objects: the selected camera's controls answer real requests.
struct MapCase {
    const char* model;
    std::int32_t value;
    QStringList wire;
};

class CameraControlsThroughTheCore : public SimulatedWorld, public ::testing::WithParamInterface<MapCase> {};

TEST_P(CameraControlsThroughTheCore, SetAndReadBrightnessOnTheCamerasMap)
{
    const MapCase& c = GetParam();
    const QString id = uvccam::sim::attachCamera(c.model);
    std::unique_ptr<UVCCam> camera(acquireUVCCam());
    ASSERT_EQ(camera->getDeviceInfo().deviceUniqueId, id);
    MacCamera& selected = *macUVCCamOC->currentCamera;
    UvcCameraModel& uvc = *simulator().findDevice(id)->uvc();
    uvc.clearRequests();

    EXPECT_EQ(camera->getDeviceSN(), QString::fromUtf8(simulator().findDevice(id)->profile().serialNumber.toUtf8()));
    EXPECT_TRUE(selected.setValue(c.value, &selected.dev_uvc_controls.brightness));
    EXPECT_EQ(selected.getValueForControl(&selected.dev_uvc_controls.brightness), c.value);
    EXPECT_EQ(uvc.control(uvc.processingUnit(), 2)->current, c.value);
    QStringList lines;
    for (const auto& request : uvc.requests())
        lines << wire(request);
    EXPECT_EQ(lines, c.wire);
}

INSTANTIATE_TEST_SUITE_P(Maps, CameraControlsThroughTheCore, ::testing::Values(
    // The RX710 keeps an unsigned brightness on unit 2; the others a signed one on unit 3.
    MapCase{"RX710", 200, {"21 01 0200 0200 2 [c8 00]", "a1 81 0200 0200 2 [c8 00]"}},
    MapCase{"LUM610", -5, {"21 01 0200 0300 2 [fb ff]", "a1 81 0200 0300 2 [fb ff]"}}));

}  // namespace
