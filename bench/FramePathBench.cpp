// The frame path from a simulated camera to the host's callback, against a plain loop that
// draws the same frames and calls the callback directly.
#include "mac/MacCameraManager.h"
#include "mac/MacHidDeviceManager.h"
#include "mac/MacHotKeyManager.h"
#include "mac/MacUVCCam.h"
#include "mac/MacUVCCamOC.h"
#include "platform/Platform.h"
#include "platform/sim/LogSinkRecorder.h"
#include "platform/sim/PixelBufferSim.h"
#include "platform/sim/RunLoopVirtual.h"
#include "platform/sim/Simulator.h"
#include "UVCCamSimulation.h"

#include <benchmark/benchmark.h>

#include <set>

namespace {

using namespace uvccam::platform;

struct FrameSink {
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0;
    std::set<const unsigned char*> addresses;
};
FrameSink g_sink;

void receiveFrame(unsigned char* frame, int, int, int size)
{
    ++g_sink.frames;
    g_sink.bytes += static_cast<std::uint64_t>(size);
    g_sink.addresses.insert(frame);
    benchmark::DoNotOptimize(frame[0]);
}

// Baseline: what any frame source must do at least, draw the frame and hand it over.
void BM_PlainFrameLoop(benchmark::State& state)
{
    g_sink = {};
    PixelBufferSim buffer(640, 360);
    std::uint32_t frameNumber = 0;
    for (auto _ : state) {
        buffer.drawTestFrame(frameNumber++);
        buffer.lockBaseAddress();
        receiveFrame(buffer.baseAddress(), 640, 360, static_cast<int>(buffer.bytesPerRow() * 360));
        buffer.unlockBaseAddress();
    }
    state.counters["frames"] = static_cast<double>(g_sink.frames);
    state.SetBytesProcessed(static_cast<std::int64_t>(g_sink.bytes));
}
BENCHMARK(BM_PlainFrameLoop);

// The library's path: camera session, run loop, video output, camera delegate, callback.
void BM_SimulatedCameraToCallback(benchmark::State& state)
{
    auto clockOwner = std::make_unique<RunLoopVirtual>();
    RunLoopVirtual& clock = *clockOwner;
    auto simulator = Simulator::install(std::move(clockOwner), std::make_unique<LogSinkRecorder>());
    uvccam::sim::attachCamera("RX710");
    {
        MacUVCCamOC core;
        g_sink = {};
        core.setVideoCallback(receiveFrame);
        core.startVideoStream(0);
        const auto frameInterval = simulator->attachedDevices().first()->frameInterval();
        for (auto _ : state)
            clock.advance(frameInterval);
        core.stopVideoStream();
    }
    // Frames reach the host in the camera's own buffers: as many addresses as the pool
    // has buffers, however many frames went by. A copy on the way would show one each.
    state.counters["frames"] = static_cast<double>(g_sink.frames);
    state.counters["distinct_frame_buffers"] = static_cast<double>(g_sink.addresses.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(g_sink.bytes));
    uvccam::internal::discardAllCores();
    MacCameraManager::discardSharedInstance();
    MacHidDeviceManager::discardSharedInstance();
    MacHotKeyManager::discardSharedInstance();
    simulator.reset();
    Platform::install(nullptr);
}
BENCHMARK(BM_SimulatedCameraToCallback);

}  // namespace
