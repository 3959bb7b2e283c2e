// uvccamctl driven as a process on the simulated demonstration set and the virtual clock.
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The demonstration set's unique IDs: the simulator numbers locations in attach order.
const QString kRx710 = QStringLiteral("0x101000002a3b2574");
const QString kSt470 = QStringLiteral("0x102000002a3b470a");
const QString kLum610 = QStringLiteral("0x103000002a3b6100");
const QString kVoxa760 = QStringLiteral("10400000");

struct ToolRun {
    int status = -1;
    QString out;
    QString err;

    QStringList lines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    // The tool's own messages; the library writes its diagnostics to standard error too.
    QStringList toolErrors() const
    {
        return err.split(QLatin1Char('\n')).filter(QRegularExpression(QStringLiteral("^uvccamctl: ")));
    }
    QJsonDocument json() const
    {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(out.toUtf8(), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << out.toStdString();
        return document;
    }
};

class Uvccamctl : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        static int argc = 1;
        static char name[] = "uvccamctl_tests";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance())
            new QCoreApplication(argc, argv);  // QProcess wants one; it lives for the process
    }

    // Recordings and snapshots go to a directory of the test's own.
    ToolRun run(const QStringList& arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), directory_.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(UVCCAMCTL_PATH), arguments);
        // A hang is a failure, not a wait: on the virtual clock every command ends at once.
        EXPECT_TRUE(process.waitForFinished(60000)) << arguments.join(QLatin1Char(' ')).toStdString();
        ToolRun result;
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }
    ToolRun simulate(const QStringList& arguments)
    {
        return run(QStringList{QStringLiteral("--simulate"), QStringLiteral("--virtual-clock")} + arguments);
    }
    QString temporary(const QString& name) const { return directory_.filePath(name); }

private:
    QTemporaryDir directory_;
};

QStringList words(const char* text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// --- Bad input: one line naming the argument, exit status 2, nothing sent.

struct BadInput {
    const char* arguments;
    const char* message;
};

class UvccamctlBadInput : public Uvccamctl, public ::testing::WithParamInterface<BadInput> {};

TEST_P(UvccamctlBadInput, IsRefusedWithOneLineNamingIt)
{
    const ToolRun result = simulate(words(GetParam().arguments));
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.toolErrors(), QStringList{QString::fromLatin1(GetParam().message)});
    EXPECT_EQ(result.out, QString());
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, UvccamctlBadInput,
    ::testing::Values(
        BadInput{"frob", "uvccamctl: unknown command 'frob' (see 'uvccamctl --help')"},
        BadInput{"get focal-length",
                 "uvccamctl: get: unknown property 'focal-length' (one of contrast, brightness, sharpness, saturation, "
                 "backlight, white-balance, auto-white-balance, pan, tilt, zoom, focus, auto-focus, exposure, "
                 "power-line, or 0 to 13)"},
        BadInput{"get 14", "uvccamctl: get: unknown property '14' (one of contrast, brightness, sharpness, saturation, "
                           "backlight, white-balance, auto-white-balance, pan, tilt, zoom, focus, auto-focus, exposure, "
                           "power-line, or 0 to 13)"},
        BadInput{"set zoom 501", "uvccamctl: set: VALUE 501 is out of range for zoom (100 to 500)"},
        BadInput{"set zoom 3O0", "uvccamctl: set: VALUE '3O0' is not a whole number"},
        BadInput{"set auto-focus maybe", "uvccamctl: set: VALUE 'maybe' for auto-focus must be on or off"},
        BadInput{"set zoom", "uvccamctl: set: missing VALUE"},
        BadInput{"range power-line", "uvccamctl: range: power-line has no range (ranges cover properties 0 to 12)"},
        BadInput{"xu set 4 1 0a0", "uvccamctl: xu set: HEXBYTES '0a0' has an odd number of hex digits"},
        BadInput{"xu set 4 1 0g", "uvccamctl: xu set: HEXBYTES '0g' is not hexadecimal"},
        BadInput{"xu get 4 1 510", "uvccamctl: xu get: LENGTH 510 is out of range (1 to 509)"},
        BadInput{"xu get 256 1 2", "uvccamctl: xu get: SELECTOR 256 is out of range (0 to 255)"},
        BadInput{"xu get 4 7 2", "uvccamctl: xu get: UNIT-INDEX 7 is out of range (1 to 6)"},
        BadInput{"xu set 4 1 00 --uvc --hid", "uvccamctl: xu set: --uvc and --hid exclude each other"},
        BadInput{"hid send 09", "uvccamctl: hid send: --mode 0 needs a report of at least 2 bytes (the answer must repeat byte 1)"},
        BadInput{"hid send 0919 --mode 2", "uvccamctl: hid: --mode 2 is out of range (0 to 1)"},
        BadInput{"uac get 7 2", "uvccamctl: uac get: the selected device RX710 (0x101000002a3b2574) is a camera; "
                                "choose a speakerphone with --device"},
        BadInput{"--device 10400000 uac get 7 65", "uvccamctl: uac get: LENGTH 65 is out of range (1 to 64)"},
        BadInput{"--device 10400000 stream", "uvccamctl: stream: the selected device VOXA760 (10400000) is a speakerphone; "
                                             "choose a camera with --device"},
        BadInput{"--device 0x109000002a3b2574 info",
                 "uvccamctl: --device 0x109000002a3b2574: no such device is attached (see 'uvccamctl list')"},
        BadInput{"stream --snapshot frame.jpg", "uvccamctl: stream: --snapshot 'frame.jpg' must name a .png file"},
        BadInput{"stream --frames many", "uvccamctl: stream: --frames 'many' is not a whole number"},
        BadInput{"stream --json", "uvccamctl: stream: --json is offered by list, info, get, range and volume"},
        BadInput{"watch", "uvccamctl: watch: --seconds is needed with --virtual-clock (simulated time would pass without end)"},
        BadInput{"list extra", "uvccamctl: list: unexpected argument 'extra'"}));

TEST_F(Uvccamctl, AValueLongerThanAReportCarriesIsRefused)
{
    const ToolRun result = simulate({QStringLiteral("xu"), QStringLiteral("set"), QStringLiteral("4"), QStringLiteral("1"),
                                 QString(510 * 2, QLatin1Char('a'))});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.toolErrors(), QStringList{QStringLiteral("uvccamctl: xu set: HEXBYTES has 510 bytes; at most 509 fit")});
}

TEST_F(Uvccamctl, WithoutDevicesNothingIsSelected)
{
    // Without --simulate the library's own platform is in use: today a machine with nothing attached.
    const ToolRun list = run({QStringLiteral("list"), QStringLiteral("--json")});
    EXPECT_EQ(list.status, 0);
    EXPECT_EQ(list.json().array(), QJsonArray());

    const ToolRun info = run({QStringLiteral("info")});
    EXPECT_EQ(info.status, 2);
    EXPECT_EQ(info.toolErrors(), QStringList{QStringLiteral("uvccamctl: info: no device selected (none of the maker's devices is attached)")});

    EXPECT_EQ(run({QStringLiteral("--virtual-clock"), QStringLiteral("list")}).toolErrors(),
              QStringList{QStringLiteral("uvccamctl: --virtual-clock needs --simulate")});
}

// --- Help.

class UvccamctlHelp : public Uvccamctl, public ::testing::WithParamInterface<const char*> {};

TEST_P(UvccamctlHelp, EveryCommandHasHelpWithExamples)
{
    const QString command = QString::fromLatin1(GetParam());
    const ToolRun result = run({command, QStringLiteral("--help")});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.startsWith(QStringLiteral("usage: uvccamctl [GLOBAL OPTIONS] ") + command)) << result.out.toStdString();
    EXPECT_TRUE(result.out.contains(QStringLiteral("\nExample"))) << result.out.toStdString();
    EXPECT_EQ(run({QStringLiteral("help"), command}).out, result.out);
    // The overview lists it too.
    EXPECT_TRUE(run({QStringLiteral("--help")}).out.contains(QStringLiteral("\n  ") + command + QLatin1Char(' ')));
}

INSTANTIATE_TEST_SUITE_P(Commands, UvccamctlHelp,
                         ::testing::Values("list", "info", "get", "set", "range", "xu", "hid", "uac", "stream", "record",
                                           "volume", "transfer-mode", "watch", "hotkeys", "demo"));

// --- Devices.

TEST_F(Uvccamctl, ListsTheDemonstrationSet)
{
    const ToolRun text = simulate({QStringLiteral("list")});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.lines(), (QStringList{
                                QStringLiteral("MODEL    DEVICE ID  UNIQUE ID           SELECTED"),
                                QStringLiteral("RX710    10811      0x101000002a3b2574  *"),
                                QStringLiteral("ST470    10811      0x102000002a3b470a"),
                                QStringLiteral("LUM610   10811      0x103000002a3b6100"),
                                QStringLiteral("VOXA760  1888       10400000"),
                            }));

    const QJsonArray devices = simulate({QStringLiteral("--device"), kVoxa760, QStringLiteral("list"), QStringLiteral("--json")}).json().array();
    ASSERT_EQ(devices.size(), 4);
    EXPECT_EQ(devices[3].toObject(), (QJsonObject{{QStringLiteral("model"), QStringLiteral("VOXA760")},
                                                  {QStringLiteral("deviceId"), 1888},
                                                  {QStringLiteral("uniqueId"), kVoxa760},
                                                  {QStringLiteral("kind"), QStringLiteral("speakerphone")},
                                                  {QStringLiteral("selected"), true}}));
    EXPECT_FALSE(devices[0].toObject()[QStringLiteral("selected")].toBool());
}

TEST_F(Uvccamctl, InfoShowsTheSelectedDeviceAndItsSerialNumber)
{
    const ToolRun text = simulate({QStringLiteral("info")});
    EXPECT_EQ(text.status, 0);
    EXPECT_EQ(text.lines(), (QStringList{QStringLiteral("model name:     RX710"), QStringLiteral("device ID:      10811"),
                                         QStringLiteral("unique ID:      0x101000002a3b2574"),
                                         QStringLiteral("kind:           camera"), QStringLiteral("serial number:  SIM000001")}));

    const QJsonObject lum610 = simulate({QStringLiteral("--device"), kLum610, QStringLiteral("info"), QStringLiteral("--json")}).json().object();
    EXPECT_EQ(lum610[QStringLiteral("model")].toString(), QStringLiteral("LUM610"));
    EXPECT_EQ(lum610[QStringLiteral("uniqueId")].toString(), kLum610);
    EXPECT_EQ(lum610[QStringLiteral("serialNumber")].toString(), QStringLiteral("SIM000003"));
}

// --- Standard controls.

TEST_F(Uvccamctl, GetsAControlByNameOrNumber)
{
    EXPECT_EQ(simulate({QStringLiteral("get"), QStringLiteral("brightness")}).out, QStringLiteral("brightness: 128\n"));
    const QJsonObject zoom = simulate({QStringLiteral("get"), QStringLiteral("9"), QStringLiteral("--json")}).json().object();
    EXPECT_EQ(zoom, (QJsonObject{{QStringLiteral("property"), QStringLiteral("zoom")}, {QStringLiteral("number"), 9}, {QStringLiteral("value"), 100}}));

    const QJsonArray all = simulate({QStringLiteral("get"), QStringLiteral("all"), QStringLiteral("--json")}).json().array();
    ASSERT_EQ(all.size(), 14);
    for (int number = 0; number < all.size(); ++number)
        EXPECT_EQ(all[number].toObject()[QStringLiteral("number")].toInt(), number);
    EXPECT_EQ(all[12].toObject()[QStringLiteral("value")].toInt(), 156);  // exposure time
}

TEST_F(Uvccamctl, SetsAControlAndReadsItBack)
{
    const ToolRun zoom = simulate({QStringLiteral("set"), QStringLiteral("zoom"), QStringLiteral("300")});
    EXPECT_EQ(zoom.status, 0);
    EXPECT_EQ(zoom.out, QStringLiteral("zoom: 300\n"));
    EXPECT_EQ(simulate({QStringLiteral("set"), QStringLiteral("auto-focus"), QStringLiteral("off")}).out, QStringLiteral("auto-focus: 0\n"));
}

TEST_F(Uvccamctl, ANegativeValueIsAValueNotAnOption)
{
    const ToolRun pan = simulate({QStringLiteral("set"), QStringLiteral("pan"), QStringLiteral("-3600")});
    EXPECT_EQ(pan.status, 0);
    EXPECT_EQ(pan.out, QStringLiteral("pan: -3600\n"));
    EXPECT_EQ(simulate({QStringLiteral("set"), QStringLiteral("pan"), QStringLiteral("-36001")}).toolErrors(),
              QStringList{QStringLiteral("uvccamctl: set: VALUE -36001 is out of range for pan (-36000 to 36000)")});
}

TEST_F(Uvccamctl, ARangeThatIsNotTheControlsOwnDoesNotRefuseAValue)
{
    // Row 0 of the maker's range table asks the backlight selector (0 to 2), not contrast.
    EXPECT_EQ(simulate({QStringLiteral("range"), QStringLiteral("contrast")}).out, QStringLiteral("contrast: minimum 0, maximum 2, default 1\n"));
    const ToolRun contrast = simulate({QStringLiteral("set"), QStringLiteral("contrast"), QStringLiteral("70")});
    EXPECT_EQ(contrast.status, 0);
    EXPECT_EQ(contrast.out, QStringLiteral("contrast: 70\n"));

    // Exposure reports the mode's range; the camera itself judges a value then, and refuses.
    const ToolRun exposure = simulate({QStringLiteral("set"), QStringLiteral("exposure"), QStringLiteral("99999")});
    EXPECT_EQ(exposure.status, 1);
    EXPECT_EQ(exposure.toolErrors(), QStringList{QStringLiteral("uvccamctl: set: the camera refused exposure = 99999")});
}

TEST_F(Uvccamctl, RangesAsTextAndJson)
{
    const QJsonObject zoom = simulate({QStringLiteral("range"), QStringLiteral("zoom"), QStringLiteral("--json")}).json().object();
    EXPECT_EQ(zoom, (QJsonObject{{QStringLiteral("property"), QStringLiteral("zoom")}, {QStringLiteral("number"), 9},
                                 {QStringLiteral("minimum"), 100}, {QStringLiteral("maximum"), 500}, {QStringLiteral("default"), 100}}));

    // The LUM610's processing unit is not where the range table looks: those rows are refused.
    const ToolRun lum610 = simulate({QStringLiteral("--device"), kLum610, QStringLiteral("range"), QStringLiteral("all"), QStringLiteral("--json")});
    EXPECT_EQ(lum610.status, 0);
    const QJsonArray rows = lum610.json().array();
    ASSERT_EQ(rows.size(), 13);
    EXPECT_TRUE(rows[1].toObject()[QStringLiteral("minimum")].isNull());
    EXPECT_EQ(rows[7].toObject()[QStringLiteral("maximum")].toInt(), 36000);  // pan

    const ToolRun brightness = simulate({QStringLiteral("--device"), kLum610, QStringLiteral("range"), QStringLiteral("brightness")});
    EXPECT_EQ(brightness.status, 1);
    EXPECT_EQ(brightness.toolErrors(), QStringList{QStringLiteral("uvccamctl: range: the camera gave no range for brightness")});
}

// --- Vendor properties, raw reports and audio properties.

TEST_F(Uvccamctl, VendorPropertiesGoOutAndComeBack)
{
    EXPECT_EQ(simulate(words("xu set 4 1 12345678 --uvc")).out, QStringLiteral("selector 4 of unit 1: wrote 12 34 56 78\n"));
    EXPECT_EQ(simulate(words("xu get 4 1 4 --uvc")).out, QStringLiteral("00 00 00 00\n"));
    // A speakerphone's audio property, over HID.
    EXPECT_EQ(simulate(QStringList{QStringLiteral("--device"), kVoxa760} + words("uac set 7 0a0b")).out,
              QStringLiteral("audio selector 7: wrote 0a 0b\n"));
    EXPECT_EQ(simulate(QStringList{QStringLiteral("--device"), kVoxa760} + words("uac get 7 2")).out, QStringLiteral("00 00\n"));
}

// Bytes may be written as people copy them: with spaces, colons or a 0x prefix.
class UvccamctlHexForms : public Uvccamctl, public ::testing::WithParamInterface<const char*> {};

TEST_P(UvccamctlHexForms, AllSendTheSameBytes)
{
    const ToolRun result = simulate({QStringLiteral("xu"), QStringLiteral("set"), QStringLiteral("4"), QStringLiteral("1"),
                                     QString::fromLatin1(GetParam()), QStringLiteral("--uvc")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, QStringLiteral("selector 4 of unit 1: wrote 0a 1b ff\n"));
}

INSTANTIATE_TEST_SUITE_P(Forms, UvccamctlHexForms, ::testing::Values("0a1bff", "0A1BFF", "0a 1b ff", "0a:1b:ff", "0x0a1bff"));

struct HidExchange {
    const char* arguments;
    int status;
    const char* output;
    const char* error;
};

class UvccamctlHid : public Uvccamctl, public ::testing::WithParamInterface<HidExchange> {};

TEST_P(UvccamctlHid, ShowsTheDevicesAnswer)
{
    const ToolRun result = simulate(words(GetParam().arguments));
    EXPECT_EQ(result.status, GetParam().status);
    EXPECT_EQ(result.out, QString::fromLatin1(GetParam().output));
    EXPECT_EQ(result.toolErrors().join(QLatin1Char('\n')), QString::fromLatin1(GetParam().error));
}

// The simulated firmware repeats the report's byte 1 as its acknowledgement.
INSTANTIATE_TEST_SUITE_P(
    Reports, UvccamctlHid,
    ::testing::Values(HidExchange{"hid send 0942", 0, "result byte: 0x00\n", ""},
                      HidExchange{"hid send 0919 --mode 1", 0, "acknowledged\n", ""},
                      HidExchange{"hid send 0942 --mode 1", 1, "", "uvccamctl: hid send: the device did not acknowledge the report"},
                      HidExchange{"hid query 0981", 0, "acknowledgement: 0x81\ndata (8 bytes): 00 01 02 03 04 05 06 07\n", ""},
                      // The answer claims 8 bytes; a 4-byte report has room for none of them.
                      HidExchange{"hid query 0981 --length 4", 1, "",
                                  "uvccamctl: hid query: the device gave no answer the library accepts"}));

// --- Video.

TEST_F(Uvccamctl, StreamsAtTheCamerasRateAndWritesTheTestPattern)
{
    const QString snapshot = temporary(QStringLiteral("frame.png"));
    const ToolRun result = simulate({QStringLiteral("stream"), QStringLiteral("--frames"), QStringLiteral("10"),
                                 QStringLiteral("--snapshot"), snapshot});
    EXPECT_EQ(result.status, 0);
    ASSERT_EQ(result.lines().size(), 2) << result.out.toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^streamed 10 frames in 0\\.3\\d s, 30\\.0 frames per second "
                                                  "\\(640 x 360, 460800 bytes each\\)$"))
                    .match(result.lines()[0])
                    .hasMatch())
        << result.lines()[0].toStdString();
    EXPECT_EQ(result.lines()[1], QStringLiteral("snapshot: ") + snapshot);

    // The eight 75 % colour bars, converted from video range: every pixel of a row is one of
    // them, and each of them is there.
    const QImage image(snapshot);
    ASSERT_EQ(image.size(), QSize(640, 360));
    const QList<QRgb> bars{qRgb(191, 191, 191), qRgb(191, 191, 0), qRgb(0, 191, 191), qRgb(0, 191, 0),
                           qRgb(191, 0, 191),   qRgb(191, 0, 0),   qRgb(0, 0, 191),   qRgb(0, 0, 0)};
    auto near = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) <= 3 && std::abs(qGreen(a) - qGreen(b)) <= 3 && std::abs(qBlue(a) - qBlue(b)) <= 3;
    };
    QSet<int> seen;
    for (int x = 0; x < image.width(); ++x) {
        const QRgb pixel = image.pixel(x, 180);
        int bar = 0;
        while (bar < bars.size() && !near(pixel, bars[bar]))
            ++bar;
        ASSERT_LT(bar, bars.size()) << "pixel " << x << " is " << std::hex << pixel;
        seen.insert(bar);
    }
    EXPECT_EQ(seen.size(), 8);
}

TEST_F(Uvccamctl, StreamsForAGivenTime)
{
    const ToolRun result = simulate({QStringLiteral("stream"), QStringLiteral("--seconds"), QStringLiteral("1.5")});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.out.startsWith(QStringLiteral("streamed 45 frames in 1.50 s, 30.0 frames per second"))) << result.out.toStdString();
}

// --- Sound.

TEST_F(Uvccamctl, RecordsTheClipWithItsLevelsAndPlaysItBack)
{
    const ToolRun result = simulate({QStringLiteral("record")});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    const QStringList lines = result.lines();
    ASSERT_EQ(lines.size(), 4) << result.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("recording 10 s from RX710 (0x101000002a3b2574)"));
    // The simulated voice swings the level between 0 and 3 through ten readings a second.
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^level: (99|100) readings from 0 to 3 \\(5 is full scale\\)$")).match(lines[1]).hasMatch())
        << lines[1].toStdString();
    // Named by the virtual clock's start date, in the temporary directory.
    EXPECT_EQ(lines[2], QStringLiteral("file: ") + temporary(QStringLiteral("20260101090000.m4a")));
    EXPECT_GT(QFileInfo(temporary(QStringLiteral("20260101090000.m4a"))).size(), 0);
    EXPECT_EQ(lines[3], QStringLiteral("played back"));
}

TEST_F(Uvccamctl, RecordsFromTheSpeakerphoneToo)
{
    const ToolRun result = simulate({QStringLiteral("--device"), kVoxa760, QStringLiteral("record")});
    EXPECT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.lines().value(0), QStringLiteral("recording 10 s from VOXA760 (10400000)"));
    EXPECT_EQ(result.lines().value(3), QStringLiteral("played back"));
}

TEST_F(Uvccamctl, DrawsNoBarsWhenOutputIsNotATerminal)
{
    // Status lines are redrawn with a carriage return and cleared with an escape sequence.
    for (const char* command : {"record", "stream"}) {
        const ToolRun result = simulate({QString::fromLatin1(command)});
        EXPECT_FALSE(result.out.contains(QLatin1Char('\r'))) << command;
        EXPECT_FALSE(result.out.contains(QLatin1Char('\x1b'))) << command;
        EXPECT_FALSE(result.out.contains(QLatin1Char('#'))) << command;
    }
}

TEST_F(Uvccamctl, ShowsTheSystemVolumes)
{
    EXPECT_EQ(simulate({QStringLiteral("volume")}).lines(), (QStringList{QStringLiteral("speaker:     75 %"), QStringLiteral("microphone:  50 %")}));
    EXPECT_EQ(simulate({QStringLiteral("volume"), QStringLiteral("--json")}).json().object(),
              (QJsonObject{{QStringLiteral("speaker"), 75}, {QStringLiteral("microphone"), 50}}));
}

// --- Transfer mode, hot-plug and hot keys.

TEST_F(Uvccamctl, SwitchesTheSt470ThroughThePlainEntryPoints)
{
    const ToolRun result = simulate({QStringLiteral("transfer-mode")});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.lines(), (QStringList{
                                  QStringLiteral("[1/3] 1 ST470 attached"),
                                  QStringLiteral("      ST470 (0x102000002a3b470a): transfer mode 0"),
                                  QStringLiteral("[2/3] switching every ST470 to transfer mode 1 (up to two minutes per camera)"),
                                  QStringLiteral("      at least one camera needed the switch"),
                                  QStringLiteral("[3/3] checking"),
                                  QStringLiteral("      ST470 (0x102000002a3b470a): transfer mode 1"),
                                  QStringLiteral("result: every ST470 is in transfer mode 1"),
                              }));
}

TEST_F(Uvccamctl, WatchesAnUnplugAndAReplug)
{
    const ToolRun result = simulate(words("watch --seconds 3 --replug"));
    EXPECT_EQ(result.status, 0);
    const QStringList lines = result.lines();
    ASSERT_GE(lines.size(), 4);
    EXPECT_EQ(lines.first(), QStringLiteral("watching 4 devices for arrivals and removals for 3 s"));
    EXPECT_EQ(lines[1], QStringLiteral("  1.000 s  (simulator) unplugging RX710 (0x101000002a3b2574)"));
    // The camera leaves: the list loses it and the selection is gone.
    EXPECT_TRUE(lines.contains(QStringLiteral("  1.000 s  deviceChange  - RX710 (0x101000002a3b2574)")));
    EXPECT_TRUE(lines.contains(QStringLiteral("  1.000 s  deviceRemove")));
    EXPECT_LT(lines.indexOf(QStringLiteral("  1.000 s  deviceRemove")), lines.indexOf(QStringLiteral("  2.000 s  (simulator) plugging in an RX710")));
    // One of the same model comes back at a new USB location.
    EXPECT_TRUE(lines.contains(QStringLiteral("  2.000 s  deviceChange  + RX710 (0x105000002a3b2574)")));
    EXPECT_EQ(lines.last(), QStringLiteral("3 arrivals, 1 removals, 4 devices attached"));
}

TEST_F(Uvccamctl, PrintsEachHotKeyPress)
{
    const ToolRun result = simulate(words("hotkeys --seconds 3 --press"));
    EXPECT_EQ(result.status, 0);
    const QStringList keys = result.lines().filter(QStringLiteral("keyPressed"));
    // Command+Up held for 0.25 s repeats its pair every 0.1 s; the others report once.
    EXPECT_EQ(keys, (QStringList{
                        QStringLiteral("  0.500 s  keyPressed Key_Control (0x1000021)"),
                        QStringLiteral("  0.500 s  keyPressed Key_Up (0x1000013)"),
                        QStringLiteral("  0.600 s  keyPressed Key_Control (0x1000021)"),
                        QStringLiteral("  0.600 s  keyPressed Key_Up (0x1000013)"),
                        QStringLiteral("  0.700 s  keyPressed Key_Control (0x1000021)"),
                        QStringLiteral("  0.700 s  keyPressed Key_Up (0x1000013)"),
                        QStringLiteral("  1.500 s  keyPressed Key_Alt (0x1000023)"),
                        QStringLiteral("  1.500 s  keyPressed Key_1 (0x31)"),
                        QStringLiteral("  2.000 s  keyPressed Key_Control (0x1000021)"),
                        QStringLiteral("  2.000 s  keyPressed Key_L (0x4c)"),
                    }));
    EXPECT_EQ(result.lines().last(), QStringLiteral("10 key values reported"));
}

// --- The tour.

TEST_F(Uvccamctl, DemoRunsEveryStepToTheEnd)
{
    const QString snapshot = temporary(QStringLiteral("demo.png"));
    const ToolRun result = run({QStringLiteral("--virtual-clock"), QStringLiteral("demo"), QStringLiteral("--snapshot"), snapshot});
    EXPECT_EQ(result.status, 0) << result.out.toStdString();
    const QStringList lines = result.lines();
    const int summary = lines.indexOf(QStringLiteral("== Summary"));
    ASSERT_GE(summary, 0) << result.out.toStdString();
    QStringList steps;
    const QRegularExpression row(QStringLiteral("^(.+?)\\s{2,}(ok|FAILED)\\s"));
    for (const QString& line : lines.mid(summary + 2)) {
        const QRegularExpressionMatch match = row.match(line);
        steps << (match.hasMatch() ? match.captured(1) + QLatin1Char(' ') + match.captured(2) : line);
    }
    EXPECT_EQ(steps, (QStringList{QStringLiteral("list ok"), QStringLiteral("select ok"), QStringLiteral("control ok"),
                                  QStringLiteral("vendor property ok"), QStringLiteral("stream ok"), QStringLiteral("record ok"),
                                  QStringLiteral("volume ok")}));
    EXPECT_TRUE(lines.contains(QStringLiteral("   HID mode, selector 3 of extension unit 1 (a HID report): wrote a5 5a, read a5 5a")));
    EXPECT_EQ(QImage(snapshot).size(), QSize(640, 360));
}

}  // namespace
