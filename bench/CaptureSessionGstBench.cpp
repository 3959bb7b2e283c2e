// Video capture over GStreamer against plain GStreamer on the same test sources: the frame
// path from the appsink to the host's callback, the conversion to 640 by 360 '2vuy', and
// resident memory over a long stream. Each comparison is CPU time per frame of both sides.
// GLib names struct members `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "InterleavedBenchmarks.h"
#include "platform/linux/CaptureSessionGst.h"
#include "platform/linux/GstInit.h"
#include "platform/linux/PixelBufferGst.h"
#include "platform/linux/VideoDataOutputGst.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <numeric>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace {

using namespace uvccam::platform;

// The library's frame path may cost at most this much more CPU per frame than the plain
// appsink program.
constexpr double kFramePathRatioLimit = 1.10;
// Resident memory may grow by less than this between the 10,000th and the last frame: the
// smallest block malloc hands out (32 bytes) kept for each of the 90,000 frames between
// would come to 2.8 MB.
constexpr long kRssGrowthLimitKb = 2 * 1024;

// The frame path: a camera that already gives 640 by 360 UYVY, so no element converts and
// only the way from the appsink to the callback differs. Live, as cameras are, at a rate
// the main thread keeps up with, so that every frame reaches the callback (a non-live
// source would outrun it and the library would drop most frames). Black costs the source
// one copy of a frame it drew once, which leaves the path itself a large share of the CPU
// measured.
constexpr int kLiveRate = 250;
const std::string kLiveUyvyCameraCaps =
    "video/x-raw,format=UYVY,width=640,height=360,framerate=" + std::to_string(kLiveRate) + "/1";
const std::string kLiveUyvyCamera = "videotestsrc is-live=true pattern=black ! capsfilter caps=" + kLiveUyvyCameraCaps;
constexpr std::uint64_t kFramePathWarmUp = 25;
constexpr std::uint64_t kFramePathFrames = 400;

// The conversion: cameras that give 1280 by 720 YUYV or JPEG, as fast as the pipeline
// converts (not live). The library's session and gst-launch-1.0 get the same source.
struct ConvertingCamera {
    const char* name;
    // The source element; gst-launch-1.0's copy is told how many buffers to make.
    const char* source;
    // What follows the source in the camera's description, ending in its fixed caps.
    const char* rest;
    // The caps the session holds the camera to, and the elements it then converts with.
    const char* cameraCaps;
    std::vector<std::string> conversion;
};
const ConvertingCamera kYuyvCamera{"YUYV 1280x720",
                                   "videotestsrc",
                                   " ! capsfilter caps=video/x-raw,format=YUY2,width=1280,height=720,framerate=30/1",
                                   "video/x-raw,format=YUY2,width=1280,height=720,framerate=30/1",
                                   {"videoscale", "videoconvert"}};
const ConvertingCamera kMjpegCamera{
    "MJPEG 1280x720", "videotestsrc",
    " ! video/x-raw,format=I420,width=1280,height=720,framerate=30/1 ! jpegenc"
    " ! capsfilter caps=image/jpeg,width=1280,height=720,framerate=30/1",
    "image/jpeg,width=1280,height=720,framerate=30/1",
    {"jpegdec", "videoscale", "videoconvert"}};
const char* const kTargetCaps = "video/x-raw,format=UYVY,width=640,height=360";
constexpr std::uint64_t kConversionWarmUp = 10;
constexpr std::uint64_t kConversionFrames = 100;

// Memory: many frames quickly, so not live. The library then drops the frames that arrive
// while the main thread is busy; only delivered frames are counted.
const char* const kFastUyvyCamera =
    "videotestsrc pattern=black ! capsfilter caps=video/x-raw,format=UYVY,width=640,height=360,framerate=30/1";
constexpr std::uint64_t kMemorySettledAt = 10000;
constexpr std::uint64_t kMemoryFrames = 100000;

double cpuSeconds(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}
double processCpuSeconds()
{
    return cpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
}

long residentKilobytes()
{
    long kilobytes = 0;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status)) {
            if (std::sscanf(line, "VmRSS: %ld kB", &kilobytes) == 1)
                break;
        }
        std::fclose(status);
    }
    return kilobytes;
}

// Reads every byte, the same code for both sides of a comparison. In blocks of a fixed
// length so that the compiler vectorizes it at -O2: a host that reads a frame does so at
// memory speed, and a slow reader would hide what the path around it costs.
[[gnu::noinline]] std::uint64_t sumBytes(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kBlock = 64;
    std::uint64_t sum = 0;
    std::size_t i = 0;
    for (; i + kBlock <= size; i += kBlock) {
        std::uint32_t block = 0;
        for (std::size_t j = 0; j < kBlock; ++j)
            block += data[i + j];
        sum += block;
    }
    for (; i < size; ++i)
        sum += data[i];
    return sum;
}

// What the callback does with each frame: every byte for the frame path, which a host
// that draws or encodes frames pays too; the first byte where the comparison is of what
// happens before the callback.
enum class Touch { EveryByte, FirstByte };

std::uint64_t touch(Touch how, const std::uint8_t* data, std::size_t size)
{
    if (!data || size == 0)
        return 0;
    return how == Touch::EveryByte ? sumBytes(data, size) : data[0];
}

// The memory of the last buffers that reached an appsink, as a probe on its sink pad saw
// them: a frame whose bytes lie there was not copied on its way to the callback.
class BufferLedger {
public:
    void attach(GstElement* appsink)
    {
        GstPad* pad = gst_element_get_static_pad(appsink, "sink");
        gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, &BufferLedger::record, this, nullptr);
        gst_object_unref(pad);
    }

    // True when `size` bytes at `data` lie inside one memory of `buffer` as it last reached
    // the appsink. A pool hands the same buffer out again; the newest sighting counts.
    bool holds(const GstBuffer* buffer, const std::uint8_t* data, std::size_t size) const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (std::size_t age = 1; age <= seen_.size(); ++age) {
            const Sighting& sighting = seen_[(next_ + seen_.size() - age) % seen_.size()];
            if (sighting.buffer != buffer)
                continue;
            for (std::size_t i = 0; i < sighting.memories; ++i) {
                const Range& range = sighting.ranges[i];
                if (data >= range.begin && data + size <= range.end)
                    return true;
            }
            return false;
        }
        return false;
    }

private:
    struct Range {
        const std::uint8_t* begin = nullptr;
        const std::uint8_t* end = nullptr;
    };
    struct Sighting {
        const GstBuffer* buffer = nullptr;
        std::array<Range, 4> ranges;
        std::size_t memories = 0;
    };

    static GstPadProbeReturn record(GstPad*, GstPadProbeInfo* info, gpointer self)
    {
        auto* ledger = static_cast<BufferLedger*>(self);
        GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
        Sighting sighting;
        sighting.buffer = buffer;
        const guint memories = std::min<guint>(gst_buffer_n_memory(buffer), sighting.ranges.size());
        for (guint i = 0; i < memories; ++i) {
            // Mapping system memory for reading hands out its address; nothing is copied.
            GstMemory* memory = gst_buffer_peek_memory(buffer, i);
            GstMapInfo map;
            if (!gst_memory_map(memory, &map, GST_MAP_READ))
                continue;
            sighting.ranges[sighting.memories++] = {map.data, map.data + map.size};
            gst_memory_unmap(memory, &map);
        }
        std::lock_guard<std::mutex> lock(ledger->mutex_);
        ledger->seen_[ledger->next_] = sighting;
        ledger->next_ = (ledger->next_ + 1) % ledger->seen_.size();
        return GST_PAD_PROBE_OK;
    }

    mutable std::mutex mutex_;
    std::array<Sighting, 16> seen_;
    std::size_t next_ = 0;
};

// The copy check on one frame: `copies` counts frames not found in the appsink's buffer.
// Once per run a real copy of the frame is shown to the ledger, which must refuse it, or
// "copies: 0" would prove nothing.
struct CopyCheck {
    const BufferLedger* ledger = nullptr;
    std::uint64_t checked = 0;
    std::uint64_t copies = 0;
    bool controlled = false;
    bool blind = false;

    void check(const GstBuffer* buffer, const std::uint8_t* data, std::size_t size, bool counted)
    {
        if (!ledger)
            return;
        const bool found = buffer && data && ledger->holds(buffer, data, size);
        if (found && !controlled) {
            controlled = true;
            const std::vector<std::uint8_t> copy(data, data + size);
            blind = ledger->holds(buffer, copy.data(), copy.size());
        }
        if (counted) {
            ++checked;
            copies += found ? 0 : 1;
        }
    }
};

// A measured stretch of a stream: the process's CPU clock after frame `first` and after
// frame `last` had been handled, and the frames the library dropped in between.
struct Window {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    double cpuAtFirst = 0;
    double cpuAtLast = 0;
    std::uint64_t droppedAtFirst = 0;
    std::uint64_t droppedAtLast = 0;
    // The share of the thread that marks the window: the library's main thread.
    double threadCpuAtFirst = 0;
    double threadCpuAtLast = 0;

    void open(std::uint64_t dropped)
    {
        droppedAtFirst = dropped;
        threadCpuAtFirst = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        cpuAtFirst = processCpuSeconds();
    }
    void close(std::uint64_t dropped)
    {
        cpuAtLast = processCpuSeconds();
        threadCpuAtLast = cpuSeconds(CLOCK_THREAD_CPUTIME_ID);
        droppedAtLast = dropped;
    }
    std::uint64_t frames() const { return last - first; }
    double cpuPerFrame() const { return (cpuAtLast - cpuAtFirst) / static_cast<double>(frames()); }
};

// The elements between the session's camera and its appsink, capsfilters left out: what
// the library converts with, for comparison with what the plain program runs.
std::vector<std::string> conversionChain(GstElement* pipeline)
{
    std::vector<std::string> chain;
    GstElement* element = pipeline ? gst_bin_get_by_name(GST_BIN(pipeline), "frames") : nullptr;
    while (element) {
        GstPad* sinkPad = gst_element_get_static_pad(element, "sink");
        gst_object_unref(element);
        element = nullptr;
        GstPad* peer = sinkPad ? gst_pad_get_peer(sinkPad) : nullptr;
        if (sinkPad)
            gst_object_unref(sinkPad);
        if (!peer)
            break;
        element = gst_pad_get_parent_element(peer);
        gst_object_unref(peer);
        if (!element || std::strcmp(GST_OBJECT_NAME(element), "camera") == 0)
            break;
        GstElementFactory* factory = gst_element_get_factory(element);
        const std::string name = factory ? GST_OBJECT_NAME(factory) : "?";
        if (name != "capsfilter")
            chain.insert(chain.begin(), name);
    }
    if (element)
        gst_object_unref(element);
    return chain;
}

std::string joined(const std::vector<std::string>& names, const char* separator)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : separator) + name;
    return text.empty() ? "(none)" : text;
}

// Told of each frame (counted from 1) after it was read, while it is still locked or
// mapped; true when the run has seen enough.
using LibraryFrameHook =
    std::function<bool(std::uint64_t frame, const std::uint8_t* data, std::size_t size, PixelBuffer& pixels)>;
using PlainFrameHook =
    std::function<bool(std::uint64_t frame, GstBuffer* buffer, const std::uint8_t* data, std::size_t size)>;

// The host's side of the library: a delegate on the main thread that locks each frame,
// reads it and unlocks it.
class MeasuringDelegate : public SampleBufferDelegate {
public:
    MeasuringDelegate(Touch how, LibraryFrameHook afterFrame, std::function<void()> enough)
        : how_(how), afterFrame_(std::move(afterFrame)), enough_(std::move(enough))
    {
    }

    void captureOutput(VideoDataOutput&, const PixelBufferPtr& frame) override
    {
        frame->lockBaseAddress();
        const std::uint8_t* data = frame->baseAddress();
        const std::size_t size = frame->bytesPerRow() * frame->height();
        sum_ += touch(how_, data, size);
        const bool done = afterFrame_(++frames_, data, size, *frame);
        frame->unlockBaseAddress();
        benchmark::DoNotOptimize(sum_);
        if (done)
            enough_();
    }

private:
    Touch how_;
    LibraryFrameHook afterFrame_;
    std::function<void()> enough_;
    std::uint64_t frames_ = 0;
    std::uint64_t sum_ = 0;
};

// One library session on `camera` with one output wanting 640 by 360 '2vuy', run on the Qt
// loop until the frame hook has seen enough.
class LibraryRun {
public:
    explicit LibraryRun(const std::string& camera)
        : session_(CaptureSessionGst::describedSource(QString::fromStdString(camera))),
          output_(std::make_shared<VideoDataOutputGst>())
    {
        VideoSettings settings;
        settings.width = 640;
        settings.height = 360;
        settings.pixelFormat = kPixelFormat2vuy;
        output_->setVideoSettings(settings);
        session_.addOutput(output_);
    }
    ~LibraryRun() { session_.stopRunning(); }

    CaptureSessionGst& session() { return session_; }

    // False when the session did not start.
    bool start(Touch how, LibraryFrameHook afterFrame)
    {
        delegate_ = std::make_shared<MeasuringDelegate>(how, std::move(afterFrame), [this] { loop_.quit(); });
        output_->setSampleBufferDelegate(delegate_);
        session_.startRunning();
        return session_.isRunning() && session_.pipeline();
    }

    // Runs the loop until the hook has seen enough or `limit`; false when the limit ended it.
    bool runFor(std::chrono::milliseconds limit)
    {
        bool timedOut = false;
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &loop_, [&] {
            timedOut = true;
            loop_.quit();
        });
        timer.start(static_cast<int>(limit.count()));
        loop_.exec();
        return !timedOut;
    }

    GstElement* appsink() const
    {
        return session_.pipeline() ? gst_bin_get_by_name(GST_BIN(session_.pipeline()), "frames") : nullptr;
    }

private:
    CaptureSessionGst session_;
    std::shared_ptr<VideoDataOutputGst> output_;
    std::shared_ptr<MeasuringDelegate> delegate_;
    QEventLoop loop_;
};

// The plain program: the same source (made by the same factory), the same capsfilter and
// an appsink set up as the library sets its own, and a new-sample callback on the
// streaming thread that maps each buffer and reads it.
class PlainAppsinkProgram {
public:
    PlainAppsinkProgram(const std::string& camera, const std::string& cameraCaps, Touch how, PlainFrameHook afterFrame)
        : how_(how), afterFrame_(std::move(afterFrame))
    {
        GstElement* source = CaptureSessionGst::describedSource(QString::fromStdString(camera))(nullptr);
        GstElement* filter = gst_element_factory_make("capsfilter", "camera-caps");
        appsink_ = gst_element_factory_make("appsink", "frames");
        if (!source || !filter || !appsink_)
            return;
        GstCaps* caps = gst_caps_from_string(cameraCaps.c_str());
        g_object_set(filter, "caps", caps, nullptr);
        gst_caps_unref(caps);
        g_object_set(appsink_, "max-buffers", 1u, "drop", TRUE, "sync", FALSE, "emit-signals", FALSE,
                     "enable-last-sample", FALSE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = &PlainAppsinkProgram::onNewSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(appsink_), &callbacks, this, nullptr);
        pipeline_ = gst_pipeline_new("plain");
        gst_bin_add_many(GST_BIN(pipeline_), source, filter, appsink_, nullptr);
        if (!gst_element_link_many(source, filter, appsink_, nullptr)) {
            gst_object_unref(pipeline_);
            pipeline_ = nullptr;
        }
    }
    ~PlainAppsinkProgram()
    {
        if (pipeline_) {
            gst_element_set_state(pipeline_, GST_STATE_NULL);
            gst_object_unref(pipeline_);
        }
    }

    GstElement* appsink() const { return appsink_; }
    bool start() { return pipeline_ && gst_element_set_state(pipeline_, GST_STATE_PLAYING) != GST_STATE_CHANGE_FAILURE; }

    // Until the hook has seen enough or `limit`; false when the limit ended it.
    bool waitFor(std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        return finishedChanged_.wait_for(lock, limit, [this] { return finished_; });
    }

private:
    static GstFlowReturn onNewSample(GstAppSink* sink, gpointer self)
    {
        auto* program = static_cast<PlainAppsinkProgram*>(self);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (!sample)
            return GST_FLOW_OK;
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        GstMapInfo map;
        bool done = false;
        if (buffer && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            program->sum_ += touch(program->how_, map.data, map.size);
            done = program->afterFrame_(++program->frames_, buffer, map.data, map.size);
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        benchmark::DoNotOptimize(program->sum_);
        if (done) {
            std::lock_guard<std::mutex> lock(program->mutex_);
            program->finished_ = true;
            program->finishedChanged_.notify_all();
        }
        return GST_FLOW_OK;
    }

    Touch how_;
    PlainFrameHook afterFrame_;
    GstElement* pipeline_ = nullptr;
    GstElement* appsink_ = nullptr;
    std::uint64_t frames_ = 0;
    std::uint64_t sum_ = 0;
    std::mutex mutex_;
    std::condition_variable finishedChanged_;
    bool finished_ = false;
};

std::chrono::milliseconds liveLimit(std::uint64_t frames)
{
    return std::chrono::milliseconds(5000 + 3 * 1000 * static_cast<long>(frames) / kLiveRate);
}

// `window` was marked on the library's main thread: its share of the CPU time is shown too.
void reportWindow(benchmark::State& state, const Window& window, bool onMainThread)
{
    state.SetIterationTime(window.cpuAtLast - window.cpuAtFirst);
    state.counters["frames"] = static_cast<double>(window.frames());
    state.counters["cpu_us_per_frame"] = window.cpuPerFrame() * 1e6;
    state.counters["dropped"] = static_cast<double>(window.droppedAtLast - window.droppedAtFirst);
    if (onMainThread) {
        state.counters["main_thread_us_per_frame"]
            = (window.threadCpuAtLast - window.threadCpuAtFirst) / static_cast<double>(window.frames()) * 1e6;
    }
}

// The library: session, mailbox, main-thread delivery, PixelBufferGst locked and read.
void BM_LibraryFramePath(benchmark::State& state)
{
    // The probe writes to the ledger from the streaming thread: it outlives the session.
    BufferLedger ledger;
    CopyCheck copyCheck{&ledger};
    Window window{kFramePathWarmUp, kFramePathWarmUp + kFramePathFrames};
    LibraryRun run(kLiveUyvyCamera);
    const auto afterFrame = [&](std::uint64_t frame, const std::uint8_t* data, std::size_t size, PixelBuffer& pixels) {
        auto* gstPixels = dynamic_cast<PixelBufferGst*>(&pixels);
        // Frames that left before the probe was in place are not counted.
        copyCheck.check(gstPixels ? gstPixels->buffer() : nullptr, data, size, frame > window.first);
        if (frame == window.first)
            window.open(run.session().framesDropped());
        if (frame == window.last)
            window.close(run.session().framesDropped());
        return frame >= window.last;
    };
    const bool started = run.start(Touch::EveryByte, afterFrame);
    if (!started) {
        state.SkipWithError("the session did not start");
        return;
    }
    if (GstElement* appsink = run.appsink()) {
        ledger.attach(appsink);
        gst_object_unref(appsink);
    }
    if (!conversionChain(run.session().pipeline()).empty()) {
        state.SkipWithError("the session converts frames the camera already gives");
        return;
    }
    for (auto _ : state) {
        if (!run.runFor(liveLimit(window.last))) {
            state.SkipWithError("the frames did not arrive in time");
            return;
        }
    }
    if (copyCheck.blind) {
        state.SkipWithError("the copy check took a copy for the appsink's buffer");
        return;
    }
    reportWindow(state, window, true);
    state.counters["checked"] = static_cast<double>(copyCheck.checked);
    state.counters["copies"] = static_cast<double>(copyCheck.copies);
}

// The plain program on the same source, checked against its own probe so that both sides
// pay for the check alike.
void BM_PlainAppsinkFramePath(benchmark::State& state)
{
    BufferLedger ledger;
    CopyCheck copyCheck{&ledger};
    Window window{kFramePathWarmUp, kFramePathWarmUp + kFramePathFrames};
    const auto afterFrame = [&](std::uint64_t frame, GstBuffer* buffer, const std::uint8_t* data, std::size_t size) {
        copyCheck.check(buffer, data, size, frame > window.first);
        if (frame == window.first)
            window.open(0);
        if (frame == window.last)
            window.close(0);
        return frame >= window.last;
    };
    PlainAppsinkProgram program(kLiveUyvyCamera, kLiveUyvyCameraCaps, Touch::EveryByte, afterFrame);
    if (program.appsink())
        ledger.attach(program.appsink());
    if (!program.start()) {
        state.SkipWithError("the plain pipeline did not start");
        return;
    }
    for (auto _ : state) {
        if (!program.waitFor(liveLimit(window.last))) {
            state.SkipWithError("the frames did not arrive in time");
            return;
        }
    }
    reportWindow(state, window, false);
}

// Repeated, in random order among the others, so that a change in the machine's load
// falls on both sides alike; the comparisons are of medians.
constexpr int kPathRepetitions = 9;

BENCHMARK(BM_LibraryFramePath)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(kPathRepetitions);
BENCHMARK(BM_PlainAppsinkFramePath)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(kPathRepetitions);

// The session converting `camera`'s frames; the delegate locks each and reads one byte, as
// gst-launch-1.0's fakesink reads none.
void libraryConversion(benchmark::State& state, const ConvertingCamera& camera)
{
    Window window{kConversionWarmUp, kConversionWarmUp + kConversionFrames};
    LibraryRun run(std::string(camera.source) + camera.rest);
    const auto afterFrame = [&](std::uint64_t frame, const std::uint8_t*, std::size_t, PixelBuffer&) {
        if (frame == window.first)
            window.open(run.session().framesDropped());
        if (frame == window.last)
            window.close(run.session().framesDropped());
        return frame >= window.last;
    };
    const bool started = run.start(Touch::FirstByte, afterFrame);
    if (!started) {
        state.SkipWithError("the session did not start");
        return;
    }
    const std::vector<std::string> chain = conversionChain(run.session().pipeline());
    if (chain != camera.conversion) {
        state.SkipWithError(("the session converts with " + joined(chain, " ! ") + ", not "
                             + joined(camera.conversion, " ! "))
                                .c_str());
        return;
    }
    for (auto _ : state) {
        if (!run.runFor(std::chrono::seconds(60))) {
            state.SkipWithError("the frames did not arrive in time");
            return;
        }
    }
    reportWindow(state, window, true);
}

// CPU time (user and system) of one gst-launch-1.0 run of `description`; negative when it
// could not run or failed.
double gstLaunchCpuSeconds(const std::string& description)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::string program = "gst-launch-1.0";
    std::string quiet = "-q";
    // One argument per word, as a shell would pass them: gst-launch-1.0 escapes the spaces
    // inside an argument.
    std::vector<std::string> words;
    for (std::size_t at = 0; at < description.size();) {
        const std::size_t space = std::min(description.find(' ', at), description.size());
        if (space > at)
            words.push_back(description.substr(at, space - at));
        at = space + 1;
    }
    std::vector<char*> arguments{program.data(), quiet.data()};
    for (std::string& word : words)
        arguments.push_back(word.data());
    arguments.push_back(nullptr);
    pid_t child = 0;
    const int spawned = posix_spawnp(&child, program.c_str(), &actions, nullptr, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    rusage usage{};
    if (::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) * 1e-6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::string gstLaunchDescription(const ConvertingCamera& camera, std::uint64_t frames)
{
    std::string description = std::string(camera.source) + " num-buffers=" + std::to_string(frames) + camera.rest
        + " ! capsfilter caps=" + camera.cameraCaps;
    for (const std::string& element : camera.conversion)
        description += " ! " + element;
    return description + " ! capsfilter caps=" + kTargetCaps + " ! fakesink";
}

// gst-launch-1.0 with the same elements as a child process. Start-up, plug-in loading and
// the warm-up frames cost the same in a short and a long run: their difference is the
// CPU time of the frames the long run made in addition.
void gstLaunchConversion(benchmark::State& state, const ConvertingCamera& camera)
{
    double cpu = 0;
    for (auto _ : state) {
        const double shortRun = gstLaunchCpuSeconds(gstLaunchDescription(camera, kConversionWarmUp));
        const double longRun = gstLaunchCpuSeconds(gstLaunchDescription(camera, kConversionWarmUp + kConversionFrames));
        if (shortRun < 0 || longRun < 0) {
            state.SkipWithError(("gst-launch-1.0 did not run " + gstLaunchDescription(camera, 1)).c_str());
            return;
        }
        cpu = longRun - shortRun;
        state.SetIterationTime(cpu);
    }
    state.counters["frames"] = static_cast<double>(kConversionFrames);
    state.counters["cpu_us_per_frame"] = cpu / static_cast<double>(kConversionFrames) * 1e6;
}

void BM_LibraryConvertYuyv(benchmark::State& state)
{
    libraryConversion(state, kYuyvCamera);
}
void BM_GstLaunchConvertYuyv(benchmark::State& state)
{
    gstLaunchConversion(state, kYuyvCamera);
}
void BM_LibraryConvertMjpeg(benchmark::State& state)
{
    libraryConversion(state, kMjpegCamera);
}
void BM_GstLaunchConvertMjpeg(benchmark::State& state)
{
    gstLaunchConversion(state, kMjpegCamera);
}

constexpr int kConversionRepetitions = 7;
BENCHMARK(BM_LibraryConvertYuyv)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(kConversionRepetitions);
BENCHMARK(BM_GstLaunchConvertYuyv)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(kConversionRepetitions);
BENCHMARK(BM_LibraryConvertMjpeg)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(kConversionRepetitions);
BENCHMARK(BM_GstLaunchConvertMjpeg)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(kConversionRepetitions);

// A long stream through the session: resident memory once the stream has settled and at
// its end. Anything kept per frame would show as growth.
void BM_LibraryLongStreamMemory(benchmark::State& state)
{
    long settledKb = 0;
    long endKb = 0;
    std::uint64_t droppedAtEnd = 0;
    LibraryRun run(kFastUyvyCamera);
    const auto afterFrame = [&](std::uint64_t frame, const std::uint8_t*, std::size_t, PixelBuffer&) {
        if (frame == kMemorySettledAt)
            settledKb = residentKilobytes();
        if (frame == kMemoryFrames) {
            endKb = residentKilobytes();
            droppedAtEnd = run.session().framesDropped();
        }
        return frame >= kMemoryFrames;
    };
    const bool started = run.start(Touch::FirstByte, afterFrame);
    if (!started) {
        state.SkipWithError("the session did not start");
        return;
    }
    for (auto _ : state) {
        const double cpuBefore = processCpuSeconds();
        if (!run.runFor(std::chrono::seconds(90))) {
            state.SkipWithError("the frames did not arrive in time");
            return;
        }
        state.SetIterationTime(processCpuSeconds() - cpuBefore);
    }
    state.counters["frames"] = static_cast<double>(kMemoryFrames);
    state.counters["dropped"] = static_cast<double>(droppedAtEnd);
    state.counters["rss_settled_kb"] = static_cast<double>(settledKb);
    state.counters["rss_end_kb"] = static_cast<double>(endKb);
}
BENCHMARK(BM_LibraryLongStreamMemory)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// The console's table, and what the comparisons need from each repetition.
class VerdictReporter : public benchmark::ConsoleReporter {
public:
    // A reporter of our own does not follow --benchmark_color: colour only for a terminal.
    VerdictReporter() : ConsoleReporter(::isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                counters_[run.run_name.function_name].push_back(run.counters);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // The median over repetitions of `counter`, or 0 when the benchmark did not run.
    double median(const std::string& benchmark, const std::string& counter) const
    {
        std::vector<double> values = all(benchmark, counter);
        if (values.empty())
            return 0;
        std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
        return values[values.size() / 2];
    }
    // The least over repetitions: the one the machine's other work disturbed least.
    double least(const std::string& benchmark, const std::string& counter) const
    {
        const std::vector<double> values = all(benchmark, counter);
        return values.empty() ? 0 : *std::min_element(values.begin(), values.end());
    }
    double total(const std::string& benchmark, const std::string& counter) const
    {
        const std::vector<double> values = all(benchmark, counter);
        return std::accumulate(values.begin(), values.end(), 0.0);
    }
    bool ran(const std::string& benchmark) const { return counters_.count(benchmark) > 0; }

private:
    std::vector<double> all(const std::string& benchmark, const std::string& counter) const
    {
        std::vector<double> values;
        const auto found = counters_.find(benchmark);
        if (found != counters_.end()) {
            for (const auto& counters : found->second) {
                const auto value = counters.find(counter);
                if (value != counters.end())
                    values.push_back(value->second.value);
            }
        }
        return values;
    }

    std::map<std::string, std::vector<benchmark::UserCounters>> counters_;
};

// CPU per frame of two benchmarks, as the medians' ratio (the verdict) and the ratio of
// their least disturbed repetitions (what a quiet machine would come nearer to); 0 when
// either did not run.
struct Comparison {
    double first = 0;
    double second = 0;
    double ratio = 0;
    double leastRatio = 0;
};
Comparison compare(const VerdictReporter& reporter, const std::string& first, const std::string& second)
{
    Comparison comparison{reporter.median(first, "cpu_us_per_frame"), reporter.median(second, "cpu_us_per_frame")};
    const double leastFirst = reporter.least(first, "cpu_us_per_frame");
    const double leastSecond = reporter.least(second, "cpu_us_per_frame");
    if (comparison.first > 0 && comparison.second > 0) {
        comparison.ratio = comparison.first / comparison.second;
        comparison.leastRatio = leastFirst / leastSecond;
    }
    return comparison;
}

// Prints each comparison whose two sides ran; false when one misses its target.
bool printVerdicts(const VerdictReporter& reporter)
{
    bool met = true;
    std::printf("\n");
    const Comparison path = compare(reporter, "BM_LibraryFramePath", "BM_PlainAppsinkFramePath");
    if (path.ratio > 0) {
        const bool within = path.ratio <= kFramePathRatioLimit;
        met = met && within;
        std::printf("frame path, appsink to callback, CPU per frame: library %.1f us, plain appsink program %.1f us: "
                    "ratio %.2f (at most %.2f)%s; least disturbed runs %.2f\n",
                    path.first, path.second, path.ratio, kFramePathRatioLimit, within ? "" : " EXCEEDED",
                    path.leastRatio);
        const double dropped = reporter.total("BM_LibraryFramePath", "dropped");
        if (dropped > 0)
            std::printf("  the library dropped %.0f of the frames measured: its main thread fell behind\n", dropped);
    }
    if (reporter.ran("BM_LibraryFramePath")) {
        const double copies = reporter.total("BM_LibraryFramePath", "copies");
        met = met && copies == 0;
        std::printf("copies between the appsink's buffer and the callback: %.0f (%.0f frames checked)\n", copies,
                    reporter.total("BM_LibraryFramePath", "checked"));
    }
    for (const auto& [camera, suffix] : {std::pair{&kYuyvCamera, "Yuyv"}, std::pair{&kMjpegCamera, "Mjpeg"}}) {
        const Comparison conversion = compare(reporter, std::string("BM_LibraryConvert") + suffix,
                                              std::string("BM_GstLaunchConvert") + suffix);
        if (conversion.ratio > 0)
            std::printf("conversion %s to 640x360 '2vuy', CPU per frame: library %.2f ms, gst-launch-1.0 %.2f ms: "
                        "ratio %.2f; least disturbed runs %.2f\n",
                        camera->name, conversion.first / 1000, conversion.second / 1000, conversion.ratio,
                        conversion.leastRatio);
    }
    if (reporter.ran("BM_LibraryLongStreamMemory")) {
        const double settled = reporter.median("BM_LibraryLongStreamMemory", "rss_settled_kb");
        const double end = reporter.median("BM_LibraryLongStreamMemory", "rss_end_kb");
        const double growth = end - settled;
        const bool flat = growth < kRssGrowthLimitKb;
        met = met && flat;
        std::printf("resident memory, 640x360 UYVY frames delivered: %.1f MB after %llu, %.1f MB after %llu: "
                    "growth %.0f kB (flat: under %ld kB)%s\n",
                    settled / 1024, static_cast<unsigned long long>(kMemorySettledAt), end / 1024,
                    static_cast<unsigned long long>(kMemoryFrames), growth, kRssGrowthLimitKb, flat ? "" : " GREW");
        std::printf("  the source made %.0f more frames, dropped as late while the main thread was busy\n",
                    reporter.total("BM_LibraryLongStreamMemory", "dropped"));
    }
    return met;
}

}  // namespace

// In a Qt application (the session delivers frames through the main thread's loop). Exits
// with 1 when the frame path costs more than kFramePathRatioLimit times the plain program,
// copies a frame, or memory grows over the long stream.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (!ensureGstInitialized()) {
        std::fprintf(stderr, "GStreamer does not start\n");
        return 1;
    }
    if (!initializeInterleavedBenchmarks(argc, argv))
        return 1;
    VerdictReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return printVerdicts(reporter) ? 0 : 1;
}
