// Resets the process-wide objects and installs the simulated platform for one test.
#include "support/SimulatedWorld.h"
#include "support/LibraryProcessState.h"

#include "UVCCamDiagnostics.h"
#include "hotkey/HKHotKeyCenter.h"
#include "mac/MacCameraManager.h"
#include "mac/MacHidDeviceManager.h"
#include "mac/MacHotKeyManager.h"
#include "mac/MacUVCCam.h"
#include "platform/Platform.h"

namespace uvccam::testing {

SimulatedWorld::SimulatedWorld()
{
    discardProcessState();
    auto clock = std::make_unique<platform::RunLoopVirtual>();
    auto log = std::make_unique<platform::LogSinkRecorder>();
    clock_ = clock.get();
    log_ = log.get();
    simulator_ = platform::Simulator::install(std::move(clock), std::move(log));
}

SimulatedWorld::~SimulatedWorld()
{
    discardProcessState();
    simulator_.reset();
    platform::Platform::install(nullptr);
}

platform::CaptureServiceSim& SimulatedWorld::capture()
{
    return static_cast<platform::CaptureServiceSim&>(platform::Platform::current().capture());
}

void SimulatedWorld::discardProcessState()
{
    discardLibraryProcessState();
    setDiagnosticHandler({});
}

}  // namespace uvccam::testing
