// A HID read on the real-time run loop returns when the answer arrives, not after the
// whole 80 ms wait.
#include "mac/MacHidDevice.h"
#include "mac/MacHidDeviceManager.h"
#include "platform/Platform.h"
#include "platform/linux/RunLoopQt.h"
#include "platform/sim/LogSinkRecorder.h"
#include "platform/sim/Simulator.h"
#include "UVCCamSimulation.h"

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>

namespace {

using namespace uvccam::platform;

void BM_HidReadAnsweredAfter2ms(benchmark::State& state)
{
    auto simulator = Simulator::install(std::make_unique<RunLoopQt>(), std::make_unique<LogSinkRecorder>());
    const QString id = uvccam::sim::attachSpeakerphone("VOXA760");
    simulator->findDevice(id)->hid()->setAnswerDelay(std::chrono::milliseconds(2));
    MacHidDeviceManager* manager = MacHidDeviceManager::sharedInstance();
    manager->initHIDManager();
    const auto device = manager->hidDevices().first();

    std::array<std::uint8_t, 512> out{8, 0x10, 7};
    std::array<std::uint8_t, 512> in{};
    std::int64_t answered = 0;
    for (auto _ : state) {
        device->setReport(out.data(), 512);
        answered += device->readReport(in.data(), 512) ? 1 : 0;
    }
    state.counters["answered"] = static_cast<double>(answered);

    MacHidDeviceManager::discardSharedInstance();
    simulator.reset();
    Platform::install(nullptr);
}
// Real time: the point is how long the caller waits.
BENCHMARK(BM_HidReadAnsweredAfter2ms)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace
