// uvccamctl without --simulate: the library's own platform, run as a process inside a umockdev
// test bed, so that it sees the emulated devices and nothing of the machine it runs on.
#include "support/EmulatedUsb.h"
#include "support/QtPrinters.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <tuple>

using namespace uvccam::testing;

namespace {

struct ToolRun {
    int status = -1;
    QString out;
    QString err;
};

class UvccamctlRealPlatform : public ::testing::Test {
protected:
    static ToolRun run(const QString& line)
    {
        QProcess process;
        process.start(QStringLiteral(UVCCAMCTL_PATH), line.split(QLatin1Char(' ')));
        EXPECT_TRUE(process.waitForFinished(60000)) << line.toStdString();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
    }

    // An empty test bed: a machine with no USB devices at all.
    EmulatedUsb usb;
};

// Arguments, exit status, and standard output on success or the one line on standard error.
using Exchange = std::tuple<QString, int, QString>;

class UvccamctlRealPlatformExchange : public UvccamctlRealPlatform, public ::testing::WithParamInterface<Exchange> {};

TEST_P(UvccamctlRealPlatformExchange, OnAMachineWithNothingAttached)
{
    const auto& [arguments, status, text] = GetParam();
    const ToolRun result = run(arguments);
    EXPECT_EQ(result.status, status);
    EXPECT_EQ(result.out, status == 0 ? text : QString());
    EXPECT_EQ(result.err, status == 0 ? QString() : "uvccamctl: " + text + '\n');
}

const Exchange kExchanges[] = {
    {"list", 0, "MODEL  DEVICE ID  UNIQUE ID  SELECTED\n(none of the maker's devices is attached)\n"},
    {"list --json", 0, "[\n]\n"},
    {"--virtual-clock list", 2, "--virtual-clock needs --simulate"},
    // Commands that work on real devices go on to look for the device.
    {"get zoom", 3, "get: no device selected (none of the maker's devices is attached)"},
    {"xu get 3 1 4 --uvc", 3, "xu get: no device selected (none of the maker's devices is attached)"},
    {"hid query 0981", 3, "hid query: no device selected (none of the maker's devices is attached)"},
    // Not the volumes of no device, which would read 0.
    {"volume --json", 3, "volume: no backend for system volumes on this system yet; use --simulate"},
};
INSTANTIATE_TEST_SUITE_P(Commands, UvccamctlRealPlatformExchange, ::testing::ValuesIn(kExchanges));

// The maker's devices on the emulated bus, their HID side answered by the simulator's firmware:
// listed under the system's identities, and the library's reports on the wire as it built them.
TEST_F(UvccamctlRealPlatform, ListsEmulatedDevicesAndExchangesHidReportsWithThem)
{
    const EmulatedNodes rx = usb.plug(EmulatedDevice::camera(QStringLiteral("RX710 Conference Camera"), 0x2574, "1.4"));
    const EmulatedNodes voxa = usb.plug(EmulatedDevice::speakerphone(QStringLiteral("VOXA760"), 0x0760, "2"));

    const ToolRun list = run(QStringLiteral("list --json"));
    ASSERT_EQ(list.status, 0) << list.err.toStdString();
    const QJsonArray expected{
        QJsonObject{{"model", "RX710"}, {"deviceId", 10811}, {"uniqueId", "0xf11400002a3b2574"}, {"kind", "camera"},
                    {"selected", true}},
        QJsonObject{{"model", "VOXA760"}, {"deviceId", 1888}, {"uniqueId", "f1200000"}, {"kind", "speakerphone"},
                    {"selected", false}},
    };
    EXPECT_EQ(QJsonDocument::fromJson(list.out.toUtf8()).array(), expected) << list.out.toStdString();
    EXPECT_EQ(run(QStringLiteral("info")).out,
              "model name:     RX710\ndevice ID:      10811\nunique ID:      0xf11400002a3b2574\nkind:           camera\n"
              "serial number:  SN2574\n");

    const ToolRun set = run(QStringLiteral("--device f1200000 uac set 7 0a0b"));
    EXPECT_EQ(set.out, "audio selector 7: wrote 0a 0b\n") << set.err.toStdString();
    // Property report 08, the audio property command 11, the selector, "set", the value.
    ASSERT_FALSE(usb.hid(voxa).received().empty());
    const QByteArray sent = usb.hid(voxa).received().front();
    EXPECT_EQ(sent.size(), 512);
    EXPECT_EQ(sent.left(8).toHex(' '), "08 11 07 01 0a 0b 00 00");
    EXPECT_EQ(run(QStringLiteral("--device f1200000 uac get 7 2")).out, "0a 0b\n") << "kept by the device between runs";

    const ToolRun query = run(QStringLiteral("hid query 0981"));
    EXPECT_EQ(query.out, "acknowledgement: 0x81\ndata (8 bytes): 00 01 02 03 04 05 06 07\n") << query.err.toStdString();
    ASSERT_EQ(usb.hid(rx).received().size(), 1u) << "the selected camera's own HID interface";
    EXPECT_EQ(usb.hid(rx).received().front(), QByteArray::fromHex("0981").leftJustified(512, '\0'));
}

// The standard controls and the extension units through uvcvideo, which the emulated cameras'
// driver plays over the simulator's camera models.
TEST_F(UvccamctlRealPlatform, ControlsAndVendorPropertiesReachTheCamerasThroughUvcvideo)
{
    const EmulatedNodes rx = usb.plug(EmulatedDevice::camera(QStringLiteral("RX710 Conference Camera"), 0x2574, "1.4"));
    const EmulatedNodes st = usb.plug(EmulatedDevice::camera(QStringLiteral("Studio Caster LUM 470"), 0x470a, "1.3"));
    const std::pair<QString, QString> exchanges[] = {
        {"get zoom", "zoom: 100\n"},
        {"set zoom 300", "zoom: 300\n"},
        {"range zoom", "zoom: minimum 100, maximum 500, default 100\n"},
        {"get brightness --json", "{\n    \"number\": 1,\n    \"property\": \"brightness\",\n    \"value\": 128\n}\n"},
    };
    const QString rx710 = QStringLiteral("--device 0xf11400002a3b2574 ");
    for (const auto& [line, out] : exchanges) {
        const ToolRun result = run(rx710 + line);
        EXPECT_EQ(result.out, out) << line.toStdString() << ": " << result.err.toStdString();
    }
    usb.uvc(rx).withCamera([](uvccam::platform::UvcCameraModel& camera) { EXPECT_EQ(camera.control(1, 11)->current, 300); });

    // The RX710's first extension unit is unit 5, whose controls are 64 bytes long.
    const QByteArray value = QByteArray::fromHex("0a0b0c").leftJustified(64, '\0');
    const QString hex = QString::fromLatin1(value.toHex());
    EXPECT_EQ(run(rx710 + "xu set 4 1 " + hex + " --uvc").out, "selector 4 of unit 1: wrote " + value.toHex(' ') + "\n");
    EXPECT_EQ(run(rx710 + "xu get 4 1 64 --uvc").out, value.toHex(' ') + "\n");
    usb.uvc(rx).withCamera([&](uvccam::platform::UvcCameraModel& camera) { EXPECT_EQ(camera.extensionBytes(5, 4, 64), value); });
    const ToolRun shorter = run(rx710 + "xu get 4 1 4 --uvc");
    EXPECT_EQ(shorter.err, "uvccamctl: xu get: the device refused selector 4 of unit 1\n") << "uvcvideo takes the control's length only";

    // The ST470 switches through its sixth extension unit (unit 6, one byte) and the vendor
    // HID report that applies the mode.
    const ToolRun switched = run(QStringLiteral("transfer-mode"));
    EXPECT_EQ(switched.status, 0) << switched.err.toStdString();
    EXPECT_EQ(switched.out, "[1/3] 1 ST470 attached\n      ST470 (0xf11300002a3b470a): transfer mode 0\n"
                            "[2/3] switching every ST470 to transfer mode 1 (up to two minutes per camera)\n"
                            "      at least one camera needed the switch\n[3/3] checking\n"
                            "      ST470 (0xf11300002a3b470a): transfer mode 1\nresult: every ST470 is in transfer mode 1\n");
    usb.uvc(st).withCamera([](uvccam::platform::UvcCameraModel& camera) { EXPECT_EQ(camera.extensionBytes(6, 2, 1), "\x01"); });
    EXPECT_FALSE(usb.hid(st).received().empty());
}

// Reads the running tool's output until it holds `text`, for at most five seconds.
bool waitForOutput(QProcess& tool, QString& out, const QString& text)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!out.contains(text) && elapsed.elapsed() < 5000) {
        tool.waitForReadyRead(100);
        out += QString::fromUtf8(tool.readAllStandardOutput());
    }
    return out.contains(text);
}

TEST_F(UvccamctlRealPlatform, WatchSeesACameraArriveAndLeave)
{
    QProcess tool;
    tool.start(QStringLiteral(UVCCAMCTL_PATH), {QStringLiteral("watch")});
    QString out;
    ASSERT_TRUE(waitForOutput(tool, out, QStringLiteral("watching 0 devices"))) << out.toStdString();

    const EmulatedNodes rx = usb.plug(EmulatedDevice::camera(QStringLiteral("RX710 Conference Camera"), 0x2574, "1.4"));
    EXPECT_TRUE(waitForOutput(tool, out, QStringLiteral("deviceChange  + RX710 (0xf11400002a3b2574)"))) << out.toStdString();
    usb.unplug(rx);
    EXPECT_TRUE(waitForOutput(tool, out, QStringLiteral("deviceChange  - RX710 (0xf11400002a3b2574)"))) << out.toStdString();

    tool.terminate();  // as Ctrl-C: the tool ends the watch and prints its counts
    ASSERT_TRUE(tool.waitForFinished(10000));
    out += QString::fromUtf8(tool.readAllStandardOutput());
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    EXPECT_TRUE(out.endsWith(QStringLiteral("devices attached: 0\n"))) << out.toStdString();
}

}  // namespace
