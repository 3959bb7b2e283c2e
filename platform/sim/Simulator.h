// The simulated hardware: which devices are attached, and hot-plug as the services see it.
#pragma once

#include "platform/RunLoop.h"
#include "platform/sim/SimulatedDevice.h"

#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace uvccam::platform {

class LogSink;

// One simulator serves every simulated service of a platform. Attaching makes a device
// present at once (an enumeration sees it); each service announces the change to its
// own observers through the run loop, as the operating system would.
class Simulator {
public:
    enum class Change { Attached, Detached };
    using Listener = std::function<void(Change, const std::shared_ptr<SimulatedDevice>&)>;

    explicit Simulator(RunLoop& runLoop);

    // Makes a platform of simulated services on the given run loop and log, installs it
    // as the process's platform and returns its simulator.
    static std::shared_ptr<Simulator> install(std::unique_ptr<RunLoop> runLoop, std::unique_ptr<LogSink> log);

    // The simulator of the installed platform, or nullptr when the platform is not
    // simulated.
    static std::shared_ptr<Simulator> active();
    // Called when any platform is installed: the simulator installed before it, if still
    // held by someone, is no longer the active one.
    static void forgetActive();

    RunLoop& runLoop() { return runLoop_; }

    // Attaches a device. A zero location ID or serial number in the profile is replaced
    // by a fresh one.
    std::shared_ptr<SimulatedDevice> attach(DeviceProfile profile);
    // Unplugs the device whose listed or capture unique ID this is; false when unknown.
    bool detach(const QString& uniqueId);

    QList<std::shared_ptr<SimulatedDevice>> attachedDevices() const { return devices_; }
    std::shared_ptr<SimulatedDevice> findDevice(const QString& uniqueId) const;

    // Loudness heard by the computer's own microphone, which is always present and is no
    // USB device; decibels relative to full scale.
    double builtInMicrophoneLevel() const { return builtInMicrophoneLevel_; }
    void setBuiltInMicrophoneLevel(double dBFS) { builtInMicrophoneLevel_ = dBFS; }

    using ListenerId = std::uint64_t;
    ListenerId addListener(Listener listener);
    void removeListener(ListenerId id);

private:
    void notify(Change change, const std::shared_ptr<SimulatedDevice>& device);

    RunLoop& runLoop_;
    QList<std::shared_ptr<SimulatedDevice>> devices_;
    std::vector<std::pair<ListenerId, Listener>> listeners_;
    ListenerId nextListenerId_ = 1;
    std::uint32_t devicesMade_ = 0;
    double builtInMicrophoneLevel_ = -20.0;
};

}  // namespace uvccam::platform
