// The hidraw HID service on emulated devices: what it lists, hot-plug, reports on the node both
// ways, scheduling, unplug and refused access; then the library on top of it.
#include "platform/linux/HidServiceHidraw.h"

#include "UVCCam.h"
#include "hotkey/HKHotKeyCenter.h"
#include "mac/MacCameraManager.h"
#include "mac/MacHidDevice.h"
#include "mac/MacHidDeviceManager.h"
#include "mac/MacHotKeyManager.h"
#include "mac/MacUVCCam.h"
#include "platform/Platform.h"
#include "platform/linux/PlatformLinux.h"
#include "support/CategoryMessages.h"
#include "support/EmulatedUsb.h"
#include "support/LibraryProcessState.h"
#include "support/QtPrinters.h"

#include <QElapsedTimer>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <vector>

using namespace uvccam::platform;
using namespace uvccam::testing;
using namespace std::chrono_literals;

namespace {

// `values`, then zeros up to `size`.
QByteArray bytes(std::initializer_list<int> values, int size = 0)
{
    QByteArray out;
    for (const int value : values)
        out.append(static_cast<char>(value));
    if (out.size() < size)
        out.append(QByteArray(size - out.size(), '\0'));
    return out;
}

QStringList hex(const std::vector<QByteArray>& reports)
{
    QStringList out;
    for (const QByteArray& report : reports)
        out << QString::fromLatin1(report.toHex());
    return out;
}

// Takes input reports into a space of its own.
struct Receiver {
    std::vector<QByteArray> reports;
    std::uint8_t space[HidDeviceHidraw::kMaxReportSize] = {};

    static void take(void* context, HidStatus, HidDevice*, std::uint32_t, std::uint8_t* report, long length)
    {
        static_cast<Receiver*>(context)->reports.emplace_back(reinterpret_cast<const char*>(report),
                                                              static_cast<int>(length));
    }
    void listenTo(HidDevice& device, std::size_t spaceLength = sizeof space)
    {
        device.registerInputReportCallback(space, spaceLength, &take, this);
    }
};

const QString kVoxa = QStringLiteral("VOXA760");

class EmulatedHidraw : public ::testing::Test {
protected:
    EmulatedUsb usb;
    std::shared_ptr<UdevWatcher> watcher = UdevWatcher::create({"hidraw"});
};

class HidrawService : public EmulatedHidraw {
protected:
    HidServiceHidraw service{watcher};

    struct Heard {
        std::vector<HidDevicePtr> arrived;
        std::vector<HidDevicePtr> removed;
    };
    std::shared_ptr<HidManager> listening(Heard& heard)
    {
        auto manager = service.createManager();
        manager->open();
        manager->setDeviceMatchingCallback([&heard](const HidDevicePtr& device) { heard.arrived.push_back(device); });
        manager->setDeviceRemovalCallback([&heard](const HidDevicePtr& device) { heard.removed.push_back(device); });
        manager->scheduleWithRunLoop();
        return manager;
    }
    HidDevicePtr listed(const QString& name)
    {
        for (const auto& device : service.createManager()->copyDevices().value_or(std::vector<HidDevicePtr>{})) {
            if (device->productName() == name)
                return device;
        }
        ADD_FAILURE() << "not listed: " << name.toStdString();
        return nullptr;
    }
};

TEST_F(HidrawService, ListsEveryHidrawDeviceWithItsIdsNameAndUsbLocation)
{
    EmulatedDevice speakerphone = EmulatedDevice::speakerphone(kVoxa, 0x0760, "3");
    speakerphone.busnum = 2;
    speakerphone.hidName = QStringLiteral("Maker VOXA760");  // the kernel's "manufacturer product"
    EmulatedDevice keyboard = EmulatedDevice::speakerphone(QStringLiteral("USB Keyboard"), 0xc31c, "1.2");
    keyboard.vendorId = 0x046d;
    EmulatedDevice nameless = EmulatedDevice::speakerphone(QString(), 0x0031, "4");
    nameless.hidName = QStringLiteral("Maker Dock");
    const struct {
        const char* what;
        EmulatedDevice device;
        std::uint32_t productId;
        const char* name;
        std::uint32_t locationId;
        std::uint32_t vendorId = 0x2a3b;
    } rows[] = {
        {"a camera's HID interface", EmulatedDevice::camera(QStringLiteral("RX710 Conference Camera"), 0x2574, "1.4"),
         0x2574, "RX710 Conference Camera", 0xf1140000},
        {"the USB product string, not HID_NAME", speakerphone, 0x0760, "VOXA760", 0xf2300000},
        {"another vendor's device", keyboard, 0xc31c, "USB Keyboard", 0xf1120000, 0x046d},
        {"HID_NAME without a product string", nameless, 0x0031, "Maker Dock", 0xf1400000},
    };
    std::vector<QString> nodes;
    for (const auto& row : rows)
        nodes.push_back(usb.plug(row.device).hidraw);

    const auto manager = service.createManager();
    const auto devices = manager->copyDevices();
    ASSERT_TRUE(devices);
    ASSERT_EQ(devices->size(), std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].what);
        const auto found = std::find_if(devices->begin(), devices->end(), [&](const HidDevicePtr& device) {
            return static_cast<HidDeviceHidraw&>(*device).devnode() == nodes[i];
        });
        ASSERT_NE(found, devices->end());
        EXPECT_EQ((*found)->vendorId(), rows[i].vendorId);
        EXPECT_EQ((*found)->productId(), rows[i].productId);
        EXPECT_EQ((*found)->productName(), QString::fromLatin1(rows[i].name));
        EXPECT_EQ((*found)->locationId(), rows[i].locationId);
    }
    EXPECT_EQ(service.createManager()->copyDevices(), devices) << "one object per node, whoever asks";

    EXPECT_FALSE(HidServiceHidraw(nullptr).createManager()->copyDevices()) << "no udev, no devices";
}

TEST_F(HidrawService, AnnouncesArrivalsAndRemovalsOnceOpenAndScheduledWithTheObjectItListed)
{
    // Listed before udev's "add" reaches the manager: not announced a second time.
    const EmulatedNodes early = usb.plug(EmulatedDevice::speakerphone(QStringLiteral("VOXA30"), 0x0030, "2"));
    Heard heard;
    const auto manager = listening(heard);
    const auto before = manager->copyDevices();
    Heard unscheduled;
    const auto quiet = service.createManager();
    quiet->open();
    quiet->setDeviceMatchingCallback([&](const HidDevicePtr& device) { unscheduled.arrived.push_back(device); });

    const EmulatedNodes voxa = usb.plug(EmulatedDevice::speakerphone(kVoxa, 0x0760, "3"));
    ASSERT_TRUE(waitFor([&] { return !heard.arrived.empty(); }));
    ASSERT_EQ(heard.arrived.size(), 1u);
    EXPECT_EQ(heard.arrived[0]->productName(), kVoxa);
    EXPECT_TRUE(unscheduled.arrived.empty()) << "a manager that is not scheduled hears nothing";

    usb.unplug(voxa);
    ASSERT_TRUE(waitFor([&] { return !heard.removed.empty(); }));
    EXPECT_EQ(heard.removed[0], heard.arrived[0]) << "the library finds the leaving device by identity";
    usb.unplug(early);
    ASSERT_TRUE(waitFor([&] { return heard.removed.size() == 2; }));
    EXPECT_EQ(heard.removed[1], before->at(0));
    EXPECT_EQ(manager->copyDevices()->size(), 0u);
}

TEST_F(HidrawService, TheDeviceReceivesExactlyTheBytesGivenWhateverTheirFirstByte)
{
    const EmulatedNodes voxa = usb.plug(EmulatedDevice::speakerphone(kVoxa, 0x0760, "3"));
    EmulatedHid& wire = usb.hid(voxa);
    wire.setBehaviour(HidDeviceModel::Behaviour::Silent);
    const HidDevicePtr device = listed(kVoxa);
    ASSERT_TRUE(device);

    const QByteArray rows[] = {
        bytes({0x08, 0x10, 0x05, 0x2a}, 512),  // the library's property report
        bytes({0x00, 0x21, 0x05}),             // a caller-built report whose byte 0 is 0
        bytes({0x00}, 2),
        bytes({0x09, 0x7f}, 4095),             // the longest hidraw takes behind its ID
    };
    for (const QByteArray& report : rows)
        EXPECT_EQ(device->setReport(reinterpret_cast<const std::uint8_t*>(report.constData()), report.size()), kHidSuccess);
    EXPECT_EQ(hex(wire.received()), hex(std::vector<QByteArray>(std::begin(rows), std::end(rows))));

    const std::uint8_t one = 8;
    EXPECT_EQ(device->setReport(&one, 0), kHidError);
    EXPECT_EQ(device->setReport(nullptr, 4), kHidError);
    const QByteArray tooLong(4096, '\x08');
    EXPECT_EQ(device->setReport(reinterpret_cast<const std::uint8_t*>(tooLong.constData()), tooLong.size()), kHidError);
    EXPECT_EQ(wire.received().size(), std::size(rows));
}

TEST_F(HidrawService, DeliversInputReportsOnlyWhileScheduledAndKeepsTheOthersInOrder)
{
    const EmulatedNodes voxa = usb.plug(EmulatedDevice::speakerphone(kVoxa, 0x0760, "3"));
    EmulatedHid& wire = usb.hid(voxa);
    const HidDevicePtr device = listed(kVoxa);
    ASSERT_TRUE(device);
    Receiver receiver;
    receiver.listenTo(*device);

    const std::vector<QByteArray> sent{bytes({0x08, 0x10, 1}, 512), bytes({0x08, 0x10, 2}, 512), bytes({7, 3})};
    for (const QByteArray& report : sent)
        wire.send(report);
    EXPECT_FALSE(waitFor([&] { return !receiver.reports.empty(); }, 100ms)) << "not scheduled";

    device->scheduleWithRunLoop();
    EXPECT_TRUE(receiver.reports.empty()) << "never from inside the request";
    ASSERT_TRUE(waitFor([&] { return receiver.reports.size() == sent.size(); }));
    EXPECT_EQ(hex(receiver.reports), hex(sent));

    // Cut to the space the callback was given.
    receiver.reports.clear();
    receiver.listenTo(*device, 16);
    wire.send(bytes({0x08, 0x10, 3, 4}, 600));
    ASSERT_TRUE(waitFor([&] { return !receiver.reports.empty(); }));
    EXPECT_EQ(hex(receiver.reports), hex({bytes({0x08, 0x10, 3, 4}, 16)}));

    device->unscheduleFromRunLoop();
    wire.send(bytes({5}));
    EXPECT_FALSE(waitFor([&] { return receiver.reports.size() > 1; }, 100ms));
    device->scheduleWithRunLoop();
    ASSERT_TRUE(waitFor([&] { return receiver.reports.size() == 2; }));
    EXPECT_EQ(receiver.reports[1], bytes({5}));
}

// However the node tells that the device has gone, delivery ends without spinning and the
// removal follows with the same object.
class HidrawUnplug : public HidrawService, public ::testing::WithParamInterface<EmulatedHid::Gone> {};

TEST_P(HidrawUnplug, EndsDeliveryWithoutSpinningAndTheRemovalFollows)
{
    Heard heard;
    const auto manager = listening(heard);
    const EmulatedNodes voxa = usb.plug(EmulatedDevice::speakerphone(kVoxa, 0x0760, "3"));
    EmulatedHid& wire = usb.hid(voxa);
    const HidDevicePtr device = listed(kVoxa);
    ASSERT_TRUE(device);
    Receiver receiver;
    receiver.listenTo(*device);
    device->scheduleWithRunLoop();

    wire.hangUp(GetParam());
    ASSERT_TRUE(waitFor([&] { return wire.reads() > 0; })) << "the reader is woken";
    EXPECT_FALSE(waitFor([&] { return wire.reads() > 2; }, 300ms)) << "and does not spin: " << wire.reads() << " reads";
    EXPECT_TRUE(receiver.reports.empty());
    const std::uint8_t report[] = {8, 0x10, 1};
    EXPECT_EQ(device->setReport(report, sizeof report), kHidNoDevice);

    usb.unplug(voxa);
    ASSERT_TRUE(waitFor([&] { return !heard.removed.empty(); }));
    EXPECT_EQ(heard.removed[0], device);
}

INSTANTIATE_TEST_SUITE_P(Node, HidrawUnplug, ::testing::Values(EmulatedHid::Gone::Hangup, EmulatedHid::Gone::ReadError),
                         [](const auto& param) {
                             return param.param == EmulatedHid::Gone::Hangup ? "HangsUp" : "FailsReads";
                         });

TEST_F(HidrawService, ARefusedNodeIsNamedWithTheRuleThatGrantsAccessAndTheDeviceStaysListed)
{
    const EmulatedNodes voxa = usb.plug(EmulatedDevice::speakerphone(kVoxa, 0x0760, "3"));
    const CategoryMessages messages("uvccam.linux.hid");
    const std::uint8_t report[] = {8, 0x10, 1};
    HidDevicePtr device;
    {
        const NodeAccessDenied denied(voxa.hidraw);
        device = listed(kVoxa);
        ASSERT_TRUE(device);
        EXPECT_EQ(device->setReport(report, sizeof report), kHidError);
        EXPECT_EQ(device->setReport(report, sizeof report), kHidError);
    }
    ASSERT_EQ(messages.texts().size(), 1) << "once per device: " << messages.texts().join("\n").toStdString();
    EXPECT_TRUE(messages.texts()[0].contains(voxa.hidraw + " (VOXA760): permission denied"));
    EXPECT_TRUE(messages.texts()[0].contains(R"(ATTRS{idVendor}=="2a3b", TAG+="uaccess")"));

    // Once access is granted, the same device object gets through.
    EXPECT_EQ(device->setReport(report, sizeof report), kHidSuccess);
    EXPECT_EQ(usb.hid(voxa).received().size(), 1u);
}

// The library on the Linux platform, whose HID service is this one.
class LibraryOnHidraw : public EmulatedHidraw {
protected:
    LibraryOnHidraw()
    {
        discardLibraryProcessState();
        Platform::install(PlatformLinux::create());
    }
    ~LibraryOnHidraw() override
    {
        camera.reset();
        discardLibraryProcessState();
        Platform::install(nullptr);
    }
    void start()
    {
        camera.reset(static_cast<MacUVCCam*>(acquireUVCCam()));
        QObject::connect(camera.get(), &MacUVCCam::deviceAdd, [this] { heard << "add"; });
        QObject::connect(camera.get(), &MacUVCCam::deviceRemove, [this] { heard << "remove"; });
        QObject::connect(camera.get(), &MacUVCCam::deviceChange, [this] { heard << "change"; });
    }
    QStringList listed() const
    {
        QStringList out;
        for (const DeviceInfo& device : camera->getDeviceList())
            out << device.modelName + " " + device.deviceUniqueId;
        return out;
    }

    std::unique_ptr<MacUVCCam> camera;
    QStringList heard;
};

TEST_F(LibraryOnHidraw, ASpeakerphoneComesWithItsSignalsTakesReportsExactlyBothWaysAndGoes)
{
    start();
    const EmulatedNodes voxa = usb.plug(EmulatedDevice::speakerphone(kVoxa, 0x0760, "3"));
    ASSERT_TRUE(waitFor([&] { return heard.size() == 2; }));
    EXPECT_EQ(heard, (QStringList{"add", "change"}));
    EXPECT_EQ(listed(), QStringList{"VOXA760 f1300000"});

    // An audio property set and read back: the device keeps what it was sent.
    ASSERT_EQ(camera->setDevice(QStringLiteral("f1300000")), 1);
    std::uint8_t gain[64] = {0x11, 0x22, 0x33};
    ASSERT_EQ(camera->setUACHidProperty(5, gain, sizeof gain), 0);
    std::uint8_t read[64] = {};
    ASSERT_EQ(camera->getUACHidProperty(5, read, sizeof read), 0);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(read), 64), QByteArray(reinterpret_cast<char*>(gain), 64));
    EXPECT_EQ(hex(usb.hid(voxa).received()),
              hex({bytes({0x08, 0x11, 5, 1, 0x11, 0x22, 0x33}, 512), bytes({0x08, 0x11, 5, 0}, 512)}));

    usb.unplug(voxa);
    ASSERT_TRUE(waitFor([&] { return heard.size() == 4; }));
    EXPECT_EQ(heard, (QStringList{"add", "change", "remove", "change"}));
    EXPECT_TRUE(listed().isEmpty());
}

TEST_F(LibraryOnHidraw, ACameraIsPairedWithItsOwnHidInterfaceByLocation)
{
    const EmulatedNodes rx710 = usb.plug(EmulatedDevice::camera(QStringLiteral("RX710 Conference Camera"), 0x2574, "1.4"));
    const EmulatedNodes other = usb.plug(EmulatedDevice::camera(QStringLiteral("RX710 Conference Camera"), 0x2575, "1.3"));
    start();
    // The capture service hears of the cameras from udev, on the loop.
    ASSERT_TRUE(waitFor([&] { return listed().size() == 2; }));
    EXPECT_EQ(listed(), (QStringList{"RX710 0xf11400002a3b2574", "RX710 0xf11300002a3b2575"}));
    ASSERT_EQ(camera->setDevice(QStringLiteral("0xf11400002a3b2574")), 1);

    const std::uint8_t value[] = {0x07};
    ASSERT_EQ(camera->setExProperty(3, const_cast<std::uint8_t*>(value), sizeof value, 1), 0);
    std::uint8_t read[1] = {};
    ASSERT_EQ(camera->getExProperty(3, read, sizeof read, 1), 0);
    EXPECT_EQ(read[0], 0x07);
    EXPECT_EQ(hex(usb.hid(rx710).received()), hex({bytes({0x08, 0x10, 3, 0x07}, 512)}));
    EXPECT_TRUE(usb.hid(other).received().empty());
}

TEST_F(LibraryOnHidraw, AnUnplugDuringAReadEndsItWithoutAReport)
{
    const EmulatedNodes voxa = usb.plug(EmulatedDevice::speakerphone(kVoxa, 0x0760, "3"));
    MacHidDeviceManager* manager = MacHidDeviceManager::sharedInstance();
    manager->initHIDManager();
    ASSERT_EQ(manager->hidDevices().size(), 1);
    const std::shared_ptr<MacHidDevice> device = manager->hidDevices().first();

    usb.hid(voxa).unplugOnNextReport();
    const auto request = bytes({0x08, 0x10, 2}, 512);
    ASSERT_TRUE(device->setReport(reinterpret_cast<const std::uint8_t*>(request.constData()), request.size()));
    QElapsedTimer elapsed;
    elapsed.start();
    std::uint8_t answer[512] = {};
    EXPECT_FALSE(device->readReport(answer, sizeof answer));
    EXPECT_LT(elapsed.elapsed(), 1000) << "the 80 ms wait, not a hang";
    EXPECT_EQ(answer[0], 0);
    ASSERT_TRUE(waitFor([&] { return manager->hidDevices().isEmpty(); })) << "the removal follows";
    EXPECT_FALSE(device->setReport(reinterpret_cast<const std::uint8_t*>(request.constData()), request.size()));
}

}  // namespace
