// The microphone test against plain GStreamer on a private sound server: how long the
// library's meter takes to show the microphone after a recording starts, against a plain
// "pulsesrc ! level ! fakesink" started the same way on the same source; and how far the
// 10-second clip's length is from ten seconds.
// GLib names struct members `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "InterleavedBenchmarks.h"
#include "mac/MacAudioMgr.h"
#include "platform/Platform.h"
#include "platform/linux/AudioFileProbeGst.h"
#include "platform/linux/GstInit.h"
#include "platform/linux/PlatformLinux.h"
#include "support/PrivatePulseAudio.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <gst/gst.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <optional>

namespace {

using namespace uvccam::platform;
using uvccam::testing::PrivatePulseAudio;

// The library's meter may take at most this much longer than the plain pipeline, and the
// clip may be this much longer or shorter than ten seconds.
constexpr double kStartRatioLimit = 1.2;
constexpr double kClipErrorLimitSeconds = 0.2;
bool g_failed = false;
constexpr int kGiveUpMs = 5000;

// Runs the Qt event loop until `done` or kGiveUpMs; false when it gave up.
template <typename Done>
bool runUntil(Done done)
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done()) {
        if (elapsed.elapsed() > kGiveUpMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

std::optional<double> g_firstTickMs;
QElapsedTimer g_sinceStart;

void firstTick(float level)
{
    if (level > 0 && !g_firstTickMs)
        g_firstTickMs = static_cast<double>(g_sinceStart.nsecsElapsed()) / 1e6;
}

void reportRatio(benchmark::State& state, const char* side, double meanMs);

// From startRecording to the first level callback that carries a measurement.
void BM_LibraryMeterStart(benchmark::State& state)
{
    double totalMs = 0;
    for (auto _ : state) {
        MacAudioMgr::dispose();
        MacAudioMgr* manager = MacAudioMgr::sharedInstance();
        const QString serial = QLatin1String(PrivatePulseAudio::kCameraSerial);
        manager->setAudioDeviceByUniqueId(nullptr, &serial);
        manager->setAudioCallback(firstTick);
        g_firstTickMs.reset();
        g_sinceStart.start();
        manager->startRecording();
        const bool ticked = runUntil([] { return g_firstTickMs.has_value(); });
        const bool recording = manager->isRecording();
        state.PauseTiming();
        manager->stopRecording();
        QFile::remove(manager->outputURL());
        state.ResumeTiming();
        if (!ticked) {
            g_failed = true;
            state.SkipWithError(recording ? "no level reached the callback" : "the recording did not start");
            return;
        }
        totalMs += *g_firstTickMs;
    }
    reportRatio(state, "library", totalMs / static_cast<double>(state.iterations()));
}

// From PLAYING to the first level message, read on the main thread through the bus's socket.
void BM_PlainLevelStart(benchmark::State& state)
{
    const std::string description =
        std::string("pulsesrc device=") + PrivatePulseAudio::kCameraMicrophone + " ! level ! fakesink";
    double totalMs = 0;
    for (auto _ : state) {
        GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
        GstBus* bus = gst_element_get_bus(pipeline);
        GPollFD pollFd{};
        gst_bus_get_pollfd(bus, &pollFd);
        std::optional<double> firstMs;
        QElapsedTimer started;
        QSocketNotifier notifier(pollFd.fd, QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
            while (GstMessage* message = gst_bus_pop(bus)) {
                const GstStructure* structure = gst_message_get_structure(message);
                if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ELEMENT && structure
                    && gst_structure_has_name(structure, "level") && !firstMs)
                    firstMs = static_cast<double>(started.nsecsElapsed()) / 1e6;
                gst_message_unref(message);
            }
        });
        started.start();
        gst_element_set_state(pipeline, GST_STATE_PLAYING);
        const bool heard = runUntil([&] { return firstMs.has_value(); });
        state.PauseTiming();
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(bus);
        gst_object_unref(pipeline);
        state.ResumeTiming();
        if (!heard) {
            g_failed = true;
            state.SkipWithError("no level message");
            return;
        }
        totalMs += *firstMs;
    }
    reportRatio(state, "plain", totalMs / static_cast<double>(state.iterations()));
}

// Both sides' mean start times of the current repetition; the ratio once both are in.
void reportRatio(benchmark::State& state, const char* side, double meanMs)
{
    static double library = 0;
    static double plain = 0;
    (std::string(side) == "library" ? library : plain) = meanMs;
    state.counters["start_ms"] = meanMs;
    if (library > 0 && plain > 0) {
        const double ratio = library / plain;
        state.counters["library_to_plain"] = ratio;
        g_failed = g_failed || ratio > kStartRatioLimit;
        if (ratio > kStartRatioLimit)
            std::fprintf(stderr, "the library's meter started %.2f times as late as plain GStreamer (limit %.2f)\n",
                         ratio, kStartRatioLimit);
        library = plain = 0;
    }
}

// One clip as the library records it: ten seconds on the run loop, then stopped.
void BM_TenSecondClipLength(benchmark::State& state)
{
    for (auto _ : state) {
        MacAudioMgr::dispose();
        MacAudioMgr* manager = MacAudioMgr::sharedInstance();
        manager->startRecording();
        Platform::current().runLoop().runFor(std::chrono::seconds(10));
        manager->stopRecording();
        const std::optional<double> seconds = probeAudioFileDuration(manager->outputURL());
        QFile::remove(manager->outputURL());
        if (!seconds) {
            g_failed = true;
            state.SkipWithError("the clip does not decode");
            return;
        }
        state.counters["clip_s"] = *seconds;
        state.counters["error_s"] = std::fabs(*seconds - 10.0);
        if (std::fabs(*seconds - 10.0) > kClipErrorLimitSeconds) {
            g_failed = true;
            std::fprintf(stderr, "the clip lasts %.3f s (limit: 10 s +- %.1f s)\n", *seconds, kClipErrorLimitSeconds);
        }
    }
}

BENCHMARK(BM_LibraryMeterStart)->Iterations(10)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainLevelStart)->Iterations(10)->Repetitions(3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TenSecondClipLength)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (!ensureGstInitialized())
        return 1;
    const PrivatePulseAudio pulse;
    if (!pulse.error().isEmpty() || !pulse.waitUntilMicrophonesAreLive()) {
        std::fprintf(stderr, "no private sound server: %s\n", qUtf8Printable(pulse.error()));
        return 1;
    }
    Platform::install(PlatformLinux::create());
    if (!initializeInterleavedBenchmarks(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    MacAudioMgr::dispose();
    Platform::install(nullptr);
    return g_failed ? 1 : 0;
}
