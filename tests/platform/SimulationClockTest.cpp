// The public simulation API's clock: wait() and clockSeconds() on the virtual clock.
#include "UVCCamSimulation.h"

#include "platform/Platform.h"
#include "support/SimulatedWorld.h"

#include <chrono>
#include <limits>

namespace {

using namespace std::chrono_literals;
using uvccam::testing::SimulatedWorld;

using SimulationClock = SimulatedWorld;

TEST_F(SimulationClock, WaitLetsExactlyThatMuchTimePassAndRunsWhatFallsDueEvenIfATaskStops)
{
    std::chrono::nanoseconds ranAt{-1};
    clock().dispatchAfter(100ms, [&] { ranAt = clock().now(); });
    // The library stops the run it is in to end its own bounded waits; a host's wait goes on.
    clock().dispatchAfter(200ms, [&] { clock().stop(); });
    uvccam::sim::wait(0.25);
    EXPECT_EQ(ranAt, 100ms);
    EXPECT_EQ(clock().now(), 250ms);
    EXPECT_DOUBLE_EQ(uvccam::sim::clockSeconds(), 0.25);
}

TEST_F(SimulationClock, ANegativeOrUndefinedWaitOnlyDeliversWhatIsDueNowAndATinyOneStillMovesTheClock)
{
    int ran = 0;
    clock().dispatchAfter(0ms, [&] { ++ran; });
    clock().dispatchAfter(1ms, [&] { ++ran; });
    uvccam::sim::wait(-5);
    uvccam::sim::wait(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(clock().now(), 0ms);
    // Rounding down would leave a caller waiting in a loop for time that never passes.
    uvccam::sim::wait(1e-10);
    EXPECT_EQ(clock().now(), 1ns);
}

TEST_F(SimulationClock, AHostChoosesTheVirtualClockExplicitlyAndOnceThoughAnEarlierSimulatorIsStillHeld)
{
    // The fixture keeps its simulator alive, no longer active once its platform went; a host
    // choosing afresh must still get a clock of its own.
    uvccam::platform::Platform::install(nullptr);
    EXPECT_EQ(uvccam::platform::Simulator::active(), nullptr);
    uvccam::sim::useSimulatedDevices(uvccam::sim::Clock::Virtual);
    ASSERT_TRUE(uvccam::sim::isSimulating());
    EXPECT_NE(uvccam::platform::Simulator::active().get(), &simulator());
    // A short wait first, so that a real-time clock fails the test quickly.
    const auto start = std::chrono::steady_clock::now();
    uvccam::sim::wait(0.5);
    ASSERT_LT(std::chrono::steady_clock::now() - start, 400ms);
    // Ten simulated minutes, and not one real second.
    uvccam::sim::wait(600);
    EXPECT_DOUBLE_EQ(uvccam::sim::clockSeconds(), 600.5);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    // Once the simulator is in use, asking again changes nothing.
    uvccam::sim::useSimulatedDevices(uvccam::sim::Clock::RealTime);
    EXPECT_DOUBLE_EQ(uvccam::sim::clockSeconds(), 600.5);
}

}  // namespace
