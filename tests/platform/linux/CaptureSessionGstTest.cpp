// GStreamer capture sessions on test sources: frames on the main thread, in place and 640 by 360
// '2vuy' whatever the camera offers, late frames dropped, clean stops, restarts and failures.
// GLib names struct members `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "platform/linux/CaptureSessionGst.h"

#include "platform/linux/PixelBufferGst.h"
#include "platform/linux/VideoDataOutputGst.h"
#include "support/CategoryMessages.h"
#include "support/EmulatedUsb.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gst/gst.h>
#include <gst/video/video.h>

#include <gtest/gtest.h>

#include <set>
#include <thread>

using namespace uvccam::platform;
using uvccam::testing::CategoryMessages;
using uvccam::testing::waitFor;

namespace {

// Cameras as test sources, each offering exactly one mode. pattern=white is one colour in
// every layout, so converted frames can be checked byte for byte.
// (A launch description links through bare caps only between two elements; a source that
// ends in caps names its capsfilter.)
const QString kUyvy640x360 = QStringLiteral(
    "videotestsrc is-live=true pattern=white ! "
    "capsfilter caps=video/x-raw,format=UYVY,width=640,height=360,framerate=30/1");
const QString kYuyv1280x720 = QStringLiteral(
    "videotestsrc is-live=true pattern=white ! "
    "capsfilter caps=video/x-raw,format=YUY2,width=1280,height=720,framerate=30/1");
const QString kMjpeg1280x720 = QStringLiteral(
    "videotestsrc is-live=true pattern=white ! video/x-raw,width=1280,height=720,framerate=30/1 ! jpegenc ! "
    "capsfilter caps=image/jpeg,width=1280,height=720,framerate=30/1");

constexpr GstClockTime kFrameDuration = GST_SECOND / 30;

// White in '2vuy': U Y V Y = 128 235 128 235; JPEG may be off by a little.
bool whiteUyvy(const std::uint8_t* pixels, std::size_t bytes)
{
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        if (std::abs(pixels[i] - 128) > 3 || std::abs(pixels[i + 1] - 235) > 3)
            return false;
    }
    return bytes > 0;
}

// What the delegate saw of each frame, read while it held the buffer locked.
struct SeenFrame {
    std::size_t width = 0;
    std::size_t height = 0;
    std::size_t bytesPerRow = 0;
    bool onMainThread = false;
    bool mappedInPlace = false;
    GstBuffer* buffer = nullptr;  // identity only; the frame may be gone
    GstClockTime pts = GST_CLOCK_TIME_NONE;
    bool allWhiteUyvy = false;
};

class FrameRecorder : public SampleBufferDelegate {
public:
    void captureOutput(VideoDataOutput&, const PixelBufferPtr& frame) override
    {
        SeenFrame seen;
        frame->lockBaseAddress();
        const std::uint8_t* base = frame->baseAddress();
        seen.width = frame->width();
        seen.height = frame->height();
        seen.bytesPerRow = frame->bytesPerRow();
        seen.onMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        if (auto* gstFrame = dynamic_cast<PixelBufferGst*>(frame.get())) {
            seen.buffer = gstFrame->buffer();
            seen.pts = GST_BUFFER_PTS(seen.buffer);
            // The very memory of the appsink's buffer, not a copy of it.
            GstMapInfo map;
            if (gst_buffer_map(seen.buffer, &map, GST_MAP_READ)) {
                seen.mappedInPlace = base && base >= map.data && base < map.data + map.size
                    && seen.bytesPerRow * seen.height <= map.size;
                gst_buffer_unmap(seen.buffer, &map);
            }
        }
        // The first, middle and last rows.
        seen.allWhiteUyvy = base;
        for (const std::size_t row : {std::size_t{0}, seen.height / 2, seen.height - 1})
            seen.allWhiteUyvy = seen.allWhiteUyvy && whiteUyvy(base + row * seen.bytesPerRow, seen.width * 2);
        frame->unlockBaseAddress();
        lockedAddressAfterUnlock = frame->baseAddress();
        frames.push_back(seen);
        if (onFrame)
            onFrame();
    }

    std::vector<SeenFrame> frames;
    std::uint8_t* lockedAddressAfterUnlock = nullptr;
    std::function<void()> onFrame;
};

// The names of the factories of the pipeline's own elements (the source bin counts as "bin").
std::set<std::string> elementFactories(GstElement* pipeline)
{
    std::set<std::string> names;
    GstIterator* it = gst_bin_iterate_elements(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        GstElementFactory* factory = gst_element_get_factory(element);
        names.insert(factory ? GST_OBJECT_NAME(factory) : "bin");
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return names;
}

// Whether the caps negotiated on an element's pad are `expected` (any fields beyond it aside).
::testing::AssertionResult negotiated(GstElement* pipeline, const char* element, const char* pad, const char* expected)
{
    GstElement* found = gst_bin_get_by_name(GST_BIN(pipeline), element);
    if (!found)
        return ::testing::AssertionFailure() << "no element " << element;
    GstPad* elementPad = gst_element_get_static_pad(found, pad);
    GstCaps* current = elementPad ? gst_pad_get_current_caps(elementPad) : nullptr;
    GstCaps* wanted = gst_caps_from_string(expected);
    gchar* text = current ? gst_caps_to_string(current) : g_strdup("(nothing negotiated)");
    const bool matches = current && gst_caps_is_subset(current, wanted);
    ::testing::AssertionResult result = matches ? ::testing::AssertionSuccess() : ::testing::AssertionFailure();
    result << element << "." << pad << " carries " << text;
    g_free(text);
    gst_caps_unref(wanted);
    if (current)
        gst_caps_unref(current);
    if (elementPad)
        gst_object_unref(elementPad);
    gst_object_unref(found);
    return result;
}

// Blocks the main thread (delegates do) until `done`, within a bound.
bool blockUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(5))
{
    QElapsedTimer elapsed;
    elapsed.start();
    while (!done() && elapsed.elapsed() < limit.count())
        std::this_thread::yield();
    return done();
}

class CaptureSessionGstTest : public ::testing::Test {
protected:
    // A session on `source` with one output asking for the library's frames.
    std::shared_ptr<CaptureSessionGst> makeSession(const QString& source)
    {
        auto session = std::make_shared<CaptureSessionGst>(CaptureSessionGst::describedSource(source));
        output = outputFor(recorder);
        output->setAlwaysDiscardsLateVideoFrames(true);
        session->addOutput(output);
        return session;
    }
    static std::shared_ptr<VideoDataOutputGst> outputFor(const std::shared_ptr<FrameRecorder>& delegate,
                                                         int width = 640, int height = 360)
    {
        auto made = std::make_shared<VideoDataOutputGst>();
        made->setVideoSettings(VideoSettings{width, height, kPixelFormat2vuy});
        made->setSampleBufferDelegate(delegate);
        return made;
    }

    bool waitForFrames(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10))
    {
        return waitFor([&] { return recorder->frames.size() >= count; }, limit);
    }

    std::shared_ptr<FrameRecorder> recorder = std::make_shared<FrameRecorder>();
    std::shared_ptr<VideoDataOutputGst> output;
};

// Whatever the camera offers, the delegate gets 640 by 360 '2vuy' frames on the main thread,
// in the appsink's own memory, through only the converters needed; the first row also
// times the camera's rate.
TEST_F(CaptureSessionGstTest, WhateverTheCameraOffersBecomes640x360UyvyOnTheMainThreadInPlace)
{
    const struct {
        const char* camera;
        QString source;
        std::set<std::string> converters;
        const char* cameraCaps;
    } rows[] = {
        {"UYVY 640x360", kUyvy640x360, {}, "video/x-raw,format=UYVY,width=640,height=360,framerate=30/1"},
        {"YUYV 1280x720", kYuyv1280x720, {"videoscale", "videoconvert"},
         "video/x-raw,format=YUY2,width=1280,height=720,framerate=30/1"},
        {"MJPEG 1280x720", kMjpeg1280x720, {"jpegdec", "videoscale", "videoconvert"},
         "image/jpeg,width=1280,height=720,framerate=30/1"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.camera);
        recorder->frames.clear();
        auto session = makeSession(row.source);
        session->startRunning();
        ASSERT_TRUE(session->isRunning());
        ASSERT_TRUE(waitForFrames(3));

        // The camera's rate reaching the host is timed end to end by the library's v4l2src tests.
        EXPECT_EQ(recorder->lockedAddressAfterUnlock, nullptr) << "no address once unlocked";
        EXPECT_EQ(session->framesDelivered(), recorder->frames.size());
        std::set<std::string> expected = {"bin", "capsfilter", "appsink"};
        expected.insert(row.converters.begin(), row.converters.end());
        EXPECT_EQ(elementFactories(session->pipeline()), expected);
        EXPECT_TRUE(negotiated(session->pipeline(), "camera-caps", "src", row.cameraCaps));
        EXPECT_TRUE(negotiated(session->pipeline(), "frames", "sink", "video/x-raw,format=UYVY,width=640,height=360"));
        for (const SeenFrame& frame : recorder->frames) {
            EXPECT_TRUE(frame.onMainThread);
            EXPECT_EQ(frame.width, 640u);
            EXPECT_EQ(frame.height, 360u);
            EXPECT_GE(frame.bytesPerRow, 1280u);
            EXPECT_TRUE(frame.allWhiteUyvy) << "white stays white, in U Y V Y order";
            EXPECT_TRUE(frame.mappedInPlace) << "the pointer is into the memory of the appsink's own buffer";
        }
        session->stopRunning();
    }
}

TEST_F(CaptureSessionGstTest, ASlowDelegateMakesFramesDropWithAtMostOneWaiting)
{
    auto session = makeSession(kUyvy640x360);
    bool blocked = false;
    recorder->onFrame = [&] {
        if (blocked)
            return;
        blocked = true;
        // Busy for several of the camera's frame intervals: four frames come and go.
        const std::uint64_t before = session->framesDropped();
        EXPECT_TRUE(blockUntil([&] { return session->framesDropped() >= before + 4; }));
        EXPECT_TRUE(session->frameWaiting());
    };
    session->startRunning();
    ASSERT_TRUE(waitForFrames(2));
    EXPECT_GE(session->framesDropped(), 4u);
    // The second frame delivered is the newest, not the one after the first.
    const GstClockTime gap = recorder->frames[1].pts - recorder->frames[0].pts;
    EXPECT_GE(gap, 4 * kFrameDuration) << "frames were queued instead of dropped";
    EXPECT_TRUE(recorder->frames[1].allWhiteUyvy);
}

TEST_F(CaptureSessionGstTest, StopEndsDeliveryAtOnceAndARestartDeliversAgain)
{
    auto session = makeSession(kUyvy640x360);
    session->startRunning();
    ASSERT_TRUE(waitForFrames(2));

    // A frame is waiting for the main thread when the host stops: it is dropped.
    ASSERT_TRUE(blockUntil([&] { return session->frameWaiting(); }));
    const std::uint64_t droppedBefore = session->framesDropped();
    session->stopRunning();
    EXPECT_FALSE(session->isRunning());
    EXPECT_EQ(session->pipeline(), nullptr);
    EXPECT_FALSE(session->frameWaiting());
    EXPECT_GE(session->framesDropped(), droppedBefore + 1) << "the waiting frame counts as dropped";
    const std::size_t seen = recorder->frames.size();
    EXPECT_FALSE(waitFor([&] { return recorder->frames.size() > seen; }, std::chrono::milliseconds(300)));

    session->startRunning();
    EXPECT_TRUE(session->isRunning());
    ASSERT_TRUE(waitForFrames(seen + 3));

    // A delegate stopping the session from inside a frame hears of no further frame.
    recorder->onFrame = [&] { session->stopRunning(); };
    ASSERT_TRUE(waitForFrames(seen + 4));
    EXPECT_FALSE(session->isRunning());
    EXPECT_FALSE(waitFor([&] { return recorder->frames.size() > seen + 4; }, std::chrono::milliseconds(300)));
}

TEST_F(CaptureSessionGstTest, DelegatesAreHeldWeaklyAndSilencedOutputsHearNothing)
{
    auto session = makeSession(kUyvy640x360);
    // As the library resets its resolution: the old output stays, silenced, and a new one
    // with the same settings joins while the session runs.
    session->startRunning();
    ASSERT_TRUE(waitForFrames(1));
    auto second = std::make_shared<FrameRecorder>();
    output->setSampleBufferDelegate({});
    GstElement* before = session->pipeline();
    session->addOutput(outputFor(second));
    EXPECT_EQ(session->pipeline(), before) << "same frames wanted: the pipeline goes on";
    const std::size_t firstCount = recorder->frames.size();
    ASSERT_TRUE(waitFor([&] { return second->frames.size() >= 3; }));
    EXPECT_EQ(recorder->frames.size(), firstCount);

    // The delegate goes away while frames still come: they are dropped.
    const std::uint64_t delivered = session->framesDelivered();
    second.reset();
    const std::uint64_t dropped = session->framesDropped();
    EXPECT_TRUE(waitFor([&] { return session->framesDropped() >= dropped + 3; }));
    EXPECT_EQ(session->framesDelivered(), delivered);
    EXPECT_TRUE(session->isRunning());
}

TEST_F(CaptureSessionGstTest, AnOutputAskingForOtherFramesRebuildsThePipeline)
{
    auto session = makeSession(kYuyv1280x720);
    session->startRunning();
    ASSERT_TRUE(waitForFrames(1));
    auto wide = std::make_shared<FrameRecorder>();
    session->addOutput(outputFor(wide, 1280, 720));
    ASSERT_TRUE(waitFor([&] { return wide->frames.size() >= 2; }));
    EXPECT_EQ(wide->frames.back().width, 1280u);
    EXPECT_EQ(wide->frames.back().height, 720u);
    EXPECT_EQ(elementFactories(session->pipeline()), (std::set<std::string>{"bin", "capsfilter", "appsink", "videoconvert"}));
}

TEST_F(CaptureSessionGstTest, ABusErrorEndsTheSessionWithOneLogLine)
{
    const CategoryMessages log("uvccam.linux.video");
    auto session = makeSession(kUyvy640x360);
    session->startRunning();
    ASSERT_TRUE(waitForFrames(1));

    // As v4l2src does when its node vanishes, from the streaming thread, more than once.
    GstElement* camera = gst_bin_get_by_name(GST_BIN(session->pipeline()), "camera");
    std::thread streaming([camera] {
        for (int i = 0; i < 3; ++i) {
            GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ, "Could not read from resource.");
            gst_element_post_message(camera, gst_message_new_error(GST_OBJECT(camera), error,
                                                                     "gst_v4l2_do_read ():\nsystem error: No such device"));
            g_error_free(error);
        }
    });
    streaming.join();
    gst_object_unref(camera);

    ASSERT_TRUE(waitFor([&] { return !session->isRunning(); }));
    EXPECT_EQ(session->pipeline(), nullptr);
    const std::size_t seen = recorder->frames.size();
    EXPECT_FALSE(waitFor([&] { return recorder->frames.size() > seen || log.warnings().size() > 1; },
                         std::chrono::milliseconds(300)));
    const QStringList lines = log.warnings();
    ASSERT_EQ(lines.size(), 1) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines[0].contains(QLatin1String("Could not read from resource"))) << lines[0].toStdString();
    EXPECT_FALSE(lines[0].contains(QLatin1Char('\n'))) << "one line, GStreamer's details included";

    // The host may start again.
    session->startRunning();
    EXPECT_TRUE(session->isRunning());
    EXPECT_TRUE(waitForFrames(seen + 1));
}

TEST_F(CaptureSessionGstTest, ACameraThatCannotOpenDoesNotRunAndSaysSoOnce)
{
    const CategoryMessages log("uvccam.linux.video");
    int started = 0;
    auto session = std::make_shared<CaptureSessionGst>(
        CaptureSessionGst::describedSource(QStringLiteral("v4l2src device=/dev/no-such-camera")),
        [&](const CaptureSessionGst&) { ++started; });
    session->addOutput(std::make_shared<VideoDataOutputGst>());
    session->startRunning();
    EXPECT_FALSE(session->isRunning());
    EXPECT_EQ(session->pipeline(), nullptr);
    EXPECT_EQ(started, 0);
    const QStringList lines = log.warnings();
    ASSERT_EQ(lines.size(), 1) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines[0].contains(QLatin1String("/dev/no-such-camera"))) << lines[0].toStdString();
}

// Caps as v4l2src and test sources state them, turned into the modes the choice reads.
TEST(CameraModesFromCaps, FixedListedAndRangedFieldsBecomeConcreteModes)
{
    const FrameTarget target{"UYVY", 640, 360};
    const struct {
        const char* caps;
        std::vector<CameraMode> modes;
    } rows[] = {
        {"video/x-raw,format=YUY2,width=1280,height=720,framerate={ (fraction)10/1, (fraction)5/1 }",
         {{CameraMode::Encoding::Raw, "YUY2", 1280, 720, 10, 1}}},
        {"image/jpeg,width=1920,height=1080,framerate=30/1; video/x-raw(memory:DMABuf),format=NV12,width=640,height=360",
         {{CameraMode::Encoding::Jpeg, "", 1920, 1080, 30, 1}}},
        {"video/x-raw,format={UYVY,NV12},width=[1,4096],height=[1,2160],framerate=[0/1,2147483647/1]",
         {{CameraMode::Encoding::Raw, "UYVY", 640, 360, 30, 1}, {CameraMode::Encoding::Raw, "NV12", 640, 360, 30, 1}}},
        {"video/x-raw,format=YUY2,width=[800,1600,16],height=[600,1200,8],framerate=[5/1,15/1]",
         {{CameraMode::Encoding::Raw, "YUY2", 800, 600, 15, 1}}},
        {"video/x-h264,width=640,height=360,framerate=30/1; video/x-raw,format=GRAY8,width=640,height=360",
         {{CameraMode::Encoding::Raw, "GRAY8", 640, 360, 0, 1}}},
    };
    ASSERT_TRUE(gst_init_check(nullptr, nullptr, nullptr));
    for (const auto& row : rows) {
        GstCaps* caps = gst_caps_from_string(row.caps);
        ASSERT_NE(caps, nullptr) << row.caps;
        EXPECT_EQ(cameraModesFromCaps(caps, target), row.modes) << row.caps;
        gst_caps_unref(caps);
    }
}

// A frame's rows as the buffer lays them out: the caps' stride, a driver's padded rows
// through its video meta, and no pixels at all for a buffer shorter than its caps say, so
// that no reader of every row runs past its end.
TEST(PixelBufferGst, RowsFollowTheBuffersLayoutAndAShortBufferGivesNoPixels)
{
    ASSERT_TRUE(gst_init_check(nullptr, nullptr, nullptr));
    const struct {
        const char* name;
        gsize bytes;
        gint paddedStride;  // 0: rows as the caps say
        std::size_t bytesPerRow;
        bool pixels;
    } rows[] = {
        {"whole frame", 1280 * 360, 0, 1280, true},
        {"padded rows", 1344 * 360, 1344, 1344, true},
        {"one row short", 1280 * 359, 0, 1280, false},
        {"padded rows, caps' length only", 1280 * 360, 1344, 1344, false},
    };
    for (const auto& row : rows) {
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, row.bytes, nullptr);
        if (row.paddedStride) {
            gsize offset[GST_VIDEO_MAX_PLANES] = {0};
            gint stride[GST_VIDEO_MAX_PLANES] = {row.paddedStride};
            gst_buffer_add_video_meta_full(buffer, GST_VIDEO_FRAME_FLAG_NONE, GST_VIDEO_FORMAT_UYVY, 640, 360, 1,
                                           offset, stride);
        }
        GstCaps* caps = gst_caps_from_string("video/x-raw,format=UYVY,width=640,height=360");
        PixelBufferGst frame(gst_sample_new(buffer, caps, nullptr, nullptr));
        gst_buffer_unref(buffer);
        gst_caps_unref(caps);
        EXPECT_EQ(frame.width(), 640u) << row.name;
        EXPECT_EQ(frame.bytesPerRow(), row.bytesPerRow) << row.name;
        EXPECT_EQ(frame.baseAddress(), nullptr) << row.name << ": unlocked";
        frame.lockBaseAddress();
        EXPECT_EQ(frame.baseAddress() != nullptr, row.pixels) << row.name;
        frame.unlockBaseAddress();
        EXPECT_EQ(frame.baseAddress(), nullptr) << row.name;
    }
    PixelBufferGst noCaps(gst_sample_new(nullptr, nullptr, nullptr, nullptr));
    noCaps.lockBaseAddress();
    EXPECT_EQ(noCaps.baseAddress(), nullptr);
    EXPECT_EQ(noCaps.width(), 0u);
    noCaps.unlockBaseAddress();
}

}  // namespace
