// Streaming from a simulated camera: frames on the run loop, in place, dropped when late,
// and none after a stop or an unplug.
#include "UVCCamSimulation.h"
#include "mac/MacUVCCamOC.h"
#include "platform/Platform.h"
#include "platform/sim/PixelBufferSim.h"
#include "support/SimulatedWorld.h"

#include <chrono>
#include <vector>

namespace {

using namespace std::chrono_literals;
using uvccam::testing::SimulatedWorld;
using namespace uvccam::platform;

struct Frame {
    std::chrono::nanoseconds at;
    const unsigned char* address;
    const unsigned char* cameraBuffer;
    int width, height, size;
    std::uint32_t number;
};

std::vector<Frame> g_frames;
MacUVCCamOC* g_core = nullptr;
std::chrono::nanoseconds g_slowness{0};

void receiveFrame(unsigned char* frame, int width, int height, int size)
{
    // The camera's current buffer, locked for the call, is the one we were given.
    const auto& buffer = g_core->currentCamera->pixelBuffer();
    g_frames.push_back({Platform::current().runLoop().now(), frame, buffer->baseAddress(), width, height, size,
                        PixelBufferSim::frameNumberOf(frame)});
    if (g_slowness > 0ns)
        Platform::current().runLoop().sleep(g_slowness);
}

class CameraStream : public SimulatedWorld {
protected:
    CameraStream()
    {
        g_frames.clear();
        g_slowness = 0ns;
        id = uvccam::sim::attachCamera("RX710");
        core = std::make_unique<MacUVCCamOC>();
        g_core = core.get();
        core->setVideoCallback(receiveFrame);
    }
    ~CameraStream() override { g_core = nullptr; }

    QString id;
    std::unique_ptr<MacUVCCamOC> core;
    static constexpr std::chrono::nanoseconds kFrame{1'000'000'000 / 30};
};

TEST_F(CameraStream, DeliversFramesInPlaceAtTheFrameRateDropsThemWhenLateAndEndsWithStopOrUnplug)
{
    ASSERT_EQ(core->startVideoStream(0), 0);
    EXPECT_TRUE(g_frames.empty()) << "nothing arrives until the loop runs";
    clock().advance(1s);
    ASSERT_EQ(g_frames.size(), 30u);
    for (std::size_t i = 0; i < g_frames.size(); ++i) {
        const Frame& f = g_frames[i];
        EXPECT_EQ(f.at, kFrame * static_cast<int>(i + 1));
        EXPECT_EQ(f.address, f.cameraBuffer) << "handed over without a copy";
        EXPECT_EQ((std::vector<int>{f.width, f.height, f.size}), (std::vector<int>{640, 360, 1280 * 360}));
        EXPECT_EQ(f.number, i + 1);
    }

    // Each frame now takes 100 ms to receive, so only about one in three is delivered, and
    // each is the newest one, never a backlog.
    g_slowness = 100ms;
    clock().advance(1s);
    ASSERT_GE(g_frames.size(), 30u + 9u);
    ASSERT_LE(g_frames.size(), 30u + 11u);
    for (std::size_t i = 31; i < g_frames.size(); ++i) {
        EXPECT_GE(g_frames[i].number - g_frames[i - 1].number, 3u);
        EXPECT_LE(g_frames[i].at - g_frames[i - 1].at, 100ms + kFrame);
    }

    g_slowness = 0ns;
    const std::size_t beforeStop = g_frames.size();
    core->stopVideoStream();
    clock().advance(1s);
    EXPECT_EQ(g_frames.size(), beforeStop);
    ASSERT_EQ(core->startVideoStream(0), 0);
    clock().advance(100ms);
    EXPECT_EQ(g_frames.size(), beforeStop + 3);
    uvccam::sim::detach(id);
    clock().advance(1s);
    EXPECT_EQ(g_frames.size(), beforeStop + 3);
}

}  // namespace
