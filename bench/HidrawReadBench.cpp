// A HID property read over hidraw costs little more than the plainest loop on the same node: the
// library's 80 ms wait ends at the answer. Runs on an emulated speakerphone that answers at once.
#include "InterleavedBenchmarks.h"
#include "mac/MacHidDevice.h"
#include "mac/MacHidDeviceManager.h"
#include "platform/Platform.h"
#include "platform/linux/HidServiceHidraw.h"
#include "platform/linux/RunLoopQt.h"
#include "platform/linux/UdevWatcher.h"
#include "support/EmulatedUsb.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

using namespace uvccam::platform;
using namespace uvccam::testing;

// The library's read may cost at most this much more than the plain loop.
constexpr double kRatioLimit = 1.5;

// Selector 3's property: polled often, so the library does not log its reports, and neither
// loop pays for messages.
constexpr std::array<std::uint8_t, 3> kRequestStart{0x08, 0x10, 0x03};

EmulatedNodes plugSpeakerphone(EmulatedUsb& usb)
{
    return usb.plug(EmulatedDevice::speakerphone(QStringLiteral("VOXA760"), 0x0760, "3"));
}

class NoLog : public LogSink {
public:
    void write(LogChannel, const QString&) override {}
};

// What a program would do by hand: write the report behind report ID 0, wait for the node
// to become readable, read the answer.
void BM_PlainWritePollRead(benchmark::State& state)
{
    EmulatedUsb usb;
    const EmulatedNodes speakerphone = plugSpeakerphone(usb);
    const int fd = ::open(speakerphone.hidraw.toUtf8().constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        state.SkipWithError("cannot open the emulated node");
        return;
    }
    std::array<std::uint8_t, 513> out{0, kRequestStart[0], kRequestStart[1], kRequestStart[2]};
    std::array<std::uint8_t, HidDeviceHidraw::kMaxReportSize> in{};
    std::int64_t answered = 0;
    for (auto _ : state) {
        if (::write(fd, out.data(), out.size()) != static_cast<ssize_t>(out.size())) {
            state.SkipWithError("write failed");
            break;
        }
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, 80) == 1 && ::read(fd, in.data(), in.size()) > 0)
            ++answered;
    }
    state.counters["answered"] = static_cast<double>(answered);
    ::close(fd);
}
// Both are repeated, in random order, so that a change in the machine's load while they run
// falls on both alike; the comparison is of their medians.
constexpr int kRepetitions = 9;
constexpr double kSecondsPerRepetition = 0.2;

BENCHMARK(BM_PlainWritePollRead)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(kRepetitions)
    ->MinTime(kSecondsPerRepetition);

// The library's own: MacHidDevice's output report, then its read, which schedules the device
// and runs the loop for up to 80 ms until the answer's callback stops it.
void BM_LibraryHidPropertyRead(benchmark::State& state)
{
    EmulatedUsb usb;
    plugSpeakerphone(usb);
    Platform::Services services;
    services.runLoop = std::make_unique<RunLoopQt>();
    services.log = std::make_unique<NoLog>();
    services.hid = std::make_unique<HidServiceHidraw>(UdevWatcher::create({"hidraw"}));
    Platform::install(std::make_unique<Platform>(std::move(services)));
    MacHidDeviceManager* manager = MacHidDeviceManager::sharedInstance();
    manager->initHIDManager();

    if (const std::shared_ptr<MacHidDevice> device = manager->hidDevices().value(0)) {
        std::array<std::uint8_t, MacHidDevice::kInputBufferSize> out{kRequestStart[0], kRequestStart[1],
                                                                      kRequestStart[2]};
        std::array<std::uint8_t, MacHidDevice::kInputBufferSize> in{};
        std::int64_t answered = 0;
        for (auto _ : state) {
            device->setReport(out.data(), static_cast<long>(out.size()));
            answered += device->readReport(in.data(), static_cast<long>(in.size())) ? 1 : 0;
        }
        state.counters["answered"] = static_cast<double>(answered);
    } else {
        state.SkipWithError("the emulated speakerphone is not listed");
    }
    MacHidDeviceManager::discardSharedInstance();
    Platform::install(nullptr);
}
BENCHMARK(BM_LibraryHidPropertyRead)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(kRepetitions)
    ->MinTime(kSecondsPerRepetition);

// The console's report, and each repetition's real time per read for the comparison.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    // A reporter of our own does not follow --benchmark_color: colour only for a terminal.
    RatioReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                perRead_[run.run_name.function_name].push_back(run.GetAdjustedRealTime());
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // The library's median over the plain loop's, or 0 when either did not run.
    double ratio() const
    {
        const double library = median("BM_LibraryHidPropertyRead");
        const double plain = median("BM_PlainWritePollRead");
        return library > 0 && plain > 0 ? library / plain : 0;
    }

private:
    double median(const std::string& name) const
    {
        const auto found = perRead_.find(name);
        if (found == perRead_.end() || found->second.empty())
            return 0;
        std::vector<double> times = found->second;
        std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
        return times[times.size() / 2];
    }

    std::map<std::string, std::vector<double>> perRead_;
};

}  // namespace

// Under umockdev's preload, in a Qt application (the real-time run loop needs one). Exits
// with 1 when the library's read costs more than kRatioLimit times the plain loop.
int main(int argc, char** argv)
{
    runUnderUmockdev(argv);
    QCoreApplication app(argc, argv);
    if (!initializeInterleavedBenchmarks(argc, argv))
        return 1;
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const double ratio = reporter.ratio();
    if (ratio <= 0)
        return 0;
    std::printf("library read / plain write-poll-read: %.2f (at most %.1f)\n", ratio, kRatioLimit);
    return ratio <= kRatioLimit ? 0 : 1;
}
