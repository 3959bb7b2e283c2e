// The udev view on emulated devices: what enumeration lists, and arrivals and removals as
// they reach the main loop.
#include "platform/linux/UdevWatcher.h"

#include "support/EmulatedUsb.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <vector>

using namespace uvccam::platform;
using namespace uvccam::testing;

namespace {

class UdevWatcherTest : public ::testing::Test {
protected:
    EmulatedUsb usb;
    std::shared_ptr<UdevWatcher> watcher = UdevWatcher::create({"video4linux", "hidraw"});
};

TEST_F(UdevWatcherTest, ListsEachNodeWithItsUsbDeviceAndItsHidName)
{
    const EmulatedNodes rx = usb.plug(EmulatedDevice::camera(QStringLiteral("RX710 Conference Camera"), 0x2574, "1.4"));
    ASSERT_TRUE(watcher);

    const auto video = watcher->enumerate("video4linux");
    ASSERT_EQ(video.size(), 2u) << "the capture node and its metadata twin";
    EXPECT_EQ(video[0].devnode, rx.video);
    EXPECT_EQ(video[0].property("ID_V4L_CAPABILITIES"), ":capture:");
    EXPECT_EQ(video[1].devnode, rx.metadata);
    for (const UdevRecord& record : video) {
        ASSERT_TRUE(record.usb);
        EXPECT_EQ(record.usb->vendorId, 0x2a3b);
        EXPECT_EQ(record.usb->productId, 0x2574);
        EXPECT_EQ(record.usb->product, "RX710 Conference Camera");
        EXPECT_EQ(record.usb->serial, "SN2574");
        EXPECT_EQ(record.usb->locationId, 0xf1140000u);
        EXPECT_EQ(record.usb->syspath, rx.usbSyspath);
    }

    const auto hid = watcher->enumerate("hidraw");
    ASSERT_EQ(hid.size(), 1u);
    EXPECT_EQ(hid[0].devnode, rx.hidraw);
    EXPECT_EQ(hid[0].hidProperties.value("HID_NAME"), "RX710 Conference Camera");
    EXPECT_EQ(hid[0].hidProperties.value("HID_ID"), "0003:00002A3B:00002574");
    ASSERT_TRUE(hid[0].usb);
    EXPECT_EQ(hid[0].usb->locationId, video[0].usb->locationId) << "video and HID of one camera share it";
}

TEST_F(UdevWatcherTest, ReportsArrivalsAndRemovalsOfItsSubsystemsWithTheRecordTakenAtArrival)
{
    ASSERT_TRUE(watcher);
    std::vector<std::pair<UdevWatcher::Action, UdevRecord>> heard;
    const auto id = watcher->addListener("hidraw", [&](UdevWatcher::Action action, const UdevRecord& record) {
        heard.emplace_back(action, record);
    });

    const EmulatedNodes voxa = usb.plug(EmulatedDevice::speakerphone(QStringLiteral("VOXA760"), 0x0760, "2"));
    ASSERT_TRUE(waitFor([&] { return heard.size() == 1; }));
    EXPECT_EQ(heard[0].first, UdevWatcher::Action::Added);
    EXPECT_EQ(heard[0].second.devnode, voxa.hidraw);

    usb.unplug(voxa);
    ASSERT_TRUE(waitFor([&] { return heard.size() == 2; }));
    EXPECT_EQ(heard[1].first, UdevWatcher::Action::Removed);
    ASSERT_TRUE(heard[1].second.usb) << "sysfs is gone by now; the record is the one from the arrival";
    EXPECT_EQ(heard[1].second.usb->product, "VOXA760");
    EXPECT_EQ(heard[1].second.usb->locationId, 0xf1200000u);

    // Nothing of other subsystems, and nothing once the listener has gone.
    watcher->removeListener(id);
    usb.unplug(usb.plug(EmulatedDevice::camera(QStringLiteral("ST470"), 0x470a, "3")));
    EXPECT_FALSE(waitFor([&] { return heard.size() > 2; }, std::chrono::milliseconds(300)));
}

TEST_F(UdevWatcherTest, AListenerMayRemoveAnotherThatWouldHaveBeenCalledNext)
{
    ASSERT_TRUE(watcher);
    int secondCalls = 0;
    UdevWatcher::ListenerId second = 0;
    watcher->addListener("video4linux", [&](UdevWatcher::Action, const UdevRecord&) { watcher->removeListener(second); });
    second = watcher->addListener("video4linux", [&](UdevWatcher::Action, const UdevRecord&) { ++secondCalls; });
    int later = 0;
    watcher->addListener("video4linux", [&](UdevWatcher::Action, const UdevRecord&) { ++later; });
    usb.plug(EmulatedDevice::camera(QStringLiteral("LUM610"), 0x6100, "4"));
    ASSERT_TRUE(waitFor([&] { return later == 2; }));
    EXPECT_EQ(secondCalls, 0);
}

}  // namespace
