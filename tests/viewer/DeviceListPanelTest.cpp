// The device list: the demonstration set, selection of each kind of device, and hot-plug.
#include "ViewerWorld.h"

#include "ControlsPanel.h"
#include "DeviceListPanel.h"
#include "PreviewPanel.h"

#include "UVCCamSimulation.h"

#include <QLabel>

namespace uvccamviewer::testing {

namespace {

QStringList modelsOf(const QList<DeviceInfo>& devices)
{
    QStringList models;
    for (const DeviceInfo& device : devices)
        models << device.modelName;
    return models;
}

class DeviceListPanelTest : public ViewerWorld {
protected:
    QString detail(const char* name) { return window().findChild<QLabel*>(QLatin1String(name))->text(); }
};

TEST_F(DeviceListPanelTest, ListsTheDemoSetWithTheRx710SelectedAndDescribed)
{
    EXPECT_EQ(modelsOf(window().devices().devices()), (QStringList{"RX710", "ST470", "LUM610", "VOXA760"}));
    EXPECT_EQ(window().devices().selected().deviceUniqueId, idOf("RX710"));
    EXPECT_EQ(detail("deviceModel"), "RX710");
    EXPECT_EQ(detail("deviceId"), "10811");
    EXPECT_EQ(detail("deviceUniqueId"), idOf("RX710"));
    EXPECT_EQ(detail("deviceSerialNumber"), camera().getDeviceSN());
    EXPECT_FALSE(detail("deviceSerialNumber").isEmpty());
    EXPECT_EQ(detail("deviceKind"), "camera");
    EXPECT_EQ(statusText(), "4 devices attached");
}

struct Selection {
    const char* model;
    const char* kind;
    bool hasPicture;  // the preview streams and the controls are enabled
};

class SelectingADevice : public DeviceListPanelTest, public ::testing::WithParamInterface<Selection> {};

TEST_P(SelectingADevice, SelectsItInTheLibraryAndShowsItsKind)
{
    const Selection& selection = GetParam();
    ASSERT_TRUE(window().devices().select(idOf(selection.model)));
    pass(0.5);

    EXPECT_EQ(camera().getDeviceInfo().modelName, selection.model);
    EXPECT_EQ(detail("deviceModel"), selection.model);
    EXPECT_EQ(detail("deviceKind"), selection.kind);
    EXPECT_EQ(window().preview().isStreaming(), selection.hasPicture);
    EXPECT_EQ(window().controls().isEnabled(), selection.hasPicture);
    EXPECT_TRUE(statusText().startsWith(QStringLiteral("Selected %1").arg(selection.model))) << statusText().toStdString();
}

INSTANTIATE_TEST_SUITE_P(DemoSet, SelectingADevice,
                         ::testing::Values(Selection{"ST470", "camera", true}, Selection{"LUM610", "camera", true},
                                           Selection{"VOXA760", "speakerphone", false}),
                         [](const auto& testCase) { return std::string(testCase.param.model); });

TEST_F(DeviceListPanelTest, UnpluggingTheSelectedCameraUpdatesTheListTheStatusAndTheSelection)
{
    const QString rx710 = idOf("RX710");
    uvccam::sim::detach(rx710);
    pass(0.1);

    EXPECT_EQ(modelsOf(window().devices().devices()), (QStringList{"ST470", "LUM610", "VOXA760"}));
    EXPECT_TRUE(statusText().contains(QStringLiteral("RX710 (%1) left").arg(rx710))) << statusText().toStdString();
    // The library moves its selection to a device still there; the window follows it.
    const DeviceInfo chosen = camera().getDeviceInfo();
    ASSERT_NE(chosen.deviceUniqueId, rx710);
    EXPECT_EQ(window().devices().selected().deviceUniqueId, chosen.deviceUniqueId);
    EXPECT_EQ(detail("deviceModel"), chosen.modelName);
    const int framesBefore = window().preview().framesShown();
    pass(0.5);
    EXPECT_EQ(window().preview().isStreaming(), !chosen.modelName.startsWith("VOXA"));
    EXPECT_EQ(window().preview().framesShown() > framesBefore, window().preview().isStreaming());
}

TEST_F(DeviceListPanelTest, ACameraPluggedInArrivesInTheList)
{
    const QString lum630 = uvccam::sim::attachCamera("LUM630");
    pass(0.1);

    EXPECT_EQ(modelsOf(window().devices().devices()).count("LUM630"), 1);
    EXPECT_TRUE(statusText().contains(QStringLiteral("LUM630 (%1) arrived").arg(lum630))) << statusText().toStdString();
    // The selection stays where it was.
    EXPECT_EQ(window().devices().selected().deviceUniqueId, idOf("RX710"));
}

}  // namespace

}  // namespace uvccamviewer::testing
