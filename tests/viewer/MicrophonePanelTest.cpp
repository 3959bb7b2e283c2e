// The microphone test: the 10-second clip with its level meter, its file, and playback.
#include "ViewerWorld.h"

#include "MicrophonePanel.h"

#include "UVCCamSimulation.h"

#include <QFileInfo>
#include <QProgressBar>

namespace uvccamviewer::testing {

namespace {

using MicrophonePanelTest = ViewerWorld;

TEST_F(MicrophonePanelTest, RecordingMovesTheMeterAndWritesTheClip)
{
    // Loud enough that the meter, 5 at full scale, shows something.
    uvccam::sim::setMicrophoneLevel(idOf("RX710"), -3);
    MicrophonePanel& microphone = window().microphone();
    ASSERT_TRUE(microphone.record());

    pass(3.0);
    auto* meter = window().findChild<QProgressBar*>("levelMeter");
    auto* progress = window().findChild<QProgressBar*>("recordingProgress");
    EXPECT_GT(meter->value(), 0);
    EXPECT_NEAR(progress->value(), 30, 1);
    EXPECT_TRUE(microphone.isRecording());

    // The clip ends on the library's clock; the panel notices on its next look.
    pass(7.5);
    ASSERT_TRUE(waitUntil([&microphone] { return !microphone.isRecording(); }));
    EXPECT_EQ(progress->value(), 100);
    EXPECT_GT(microphone.highestLevel(), 0);
    ASSERT_FALSE(microphone.clip().isEmpty());
    EXPECT_TRUE(QFileInfo(microphone.clip()).size() > 0) << microphone.clip().toStdString();
    EXPECT_TRUE(statusText().startsWith("Recording ended: ")) << statusText().toStdString();

    EXPECT_TRUE(microphone.play());
    EXPECT_EQ(statusText(), "Playback starts in 2 s");
}

TEST_F(MicrophonePanelTest, UnpluggingTheDeviceStopsTheRecording)
{
    MicrophonePanel& microphone = window().microphone();
    ASSERT_TRUE(microphone.record());
    pass(2.0);
    uvccam::sim::detach(idOf("RX710"));
    pass(0.1);

    EXPECT_FALSE(microphone.isRecording());
    EXPECT_TRUE(microphone.clip().isEmpty());
}

}  // namespace

}  // namespace uvccamviewer::testing
