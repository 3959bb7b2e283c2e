// Every refusal reaches the status line, named by the call and its result.
#include "ViewerWorld.h"

#include "ControlsPanel.h"
#include "DeviceListPanel.h"
#include "MicrophonePanel.h"
#include "PreviewPanel.h"
#include "VendorPanel.h"

#include "UVCCamSimulation.h"

#include <functional>

namespace uvccamviewer::testing {

namespace {

struct Refusal {
    const char* name;
    std::function<void(MainWindow&, const QString& speakerphone)> action;
    const char* status;
};

class ARefusal : public ViewerWorld, public ::testing::WithParamInterface<Refusal> {};

TEST_P(ARefusal, IsSaidInTheStatusLine)
{
    GetParam().action(window(), idOf("VOXA760"));
    pass(0);
    EXPECT_EQ(statusText(), QLatin1String(GetParam().status));
}

INSTANTIATE_TEST_SUITE_P(
    Library, ARefusal,
    ::testing::Values(
        Refusal{"ZoomOutsideItsRange", [](MainWindow& window, const QString&) { window.controls().apply(9, 5); },
                "setProperty(zoom, 5): refused (-1)"},
        Refusal{"UnknownDevice", [](MainWindow& window, const QString&) { window.devices().select("0xfeedface"); },
                "setDevice(0xfeedface): refused (0)"},
        Refusal{"StreamingASpeakerphone",
                [](MainWindow& window, const QString& speakerphone) {
                    window.devices().select(speakerphone);
                    window.preview().start();
                },
                "startVideoStream(0): refused (-1)"},
        Refusal{"HexThatIsNotBytes",
                [](MainWindow& window, const QString&) {
                    window.vendor().setRequest(VendorPanel::Route::Uvc, 1, 4, "12 3");
                    window.vendor().set();
                },
                "Vendor property: '12 3' is not 1 to 509 bytes in hex"},
        Refusal{"SnapshotBeforeAnyPicture",
                [](MainWindow& window, const QString&) {
                    window.preview().stop();
                    window.preview().showDevice(DeviceInfo());
                    window.preview().saveSnapshot("unused.png");
                },
                "Snapshot: no picture yet"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(ViewerWorld, PlaybackAfterTheDeviceLeftIsRefused)
{
    ASSERT_TRUE(window().microphone().record());
    pass(1.0);
    uvccam::sim::detach(idOf("RX710"));
    pass(0.1);

    EXPECT_FALSE(window().microphone().play());
    EXPECT_EQ(statusText(), "startAudioPlaying: refused (-1)");
}

}  // namespace

}  // namespace uvccamviewer::testing
