// uvccamctl driven as a process on the simulated demonstration set and the virtual clock.
#include "support/QtPrinters.h"

#include "UVCCamVersion.h"

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

#include <tuple>
#include <utility>

namespace {

// The demonstration set's unique IDs: the simulator numbers locations in attach order.
const QString kLum610 = QStringLiteral("0x103000002a3b6100");
const QString kVoxa760 = QStringLiteral("10400000");
const QString kProperties = QStringLiteral("(one of contrast, brightness, sharpness, saturation, backlight, white-balance, "
                                           "auto-white-balance, pan, tilt, zoom, focus, auto-focus, exposure, power-line, "
                                           "or 0 to 13)");

// Every command that works on devices, that is every one but demo.
const QString kDeviceCommands = QStringLiteral("list info get set range xu hid uac stream record volume transfer-mode watch hotkeys");

QStringList words(const QString& line) { return line.split(QLatin1Char(' '), Qt::SkipEmptyParts); }

struct ToolRun {
    int status = -1;
    QString out;
    QString err;

    QStringList lines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
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
    ToolRun run(const QString& line, const QStringList& more = {})
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), directory_.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(UVCCAMCTL_PATH), words(line) + more);
        // A hang is a failure, not a wait: on the virtual clock every command ends at once.
        EXPECT_TRUE(process.waitForFinished(60000)) << line.toStdString();
        ToolRun result;
        result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.out = QString::fromUtf8(process.readAllStandardOutput());
        result.err = QString::fromUtf8(process.readAllStandardError());
        // Standard output is never a terminal here: no status bar may be redrawn or cleared.
        EXPECT_FALSE(result.out.contains(QLatin1Char('\r')) || result.out.contains(QLatin1Char('\x1b'))) << line.toStdString();
        return result;
    }
    ToolRun simulate(const QString& line, const QStringList& more = {})
    {
        return run(QStringLiteral("--simulate --virtual-clock ") + line, more);
    }
    QString temporary(const QString& name) const { return directory_.filePath(name); }

private:
    QTemporaryDir directory_;
};

// --- One command line on the simulator: exactly what it prints and the status it ends with.
// Bad input ends with status 2, a missing or unfit device with 3, each with one line naming
// it and nothing sent. Standard error holds the tool's lines only: without --verbose the
// library's diagnostics go nowhere.

// Arguments, exit status and what is printed: on success standard output holds all of it and
// standard error nothing; on failure standard output holds nothing and standard error this
// one line after the tool's name.
using Exchange = std::tuple<QString, int, QString>;

class UvccamctlExchange : public Uvccamctl, public ::testing::WithParamInterface<Exchange> {};

TEST_P(UvccamctlExchange, PrintsAndEndsAsPromised)
{
    const auto& [arguments, status, text] = GetParam();
    const ToolRun result = simulate(arguments);
    EXPECT_EQ(result.status, status);
    EXPECT_EQ(result.out, status == 0 ? text : QString());
    EXPECT_EQ(result.err, status == 0 ? QString() : "uvccamctl: " + text + '\n');
}

const Exchange kBadInput[] = {
    {"frob", 2, "unknown command 'frob' (see 'uvccamctl --help')"},
    {"help frob", 2, "help: unknown command 'frob' (see 'uvccamctl --help')"},
    {"--json --json list", 2, "--json given twice"},
    {"--device 10400000 --device=10400000 info", 2, "--device given twice"},
    {"stream --frames 3 --frames=4", 2, "stream: --frames given twice"},
    {"xu set 4 1 00 --uvc --uvc", 2, "xu set: --uvc given twice"},
    {"get focal-length", 2, "get: unknown property 'focal-length' " + kProperties},
    {"get 14", 2, "get: unknown property '14' " + kProperties},
    {"set zoom 501", 2, "set: VALUE 501 is out of range for zoom (100 to 500)"},
    {"set pan -36001", 2, "set: VALUE -36001 is out of range for pan (-36000 to 36000)"},
    // Contrast's range is the one property 3 asks; backlight's the one 4 asks in its length.
    {"set contrast 101", 2, "set: VALUE 101 is out of range for contrast (0 to 100)"},
    {"set backlight 3", 2, "set: VALUE 3 is out of range for backlight (0 to 2)"},
    {"set zoom 3O0", 2, "set: VALUE '3O0' is not a whole number"},
    {"set zoom 2147483648", 2, "set: VALUE 2147483648 is out of range (-2147483648 to 2147483647)"},
    {"set auto-focus maybe", 2, "set: VALUE 'maybe' for auto-focus must be on or off"},
    {"set zoom", 2, "set: missing VALUE"},
    {"range power-line", 2, "range: power-line has no range (ranges cover properties 0 to 12)"},
    {"range saturation", 2, "range: saturation has no range of its own (property 3 gives the range of contrast)"},
    {"range exposure", 2, "range: exposure has no range of its own (property 12 gives the range of exposure-mode)"},
    {"xu set 4 1 0a0", 2, "xu set: HEXBYTES '0a0' has an odd number of hex digits"},
    {"xu set 4 1 0g", 2, "xu set: HEXBYTES '0g' is not hexadecimal"},
    {"xu set 4 1 " + QString(510 * 2, QLatin1Char('a')), 2, "xu set: HEXBYTES has 510 bytes; at most 509 fit"},
    {"xu get 4 1 510", 2, "xu get: LENGTH 510 is out of range (1 to 509)"},
    {"xu get 4 1 18446744073709551616", 2, "xu get: LENGTH 18446744073709551616 is out of range (1 to 509)"},
    {"xu get 256 1 2", 2, "xu get: SELECTOR 256 is out of range (0 to 255)"},
    {"xu get 4 7 2", 2, "xu get: UNIT-INDEX 7 is out of range (1 to 6)"},
    {"xu set 4 1 00 --uvc --hid", 2, "xu set: --uvc and --hid exclude each other"},
    {"hid send 09", 2, "hid send: --mode 0 needs a report of at least 2 bytes (the answer must repeat byte 1)"},
    {"hid send 0919 --mode 2", 2, "hid: --mode 2 is out of range (0 to 1)"},
    // An answer may carry 505 data bytes after 4 bytes of its own; the report must hold it.
    {"hid query 0981 --length 508", 2, "hid: --length 508 is out of range (509 to 512)"},
    {"--device 10400000 uac get 7 65", 2, "uac get: LENGTH 65 is out of range (1 to 64)"},
    {"stream --snapshot frame.jpg", 2, "stream: --snapshot 'frame.jpg' must name a .png file"},
    {"stream --frames many", 2, "stream: --frames 'many' is not a whole number"},
    {"demo --json", 2, "demo: --json is not offered by this command"},
    {"watch", 2, "watch: --seconds is needed with --virtual-clock (simulated time would pass without end)"},
    {"list extra", 2, "list: unexpected argument 'extra'"},
};
INSTANTIATE_TEST_SUITE_P(BadInput, UvccamctlExchange, ::testing::ValuesIn(kBadInput));

const Exchange kNoSuchDevice[] = {
    {"--device 0x109000002a3b2574 info", 3,
     "--device 0x109000002a3b2574: no such device is attached (see 'uvccamctl list')"},
    {"uac get 7 2", 3,
     "uac get: the selected device RX710 (0x101000002a3b2574) is a camera; choose a speakerphone with --device"},
    {"--device 10400000 stream", 3,
     "stream: the selected device VOXA760 (10400000) is a speakerphone; choose a camera with --device"},
    {"--device 10400000 range zoom", 3,
     "range: the selected device VOXA760 (10400000) is a speakerphone; choose a camera with --device"},
};
INSTANTIATE_TEST_SUITE_P(NoSuchDevice, UvccamctlExchange, ::testing::ValuesIn(kNoSuchDevice));

const Exchange kCommands[] = {
    {"list", 0,
     "MODEL    DEVICE ID  UNIQUE ID           SELECTED\nRX710    10811      0x101000002a3b2574  *\n"
     "ST470    10811      0x102000002a3b470a\nLUM610   10811      0x103000002a3b6100\nVOXA760  1888       10400000\n"},
    {"info", 0,
     "model name:     RX710\ndevice ID:      10811\nunique ID:      0x101000002a3b2574\nkind:           camera\n"
     "serial number:  SIM000001\n"},
    {"get brightness", 0, "brightness: 128\n"},
    {"set zoom 300", 0, "zoom: 300\n"},
    {"set auto-focus off", 0, "auto-focus: 0\n"},
    // A negative value is a value, not an option.
    {"set pan -3600", 0, "pan: -3600\n"},
    // Property 0's range is backlight's; contrast's is the one property 3 asks.
    {"range contrast", 0, "contrast: minimum 0, maximum 100, default 50 (asked as property 3)\n"},
    {"set contrast 70", 0, "contrast: 70\n"},
    // No number asks saturation's or exposure's own range (3 asks contrast, 12 the exposure
    // mode): the camera judges the value, and refuses.
    {"set saturation 101", 1, "set: the camera refused saturation = 101"},
    {"set exposure 99999", 1, "set: the camera refused exposure = 99999"},
    // The LUM610's processing unit is not where the range table looks.
    {"--device 0x103000002a3b6100 range brightness", 1, "range: the camera gave no range for brightness"},
    {"xu set 4 1 12345678 --uvc", 0, "selector 4 of unit 1: wrote 12 34 56 78\n"},
    {"xu get 4 1 4 --uvc", 0, "00 00 00 00\n"},
    {"--device 10400000 uac set 7 0a0b", 0, "audio selector 7: wrote 0a 0b\n"},
    {"--device 10400000 uac get 7 2", 0, "00 00\n"},
    // The simulated firmware repeats the report's byte 1 as its acknowledgement.
    {"hid send 0942", 0, "result byte: 0x00\n"},
    {"hid send 0919 --mode 1", 0, "acknowledged\n"},
    {"hid send 0942 --mode 1", 1, "hid send: the device did not acknowledge the report"},
    {"hid query 0981", 0, "acknowledgement: 0x81\ndata (8 bytes): 00 01 02 03 04 05 06 07\n"},
    {"stream --seconds 1.5", 0, "streamed 45 frames in 1.50 s, 30.0 frames per second (640 x 360, 460800 bytes each)\n"},
    {"volume", 0, "speaker:     75 %\nmicrophone:  50 %\n"},
    {"transfer-mode", 0,
     "[1/3] 1 ST470 attached\n      ST470 (0x102000002a3b470a): transfer mode 0\n"
     "[2/3] switching every ST470 to transfer mode 1 (up to two minutes per camera)\n"
     "      at least one camera needed the switch\n[3/3] checking\n"
     "      ST470 (0x102000002a3b470a): transfer mode 1\nresult: every ST470 is in transfer mode 1\n"},
    // The camera leaves (the list loses it, the selection goes); one of the same model comes
    // back at a new USB location.
    {"watch --seconds 3 --replug", 0,
     "watching 4 devices for arrivals and removals for 3 s\n"
     "  1.000 s  (simulator) unplugging RX710 (0x101000002a3b2574)\n"
     "  1.000 s  deviceChange  - RX710 (0x101000002a3b2574)\n"
     "  1.000 s  deviceRemove\n  1.000 s  deviceChange\n  1.000 s  deviceAdd\n  1.000 s  deviceChange\n"
     "  2.000 s  (simulator) plugging in an RX710\n"
     "  2.000 s  deviceAdd\n  2.000 s  deviceChange  + RX710 (0x105000002a3b2574)\n"
     "  2.000 s  deviceAdd\n  2.000 s  deviceChange\n"
     "arrivals: 3, removals: 1, devices attached: 4\n"},
    // Command+Up held for 0.25 s repeats its pair every 0.1 s; the others report once.
    {"hotkeys --seconds 3 --press", 0,
     "hot keys registered; press Command (Control) with an arrow, +, - or L, or Option (Alt) with a digit (for 3 s)\n"
     "  0.500 s  (simulator) pressing Command+Up, held 0.25 s\n"
     "  0.500 s  keyPressed Key_Control (0x1000021)\n  0.500 s  keyPressed Key_Up (0x1000013)\n"
     "  0.600 s  keyPressed Key_Control (0x1000021)\n  0.600 s  keyPressed Key_Up (0x1000013)\n"
     "  0.700 s  keyPressed Key_Control (0x1000021)\n  0.700 s  keyPressed Key_Up (0x1000013)\n"
     "  1.500 s  (simulator) pressing Option+1\n"
     "  1.500 s  keyPressed Key_Alt (0x1000023)\n  1.500 s  keyPressed Key_1 (0x31)\n"
     "  2.000 s  (simulator) pressing Command+L\n"
     "  2.000 s  keyPressed Key_Control (0x1000021)\n  2.000 s  keyPressed Key_L (0x4c)\n"
     "10 key values reported\n"},
    // Events as JSON lines, keys in order: one object per event, the counts last.
    {"watch --seconds 3 --replug --json", 0,
     "{\"action\":\"unplugging RX710 (0x101000002a3b2574)\",\"event\":\"simulator\",\"time\":1}\n"
     "{\"arrived\":[],\"event\":\"deviceChange\",\"left\":[{\"model\":\"RX710\",\"uniqueId\":\"0x101000002a3b2574\"}],\"time\":1}\n"
     "{\"event\":\"deviceRemove\",\"time\":1}\n{\"arrived\":[],\"event\":\"deviceChange\",\"left\":[],\"time\":1}\n"
     "{\"event\":\"deviceAdd\",\"time\":1}\n{\"arrived\":[],\"event\":\"deviceChange\",\"left\":[],\"time\":1}\n"
     "{\"action\":\"plugging in an RX710\",\"event\":\"simulator\",\"time\":2}\n{\"event\":\"deviceAdd\",\"time\":2}\n"
     "{\"arrived\":[{\"model\":\"RX710\",\"uniqueId\":\"0x105000002a3b2574\"}],\"event\":\"deviceChange\",\"left\":[],\"time\":2}\n"
     "{\"event\":\"deviceAdd\",\"time\":2}\n{\"arrived\":[],\"event\":\"deviceChange\",\"left\":[],\"time\":2}\n"
     "{\"arrivals\":3,\"devicesAttached\":4,\"event\":\"end\",\"removals\":1,\"time\":3}\n"},
    {"hotkeys --seconds 1 --press --json", 0,
     "{\"action\":\"pressing Command+Up, held 0.25 s\",\"event\":\"simulator\",\"time\":0.5}\n"
     "{\"code\":16777249,\"event\":\"keyPressed\",\"key\":\"Key_Control\",\"pressed\":true,\"time\":0.5}\n"
     "{\"code\":16777235,\"event\":\"keyPressed\",\"key\":\"Key_Up\",\"pressed\":true,\"time\":0.5}\n"
     "{\"code\":16777249,\"event\":\"keyPressed\",\"key\":\"Key_Control\",\"pressed\":true,\"time\":0.6}\n"
     "{\"code\":16777235,\"event\":\"keyPressed\",\"key\":\"Key_Up\",\"pressed\":true,\"time\":0.6}\n"
     "{\"code\":16777249,\"event\":\"keyPressed\",\"key\":\"Key_Control\",\"pressed\":true,\"time\":0.7}\n"
     "{\"code\":16777235,\"event\":\"keyPressed\",\"key\":\"Key_Up\",\"pressed\":true,\"time\":0.7}\n"
     "{\"event\":\"end\",\"keyValues\":6,\"time\":1}\n"},
};
INSTANTIATE_TEST_SUITE_P(Commands, UvccamctlExchange, ::testing::ValuesIn(kCommands));

TEST_F(Uvccamctl, LibraryDiagnosticsAppearOnlyWithVerboseOnStandardErrorByChannel)
{
    const ToolRun verbose = simulate(QStringLiteral("--verbose list"));
    EXPECT_EQ(verbose.out, simulate(QStringLiteral("list")).out);
    // The serial number the library logs as it opens each camera, on both of its channels.
    EXPECT_TRUE(verbose.err.startsWith("[stderr] SIM000001\n[system] DeviceSerialNumber = SIM000001\n")) << verbose.err.toStdString();
    const ToolRun refused = simulate(QStringLiteral("--verbose hid send 0942 --mode 1"));
    EXPECT_TRUE(refused.err.endsWith("[qtdebug] setExHidReport ack err\n"
                                     "uvccamctl: hid send: the device did not acknowledge the report\n"))
        << refused.err.toStdString();
}

TEST_F(Uvccamctl, HelpWithExamplesForEveryCommandAndTheLibraryVersion)
{
    const ToolRun version = run(QStringLiteral("--version"));
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, QStringLiteral("libuvccam %1\n").arg(QLatin1String(uvccam::libraryVersion())));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^libuvccam \\d+\\.\\d+\\.\\d+\n$")).match(version.out).hasMatch());

    const QString overview = run(QStringLiteral("--help")).out;
    for (const QString& command : words(kDeviceCommands + QStringLiteral(" demo"))) {
        const ToolRun result = run(command + QStringLiteral(" --help"));
        EXPECT_EQ(result.status, 0) << command.toStdString();
        EXPECT_TRUE(result.out.startsWith("usage: uvccamctl [GLOBAL OPTIONS] " + command)) << result.out.toStdString();
        EXPECT_TRUE(result.out.contains(QStringLiteral("\nExample"))) << command.toStdString();
        EXPECT_EQ(run("help " + command).out, result.out);
        EXPECT_TRUE(overview.contains("\n  " + command + ' ')) << command.toStdString();
    }
}

TEST_F(Uvccamctl, JsonOutputParsesBack)
{
    const QJsonArray devices = simulate("--device " + kVoxa760 + " list --json").json().array();
    ASSERT_EQ(devices.size(), 4);
    EXPECT_EQ(devices[3].toObject(), (QJsonObject{{"model", "VOXA760"}, {"deviceId", 1888}, {"uniqueId", kVoxa760},
                                                  {"kind", "speakerphone"}, {"selected", true}}));
    EXPECT_FALSE(devices[0][QStringLiteral("selected")].toBool());

    // Every command that reports data, on the RX710 unless --device says otherwise.
    const std::pair<QString, const char*> reports[] = {
        {"--device " + kLum610 + " info --json",
         R"({"model":"LUM610","deviceId":10811,"uniqueId":"0x103000002a3b6100","kind":"camera","serialNumber":"SIM000003"})"},
        {"get 9 --json", R"({"property":"zoom","number":9,"value":100})"},
        {"set zoom 300 --json", R"({"property":"zoom","number":9,"value":300})"},
        {"range zoom --json", R"({"property":"zoom","number":9,"minimum":100,"maximum":500,"default":100})"},
        {"range contrast --json", R"({"property":"contrast","number":3,"minimum":0,"maximum":100,"default":50})"},
        {"volume --json", R"({"speaker":75,"microphone":50})"},
        {"xu get 4 1 2 --uvc --json", R"({"action":"get","selector":4,"unit":1,"data":"0000"})"},
        {"xu set 4 1 0a0b --uvc --json", R"({"action":"set","selector":4,"unit":1,"data":"0a0b"})"},
        {"hid send 0942 --json", R"({"action":"send","mode":0,"result":0})"},
        {"hid query 0981 --json", R"({"action":"query","acknowledgement":129,"data":"0001020304050607"})"},
        {"--device " + kVoxa760 + " uac set 7 0a0b --json", R"({"action":"set","selector":7,"data":"0a0b"})"},
        {"stream --seconds 1.5 --json",
         R"({"frames":45,"seconds":1.5,"framesPerSecond":30,"width":640,"height":360,"frameBytes":460800,"snapshot":null})"},
        {"transfer-mode --json",
         R"({"switched":true,"cameras":[{"model":"ST470","uniqueId":"0x102000002a3b470a","before":0,"after":1}]})"},
    };
    for (const auto& [line, expected] : reports) {
        const ToolRun result = simulate(line);
        EXPECT_EQ(result.status, 0) << line.toStdString();
        EXPECT_EQ(result.json(), QJsonDocument::fromJson(expected)) << line.toStdString() << '\n' << result.out.toStdString();
    }

    const QJsonArray all = simulate(QStringLiteral("get all --json")).json().array();
    ASSERT_EQ(all.size(), 14);
    for (int number = 0; number < all.size(); ++number)
        EXPECT_EQ(all[number][QStringLiteral("number")].toInt(), number);
    EXPECT_EQ(all[12][QStringLiteral("value")].toInt(), 156);  // exposure time

    // Each range under the control it really asks. The LUM610's processing unit rows are
    // refused; the terminal's are not.
    const ToolRun lum610 = simulate("--device " + kLum610 + " range all --json");
    EXPECT_EQ(lum610.status, 0);
    const QJsonArray rows = lum610.json().array();
    QStringList asked;
    for (const QJsonValue& row : rows)
        asked << row[QStringLiteral("property")].toString();
    EXPECT_EQ(asked, words("backlight brightness sharpness contrast backlight white-balance auto-white-balance pan tilt zoom "
                           "focus auto-focus exposure-mode"));
    ASSERT_EQ(rows.size(), 13);
    EXPECT_TRUE(rows[1][QStringLiteral("minimum")].isNull());
    EXPECT_EQ(rows[7][QStringLiteral("maximum")].toInt(), 36000);  // pan
    EXPECT_EQ(rows[12][QStringLiteral("maximum")].toInt(), 8);     // the exposure mode
}

TEST_F(Uvccamctl, HexBytesMayBeWrittenAsPeopleCopyThem)
{
    for (const char* form : {"0a1bff", "0A1BFF", "0a 1b ff", "0a:1b:ff", "0x0a1bff"}) {
        const ToolRun result = simulate(QStringLiteral("xu set 4 1"), {QString::fromLatin1(form), QStringLiteral("--uvc")});
        EXPECT_EQ(result.status, 0) << form;
        EXPECT_EQ(result.out, QStringLiteral("selector 4 of unit 1: wrote 0a 1b ff\n")) << form;
    }
}

TEST_F(Uvccamctl, StreamsAtTheCamerasRateAndWritesTheColourBars)
{
    const QString snapshot = temporary(QStringLiteral("frame.png"));
    const ToolRun result = simulate(QStringLiteral("stream --frames 10 --snapshot"), {snapshot});
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^streamed 10 frames in 0\\.3\\d s, 30\\.0 frames per second "
                                                  "\\(640 x 360, 460800 bytes each\\)\nsnapshot: ") +
                                   QRegularExpression::escape(snapshot) + QStringLiteral("\n$"))
                    .match(result.out)
                    .hasMatch())
        << result.out.toStdString();

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

TEST_F(Uvccamctl, RecordsTheClipFromEitherKindWithItsLevelsAndPlaysItBack)
{
    // Named by the virtual clock's start date, in the temporary directory.
    const QString file = temporary(QStringLiteral("20260101090000.m4a"));
    const std::pair<const char*, const char*> devices[] = {{"", "RX710 (0x101000002a3b2574)"},
                                                           {"--device 10400000 ", "VOXA760 (10400000)"}};
    for (const auto& [options, device] : devices) {
        QFile::remove(file);
        const ToolRun result = simulate(QString::fromLatin1(options) + QStringLiteral("record"));
        EXPECT_EQ(result.status, 0) << result.err.toStdString();
        const QStringList lines = result.lines();
        ASSERT_EQ(lines.size(), 4) << result.out.toStdString();
        EXPECT_EQ(lines[0], QStringLiteral("recording 10 s from ") + device);
        // The simulated voice swings the level between 0 and 3 through ten readings a second.
        const QRegularExpression level(QStringLiteral("^level: (99|100) readings from 0 to 3 \\(5 is full scale\\)$"));
        EXPECT_TRUE(level.match(lines[1]).hasMatch()) << lines[1].toStdString();
        EXPECT_EQ(lines.mid(2), (QStringList{"file: " + file, QStringLiteral("played back")}));
        EXPECT_GT(QFileInfo(file).size(), 0);
    }
    QJsonObject json = simulate(QStringLiteral("record --json")).json().object();
    EXPECT_GE(json.take(QStringLiteral("levelReadings")).toInt(), 99);
    EXPECT_EQ(json, (QJsonObject{{"model", "RX710"}, {"uniqueId", "0x101000002a3b2574"}, {"lowestLevel", 0},
                                 {"highestLevel", 3}, {"file", file}, {"playedBack", true}}));
}

TEST_F(Uvccamctl, DemoRunsEveryStepToTheEnd)
{
    const QString snapshot = temporary(QStringLiteral("demo.png"));
    const ToolRun result = run(QStringLiteral("--virtual-clock demo --snapshot"), {snapshot});
    EXPECT_EQ(result.status, 0) << result.out.toStdString();
    const int summary = result.out.indexOf(QStringLiteral("\n== Summary\n"));
    ASSERT_GE(summary, 0) << result.out.toStdString();
    for (const char* step : {"list", "select", "control", "vendor property", "stream", "record", "volume"}) {
        const QRegularExpression row(QStringLiteral("\n%1\\s{2,}ok\\s").arg(QLatin1String(step)));
        EXPECT_TRUE(result.out.mid(summary).contains(row)) << step;
    }
    EXPECT_FALSE(result.out.mid(summary).contains(QStringLiteral("FAILED")));
    EXPECT_TRUE(result.out.contains(
        QStringLiteral("\n   HID mode, selector 3 of extension unit 1 (a HID report): wrote a5 5a, read a5 5a\n")));
    EXPECT_EQ(QImage(snapshot).size(), QSize(640, 360));
}

}  // namespace
