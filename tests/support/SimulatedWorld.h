// A fresh process state on simulated devices and a virtual clock, for each test.
#pragma once

// The tests reach the device core behind the camera interface, which the host's header
// only declares.
#include "mac/MacUVCCamOC.h"
#include "platform/sim/CaptureServiceSim.h"
#include "support/QtPrinters.h"
#include "platform/sim/LogSinkRecorder.h"
#include "platform/sim/RunLoopVirtual.h"
#include "platform/sim/Simulator.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

namespace uvccam::testing {

// Discards every core and manager of an earlier test, installs the simulator on a
// virtual clock with a recording log, and discards everything again at the end, so that
// each test starts from a machine with nothing attached and leaves nothing behind.
class SimulatedWorld : public ::testing::Test {
protected:
    SimulatedWorld();
    ~SimulatedWorld() override;

    platform::RunLoopVirtual& clock() { return *clock_; }
    platform::LogSinkRecorder& log() { return *log_; }
    platform::Simulator& simulator() { return *simulator_; }
    platform::CaptureServiceSim& capture();

    // Lets the run loop deliver what is due now (notifications queued by attach/detach).
    void deliverPending() { clock_->advance(std::chrono::nanoseconds::zero()); }

    QStringList logged(platform::LogChannel channel) const { return log_->messages(channel); }

private:
    static void discardProcessState();

    platform::RunLoopVirtual* clock_ = nullptr;
    platform::LogSinkRecorder* log_ = nullptr;
    std::shared_ptr<platform::Simulator> simulator_;
};

}  // namespace uvccam::testing
