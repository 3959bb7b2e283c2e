// uvccamctl without --simulate: the library's own platform, run as a process inside a umockdev
// test bed, so that it sees the emulated devices and nothing of the machine it runs on.
#include "platform/linux/AudioFileProbeGst.h"
#include "platform/sim/PixelBufferSim.h"
#include "support/EmulatedUsb.h"
#include "support/PrivatePulseAudio.h"
#include "support/PrivateXServer.h"
#include "support/QtPrinters.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
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
        // In a sanitized build, a run that used a leak suppression (GStreamer's, once video
        // runs) lists it on standard error at exit; what the test reads is the tool's own.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        const QString leakOptions = environment.value(QStringLiteral("LSAN_OPTIONS"));
        environment.insert(QStringLiteral("LSAN_OPTIONS"),
                           (leakOptions.isEmpty() ? QString() : leakOptions + ':') + "print_suppressions=0");
        process.setProcessEnvironment(environment);
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
    {"stream --frames 30", 3, "stream: no device selected (none of the maker's devices is attached)"},
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

// The system volumes from the sound server, which needs no device of the maker's: the
// private server's defaults, as pactl set them; without a server, no volume at all.
TEST_F(UvccamctlRealPlatform, VolumeReadsTheSoundServersDefaults)
{
    {
        const PrivatePulseAudio pulse;
        ASSERT_EQ(pulse.error(), QString());
        ASSERT_FALSE(pulse.pactl({"set-sink-volume", "@DEFAULT_SINK@", "50%"}).isNull());
        ASSERT_FALSE(pulse.pactl({"set-source-volume", "@DEFAULT_SOURCE@", "25%", "75%"}).isNull());
        const ToolRun text = run(QStringLiteral("volume"));
        EXPECT_EQ(text.status, 0) << text.err.toStdString();
        EXPECT_EQ(text.out, "speaker:     50 %\nmicrophone:  50 %\n");
        const ToolRun json = run(QStringLiteral("volume --json"));
        EXPECT_EQ(QJsonDocument::fromJson(json.out.toUtf8()).object(), (QJsonObject{{"speaker", 50}, {"microphone", 50}}))
            << json.out.toStdString();
    }

    const QTemporaryDir dir;
    qputenv("PULSE_SERVER", "unix:" + dir.filePath(QStringLiteral("nobody-listens")).toLocal8Bit());
    QElapsedTimer elapsed;
    elapsed.start();
    const ToolRun none = run(QStringLiteral("volume --json"));
    qunsetenv("PULSE_SERVER");
    EXPECT_EQ(none.status, 0) << none.err.toStdString();
    EXPECT_EQ(QJsonDocument::fromJson(none.out.toUtf8()).object(), (QJsonObject{{"speaker", 0}, {"microphone", 0}}));
    EXPECT_LT(elapsed.elapsed(), 10000) << "no wait for a server that is not there";
}

// The microphone test from an emulated RX710's own microphone on the private sound server:
// ten seconds of its sine (1.77 on the meter, shown as 1), a clip of ten seconds, played back.
TEST_F(UvccamctlRealPlatform, RecordTakesTenSecondsFromTheCamerasMicrophoneAndPlaysThemBack)
{
    const PrivatePulseAudio pulse;
    ASSERT_EQ(pulse.error(), QString());
    ASSERT_TRUE(pulse.waitUntilMicrophonesAreLive());
    usb.plug(EmulatedDevice::camera(QStringLiteral("RX710 Conference Camera"), 0x2574, "1.4"));
    // Clips are named by the second they start in: tests running side by side keep theirs apart.
    const QTemporaryDir clips;
    const QByteArray previousTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", clips.path().toLocal8Bit());
    const ToolRun record = run(QStringLiteral("record --json"));
    if (previousTemp.isEmpty())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", previousTemp);
    ASSERT_EQ(record.status, 0) << record.err.toStdString();
    const QJsonObject result = QJsonDocument::fromJson(record.out.toUtf8()).object();
    EXPECT_GE(result.value("levelReadings").toInt(), 95) << record.out.toStdString();
    EXPECT_LE(result.value("levelReadings").toInt(), 101);
    EXPECT_EQ(result.value("highestLevel").toInt(), 1);
    EXPECT_TRUE(result.value("playedBack").toBool());
    const QString clip = result.value("file").toString();
    EXPECT_TRUE(clip.startsWith(clips.path())) << clip.toStdString();
    EXPECT_NEAR(uvccam::platform::probeAudioFileDuration(clip).value_or(0.0), 10.0, 0.2) << clip.toStdString();
}

// The colour a video-range BT.601 pixel is meant to show, worked out here independently of
// the tool's fixed-point conversion.
QRgb expectedRgb(int y, int cb, int cr)
{
    const double luma = 1.164 * (y - 16);
    auto channel = [](double value) { return static_cast<int>(std::lround(std::clamp(value, 0.0, 255.0))); };
    return qRgb(channel(luma + 1.596 * (cr - 128)), channel(luma - 0.392 * (cb - 128) - 0.813 * (cr - 128)),
                channel(luma + 2.017 * (cb - 128)));
}

// The frame number the camera drew into a picture's first row: 32 pixel pairs, white for a
// set bit, most significant first.
std::uint32_t frameNumberIn(const QImage& image)
{
    std::uint32_t number = 0;
    for (int bit = 0; bit < 32; ++bit)
        number = (number << 1) | (qGray(image.pixel(bit * 2, 0)) > 128 ? 1u : 0u);
    return number;
}

// stream from an emulated RX710's capture node: the library's v4l2src reads the camera's
// numbered test frames, and the snapshot is the last of them, pixel for pixel.
TEST_F(UvccamctlRealPlatform, StreamsFromTheCameraAndWritesTheFrameItSentAsThePicture)
{
    const EmulatedNodes rx = usb.plug(EmulatedDevice::camera(QStringLiteral("RX710 Conference Camera"), 0x2574, "1.4"));
    const QTemporaryDir dir;
    const QString snapshot = dir.filePath(QStringLiteral("x.png"));
    const ToolRun result = run(QStringLiteral("stream --frames 30 --snapshot ") + snapshot);
    ASSERT_EQ(result.status, 0) << result.err.toStdString();
    EXPECT_EQ(result.err, QString());
    const QRegularExpressionMatch streamed =
        QRegularExpression(QStringLiteral("^streamed 30 frames in \\d+\\.\\d\\d s, (\\d+\\.\\d) frames per second "
                                          "\\(640 x 360, 460800 bytes each\\)\nsnapshot: ")
                           + QRegularExpression::escape(snapshot) + QStringLiteral("\n$"))
            .match(result.out);
    ASSERT_TRUE(streamed.hasMatch()) << result.out.toStdString();
    const double rate = streamed.captured(1).toDouble();
    EXPECT_GT(rate, 15.0) << "the camera's 30 per second, some dropped on a loaded machine";
    EXPECT_LT(rate, 45.0);
    EXPECT_TRUE(waitFor([&] { return !usb.uvc(rx).isStreaming(); })) << "the tool left the camera streaming";
    EXPECT_EQ(usb.uvc(rx).videoStreams(), 1);

    const QImage image(snapshot);
    ASSERT_EQ(image.size(), QSize(640, 360));
    // The 30th frame delivered or a later one, if the tool missed any, but one the camera sent.
    const std::uint32_t number = frameNumberIn(image);
    EXPECT_GE(number, 29u);
    EXPECT_LT(number, static_cast<std::uint32_t>(usb.uvc(rx).framesSent()));

    // Every pixel is the test frame of that number's, the counter included.
    uvccam::platform::PixelBufferSim sent(640, 360);
    sent.drawTestFrame(number);
    int wrong = 0;
    QString firstWrong;
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t* row = sent.pixels() + y * sent.bytesPerRow();
        for (int x = 0; x < image.width(); ++x) {
            const std::uint8_t* pair = row + (x / 2) * 4;
            const QRgb expected = expectedRgb(pair[1 + (x % 2) * 2], pair[0], pair[2]);
            const QRgb pixel = image.pixel(x, y);
            if (std::abs(qRed(pixel) - qRed(expected)) > 3 || std::abs(qGreen(pixel) - qGreen(expected)) > 3
                || std::abs(qBlue(pixel) - qBlue(expected)) > 3) {
                if (wrong++ == 0)
                    firstWrong = QStringLiteral("(%1, %2) is %3, not %4").arg(x).arg(y).arg(pixel, 0, 16).arg(expected, 0, 16);
            }
        }
    }
    EXPECT_EQ(wrong, 0) << "frame " << number << ": " << firstWrong.toStdString();
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

// hotkeys on a private X server: once the tool says the shortcuts are registered, the ones
// xdotool presses come out as the library's keys, and the run ends after its seconds.
TEST_F(UvccamctlRealPlatform, HotkeysPrintsTheShortcutsPressedOnTheXDisplay)
{
    const PrivateXServer display;
    ASSERT_EQ(display.error(), QString());
    QProcess tool;
    tool.start(QStringLiteral(UVCCAMCTL_PATH), {QStringLiteral("hotkeys"), QStringLiteral("--seconds"), QStringLiteral("3")});
    QString out;
    ASSERT_TRUE(waitForOutput(tool, out, QStringLiteral("hot keys registered")))
        << out.toStdString() << tool.readAllStandardError().toStdString();
    for (const char* keys : {"alt+3", "ctrl+l"}) {
        QString failure;
        display.xdotool({QStringLiteral("key"), QLatin1String(keys)}, &failure);
        EXPECT_EQ(failure, QString());
    }
    ASSERT_TRUE(tool.waitForFinished(10000));
    out += QString::fromUtf8(tool.readAllStandardOutput());
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().toStdString();
    // Each event's time, which the test does not control, left out.
    out.replace(QRegularExpression(QStringLiteral("(?m)^ +\\d+\\.\\d{3} s  ")), QString());
    EXPECT_EQ(out, "hot keys registered; press Command (Control) with an arrow, +, - or L, or Option (Alt) with a digit "
                   "(for 3 s)\nkeyPressed Key_Alt (0x1000023)\nkeyPressed Key_3 (0x33)\n"
                   "keyPressed Key_Control (0x1000021)\nkeyPressed Key_L (0x4c)\n4 key values reported\n");
}

// Without an X display the hot keys cannot be registered: the tool says so and fails.
TEST_F(UvccamctlRealPlatform, HotkeysFailsWithoutAnXDisplay)
{
    const QByteArray previous = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    const ToolRun result = run(QStringLiteral("hotkeys --seconds 1"));
    if (!previous.isEmpty())
        qputenv("DISPLAY", previous);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, QString());
    EXPECT_TRUE(result.err.contains(QStringLiteral("global hot keys need an X11 display"))) << result.err.toStdString();
    EXPECT_TRUE(result.err.endsWith(QStringLiteral("uvccamctl: hotkeys: the global hot keys could not all be registered: "
                                                   "another program holds one of them, or there is no X11 display\n")))
        << result.err.toStdString();
}

}  // namespace
