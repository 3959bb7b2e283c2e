// The frame path from a simulated camera to the host's callback, against a plain loop that
// draws the same frames and calls the callback directly.
#include "hotkey/HKHotKeyCenter.h"
#include "mac/MacCameraManager.h"
#include "mac/MacHidDeviceManager.h"
#include "mac/MacHotKeyManager.h"
#include "mac/MacUVCCam.h"
#include "mac/MacUVCCamCallbacks.h"
#include "mac/MacUVCCamOC.h"
#include "platform/Platform.h"
#include "platform/sim/LogSinkRecorder.h"
#include "platform/sim/PixelBufferSim.h"
#include "platform/sim/RunLoopVirtual.h"
#include "platform/sim/Simulator.h"
#include "UVCCamSimulation.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

#include <unistd.h>

namespace {

using namespace uvccam::platform;

struct FrameSink {
    std::uint64_t frames = 0;
    std::uint64_t bytes = 0;
    std::set<const unsigned char*> addresses;
};
FrameSink g_sink;

// Lets every benchmark start from a process with no cores, managers or platform.
void discardWorld(std::shared_ptr<Simulator>& simulator)
{
    uvccam::internal::discardAllCores();
    MacCameraManager::discardSharedInstance();
    MacHidDeviceManager::discardSharedInstance();
    MacHotKeyManager::discardSharedInstance();
    HKHotKeyCenter::discardSharedHotKeyCenter();
    simulator.reset();
    Platform::install(nullptr);
}

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
    discardWorld(simulator);
}
BENCHMARK(BM_SimulatedCameraToCallback);

// A copy of the frame the core holds, on request, against a plain memcpy of its bytes.
void BM_GetPixelBuffer(benchmark::State& state)
{
    auto simulator = Simulator::install(std::make_unique<RunLoopVirtual>(), std::make_unique<LogSinkRecorder>());
    {
        MacUVCCamOC core;
        auto frame = std::make_shared<PixelBufferSim>(640, 360);
        frame->drawTestFrame(7);
        core.pixelBuffer = frame;
        for (auto _ : state)
            benchmark::DoNotOptimize(core.GetPixelBuffer());
        state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * 640 * 2 * 360);
    }
    discardWorld(simulator);
}
BENCHMARK(BM_GetPixelBuffer);

void BM_PlainMemcpyOfAFrame(benchmark::State& state)
{
    std::vector<unsigned char> from(640 * 2 * 360, 0x80);
    std::vector<unsigned char> to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), from.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * from.size()));
}
BENCHMARK(BM_PlainMemcpyOfAFrame);

long residentKilobytes()
{
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Thousands of frames through the whole path: memory stays where the first frames left it.
void BM_LongStreamMemory(benchmark::State& state)
{
    auto clockOwner = std::make_unique<RunLoopVirtual>();
    RunLoopVirtual& clock = *clockOwner;
    auto simulator = Simulator::install(std::move(clockOwner), std::make_unique<LogSinkRecorder>());
    uvccam::sim::attachCamera("RX710");
    long growth = 0;
    {
        MacUVCCamOC core;
        g_sink = {};
        core.setVideoCallback(receiveFrame);
        core.startVideoStream(0);
        const auto frameInterval = simulator->attachedDevices().first()->frameInterval();
        for (int i = 0; i < 100; ++i)
            clock.advance(frameInterval);
        const long settled = residentKilobytes();
        for (auto _ : state) {
            for (int i = 0; i < 5000; ++i)
                clock.advance(frameInterval);
        }
        growth = residentKilobytes() - settled;
        core.stopVideoStream();
    }
    state.counters["frames"] = static_cast<double>(g_sink.frames);
    state.counters["rss_growth_kb"] = static_cast<double>(growth);
    discardWorld(simulator);
}
BENCHMARK(BM_LongStreamMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
