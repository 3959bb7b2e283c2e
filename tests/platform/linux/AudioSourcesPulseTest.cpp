// The sound server's microphones as capture devices: their identities, and a list that follows a private PulseAudio.
#include "platform/linux/AudioSourcesPulse.h"

#include "platform/linux/RunLoopQt.h"
#include "support/EmulatedUsb.h"
#include "support/PrivatePulseAudio.h"
#include "support/QtPrinters.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

using namespace uvccam::platform;
using namespace uvccam::testing;
using Name = CaptureDeviceNotification::Name;

namespace {

// A retry comes after its interval; then connecting and listing each take at most the reply timeout.
constexpr std::chrono::milliseconds kReconnectLimit{AudioSourcesPulse::kRetryIntervalMs
                                                    + 2 * AudioSourcesPulse::kReplyTimeoutMs};

TEST(CaptureDevicePulseIdentity, UsbSourcesCarryTheirCamerasLocationSerialAndProduct)
{
    struct Row {
        const char* why;
        QString name;
        QString description;
        CaptureDevicePulse::Properties properties;
        QString uniqueID;
        QString modelID;
    };
    const Row rows[] = {
        {"a camera's microphone as PulseAudio describes it: the camera's own ID, then product, serial, source",
         "alsa_input.usb-cam",
         "RX710 Analog Stereo",
         {{"device.bus", "usb"},
          {"device.vendor.id", "2a3b"},
          {"device.product.id", "2574"},
          {"device.product.name", "RX710"},
          {"device.serial", "2a3b_RX710_SN2574"},
          {"sysfs.path", "/devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1.4/1-1.4:1.2/sound/card1"}},
         "0xf11400002a3b2574:RX710:2a3b_RX710_SN2574:alsa_input.usb-cam",
         "RX710"},
        {"a speakerphone as PipeWire describes it: IDs after 0x, no bus, /sys before the path",
         "alsa_input.usb-voxa",
         "VOXA760",
         {{"device.vendor.id", "0x2a3b"},
          {"device.product.id", "0x0760"},
          {"device.product.name", "VOXA760"},
          {"sysfs.path", "/sys/devices/pci0000:00/0000:00:14.0/usb2/2-3/2-3:1.0/sound/card2"}},
         "0xf23000002a3b0760:VOXA760::alsa_input.usb-voxa",
         "VOXA760"},
        {"USB without a sysfs path: no location, which no camera has", "usbmic", "",
         {{"device.bus", "usb"}, {"device.vendor.id", "2a3b"}}, "0x000000002a3b0000:::usbmic", "usbmic"},
        {"a built-in microphone on PCI is its source's name", "alsa_input.pci-0000_00_1f.3.analog-stereo",
         "Built-in Audio", {{"device.bus", "pci"}, {"sysfs.path", "/devices/pci0000:00/0000:00:1f.3/sound/card0"}},
         "alsa_input.pci-0000_00_1f.3.analog-stereo", "Built-in Audio"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.why);
        const auto device = CaptureDevicePulse::fromSource(row.name, row.description, row.properties);
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->uniqueID(), row.uniqueID);
        EXPECT_EQ(device->modelID(), row.modelID);
        EXPECT_EQ(device->localizedName(), row.description.isEmpty() ? row.name : row.description);
        EXPECT_EQ(device->sourceName(), row.name);
        EXPECT_TRUE(device->hasMediaType(MediaType::Audio));
        EXPECT_FALSE(device->hasMediaType(MediaType::Video));
    }
    EXPECT_EQ(CaptureDevicePulse::fromSource("speaker.monitor", "Monitor of Speaker", {{"device.class", "monitor"}}),
              nullptr);
}

// Points PULSE_SERVER at a socket nobody serves while it lives, so that no server of the
// machine's is ever reached between private ones.
class NoServerAround {
public:
    NoServerAround() : _previous(qgetenv("PULSE_SERVER"))
    {
        qputenv("PULSE_SERVER", "unix:" + _dir.filePath(QStringLiteral("nobody-listens")).toLocal8Bit());
    }
    ~NoServerAround()
    {
        if (_previous.isNull())
            qunsetenv("PULSE_SERVER");
        else
            qputenv("PULSE_SERVER", _previous);
    }

private:
    QTemporaryDir _dir;
    QByteArray _previous;
};

class AudioSourcesPulseTest : public ::testing::Test {
protected:
    struct Heard {
        Name name;
        std::shared_ptr<CaptureDevicePulse> device;
        bool listedWhenHeard;
    };

    void SetUp() override
    {
        ASSERT_EQ(pulse->error(), QString());
        sources = std::make_unique<AudioSourcesPulse>(runLoop);
        sources->setListener([this](Name name, const std::shared_ptr<CaptureDevicePulse>& device) {
            const auto listed = sources->devices();
            heard.push_back({name, device, std::find(listed.begin(), listed.end(), device) != listed.end()});
        });
    }
    void TearDown() override { sources.reset(); }

    QStringList sourceNames() const
    {
        QStringList names;
        for (const auto& device : sources->devices())
            names << device->sourceName();
        return names;
    }
    std::shared_ptr<CaptureDevicePulse> listed(const QString& sourceName) const
    {
        for (const auto& device : sources->devices()) {
            if (device->sourceName() == sourceName)
                return device;
        }
        return nullptr;
    }
    void pactl(const QStringList& arguments, QString* output = nullptr) const
    {
        QString failure;
        const QString answer = pulse->pactl(arguments, &failure);
        ASSERT_FALSE(answer.isNull()) << failure.toStdString();
        if (output)
            *output = answer.trimmed();
    }
    bool hear(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5))
    {
        return waitFor([this, count] { return heard.size() >= count; }, limit);
    }

    RunLoopQt runLoop;
    NoServerAround noServerAround;
    std::unique_ptr<PrivatePulseAudio> pulse = std::make_unique<PrivatePulseAudio>();
    std::unique_ptr<AudioSourcesPulse> sources;
    std::vector<Heard> heard;
};

TEST_F(AudioSourcesPulseTest, ListsTheMicrophonesButNoMonitorAndFindsTheDefault)
{
    EXPECT_EQ(sourceNames(), (QStringList{"mic", PrivatePulseAudio::kCameraMicrophone}));
    const auto camera = listed(PrivatePulseAudio::kCameraMicrophone);
    ASSERT_NE(camera, nullptr);
    // The RX710 at port 1-1.4: the camera's unique ID is 0xf11400002a3b2574.
    EXPECT_TRUE(camera->uniqueID().startsWith("0xf11400002a3b2574:RX710:")) << camera->uniqueID().toStdString();
    EXPECT_TRUE(camera->uniqueID().contains(PrivatePulseAudio::kCameraSerial));
    EXPECT_EQ(listed("mic")->uniqueID(), "mic");
    EXPECT_EQ(listed("mic")->localizedName(), "Microphone");
    EXPECT_TRUE(heard.empty()) << "the first listing is no arrival";

    EXPECT_EQ(sources->defaultDevice(), listed("mic"));
    pactl({"set-default-source", PrivatePulseAudio::kCameraMicrophone});
    EXPECT_EQ(sources->defaultDevice(), camera);
    pactl({"set-default-source", "micfeed.monitor"});
    EXPECT_EQ(sources->defaultDevice(), nullptr);
}

// A sink's monitor that arrives is passed over; a microphone is in the list when it is
// announced, and the one announced gone is the same object, out of the list.
TEST_F(AudioSourcesPulseTest, AnnouncesAMicrophoneThatComesAndGoes)
{
    QString speakerphone;
    pactl({"load-module", "module-null-sink", "sink_name=extra"});
    pactl({"load-module", "module-remap-source", "source_name=voxa", "master=micfeed.monitor",
           "source_properties='" + PrivatePulseAudio::usbSourceProperties("VOXA760", 0x0760, "VX0001", "2-3") + "'"},
          &speakerphone);
    ASSERT_TRUE(hear(1));
    const Heard arrival = heard[0];
    EXPECT_EQ(arrival.name, Name::WasConnected);
    EXPECT_TRUE(arrival.listedWhenHeard);
    EXPECT_EQ(arrival.device->sourceName(), "voxa");
    EXPECT_TRUE(arrival.device->uniqueID().startsWith("0xf2300000")) << arrival.device->uniqueID().toStdString();
    EXPECT_TRUE(arrival.device->uniqueID().contains("VOXA"));

    pactl({"unload-module", speakerphone});
    ASSERT_TRUE(hear(2));
    EXPECT_EQ(heard[1].name, Name::WasDisconnected);
    EXPECT_EQ(heard[1].device, arrival.device);
    EXPECT_FALSE(heard[1].listedWhenHeard);
    EXPECT_FALSE(arrival.device->isConnected());
    EXPECT_EQ(sourceNames(), (QStringList{"mic", PrivatePulseAudio::kCameraMicrophone}));
}

TEST_F(AudioSourcesPulseTest, EveryMicrophoneLeavesWithTheServerAndTheNextServersArrive)
{
    const auto before = sources->devices();
    pulse.reset();
    ASSERT_TRUE(hear(2));
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(heard[i].name, Name::WasDisconnected);
        EXPECT_EQ(heard[i].device, before[i]);
        EXPECT_FALSE(heard[i].device->isConnected());
    }
    EXPECT_TRUE(sources->devices().empty());
    EXPECT_EQ(sources->defaultDevice(), nullptr);

    pulse = std::make_unique<PrivatePulseAudio>();
    ASSERT_EQ(pulse->error(), QString());
    ASSERT_TRUE(hear(4, kReconnectLimit));
    EXPECT_EQ(heard[2].name, Name::WasConnected);
    EXPECT_EQ(heard[3].name, Name::WasConnected);
    EXPECT_NE(heard[2].device, before[0]) << "a new server's source is a new device";
    EXPECT_EQ(sourceNames(), (QStringList{"mic", PrivatePulseAudio::kCameraMicrophone}));
    EXPECT_EQ(sources->defaultDevice(), listed("mic"));
}

// A server that takes the connection and then says nothing holds the constructor no longer
// than the bounded wait; once it answers again, a later attempt lists its sources.
TEST(AudioSourcesPulseFrozenServer, IsGivenUpOnAndFollowedOnceItAnswers)
{
    NoServerAround noServer;
    PrivatePulseAudio pulse;
    ASSERT_EQ(pulse.error(), QString());
    ASSERT_TRUE(pulse.freeze(true));
    RunLoopQt runLoop;
    QElapsedTimer elapsed;
    elapsed.start();
    AudioSourcesPulse sources(runLoop);
    EXPECT_LT(elapsed.elapsed(), AudioSourcesPulse::kReplyTimeoutMs + 500);
    EXPECT_TRUE(sources.devices().empty());
    ASSERT_TRUE(pulse.freeze(false));
    EXPECT_TRUE(waitFor([&sources] { return sources.devices().size() == 2; }, kReconnectLimit));
}

int& audioWarnings()
{
    static int count = 0;
    return count;
}

TEST(AudioSourcesPulseWithoutServer, IsEmptyAtOnceAndSaysSoOnce)
{
    NoServerAround noServer;
    audioWarnings() = 0;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString&) {
            if (type == QtWarningMsg && qstrcmp(context.category, "uvccam.linux.audio") == 0)
                ++audioWarnings();
        });
    RunLoopQt runLoop;
    QElapsedTimer elapsed;
    elapsed.start();
    {
        AudioSourcesPulse sources(runLoop);
        EXPECT_TRUE(sources.devices().empty());
        EXPECT_EQ(sources.defaultDevice(), nullptr);
    }
    EXPECT_LT(elapsed.elapsed(), AudioSourcesPulse::kReplyTimeoutMs);
    qInstallMessageHandler(previous);
    EXPECT_EQ(audioWarnings(), 1);
}

}  // namespace
