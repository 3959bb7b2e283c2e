// Capture sessions on GStreamer: mode choice, the pipeline, the frame mailbox and the bus, on the Qt main thread.
// GLib names struct members `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "platform/linux/CaptureSessionGst.h"

#include "platform/linux/AudioFileOutputGst.h"
#include "platform/linux/AudioRecorderGst.h"
#include "platform/linux/CaptureServiceV4l2.h"
#include "platform/linux/GstBusReader.h"
#include "platform/linux/GstInit.h"
#include "platform/linux/PixelBufferGst.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QObject>
#include <QTimer>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <iterator>

Q_LOGGING_CATEGORY(lcVideo, "uvccam.linux.video", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSound, "uvccam.linux.audio", QtInfoMsg)

namespace uvccam::platform {

// Receives the streaming thread's requests to empty the mailbox, on the main thread. It
// outlives its session when the session is destroyed by a delegate during a delivery.
class FrameRelay : public QObject {
public:
    CaptureSessionGst* session = nullptr;
};

namespace {

constexpr int kDefaultWidth = 640;
constexpr int kDefaultHeight = 360;
// The rate asked of a source that takes any: what cameras customarily deliver.
constexpr int kAnyRateFps = 30;

const char* kRawVideo = "video/x-raw";
const char* kJpeg = "image/jpeg";

std::vector<int> dimensionCandidates(const GValue* value, int wanted)
{
    if (!value)
        return {};
    if (G_VALUE_HOLDS_INT(value))
        return {g_value_get_int(value)};
    if (GST_VALUE_HOLDS_INT_RANGE(value)) {
        const int low = gst_value_get_int_range_min(value);
        const int high = gst_value_get_int_range_max(value);
        const int step = std::max(1, gst_value_get_int_range_step(value));
        int chosen = std::clamp(wanted, low, high);
        // Onto the range's grid, upwards while that stays inside.
        const int offset = (chosen - low) % step;
        if (offset != 0)
            chosen = chosen - offset + step <= high ? chosen - offset + step : chosen - offset;
        return {chosen};
    }
    if (GST_VALUE_HOLDS_LIST(value)) {
        std::vector<int> all;
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const std::vector<int> inner = dimensionCandidates(gst_value_list_get_value(value, i), wanted);
            all.insert(all.end(), inner.begin(), inner.end());
        }
        return all;
    }
    return {};
}

struct Rate {
    int numerator = 0;
    int denominator = 1;
};

bool faster(const Rate& a, const Rate& b)
{
    return static_cast<gint64>(a.numerator) * b.denominator > static_cast<gint64>(b.numerator) * a.denominator;
}

Rate rateOf(const GValue* value)
{
    if (!value)
        return {};
    if (GST_VALUE_HOLDS_FRACTION(value)) {
        const int denominator = gst_value_get_fraction_denominator(value);
        return denominator > 0 ? Rate{gst_value_get_fraction_numerator(value), denominator} : Rate{};
    }
    if (GST_VALUE_HOLDS_LIST(value)) {
        Rate best;
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const Rate rate = rateOf(gst_value_list_get_value(value, i));
            if (faster(rate, best))
                best = rate;
        }
        return best;
    }
    if (GST_VALUE_HOLDS_FRACTION_RANGE(value)) {
        const Rate low = rateOf(gst_value_get_fraction_range_min(value));
        const Rate high = rateOf(gst_value_get_fraction_range_max(value));
        const Rate customary{kAnyRateFps, 1};
        if (faster(customary, high))
            return high;
        return faster(low, customary) ? low : customary;
    }
    return {};
}

std::vector<std::string> rawFormats(const GValue* value)
{
    if (!value)
        return {};
    if (G_VALUE_HOLDS_STRING(value))
        return {g_value_get_string(value)};
    std::vector<std::string> all;
    if (GST_VALUE_HOLDS_LIST(value)) {
        for (guint i = 0; i < gst_value_list_get_size(value); ++i) {
            const std::vector<std::string> inner = rawFormats(gst_value_list_get_value(value, i));
            all.insert(all.end(), inner.begin(), inner.end());
        }
    }
    return all;
}

GstCaps* capsForMode(const CameraMode& mode)
{
    GstCaps* caps = mode.encoding == CameraMode::Encoding::Jpeg
        ? gst_caps_new_simple(kJpeg, "width", G_TYPE_INT, mode.width, "height", G_TYPE_INT, mode.height, nullptr)
        : gst_caps_new_simple(kRawVideo, "format", G_TYPE_STRING, mode.format.c_str(), "width", G_TYPE_INT,
                              mode.width, "height", G_TYPE_INT, mode.height, nullptr);
    if (mode.framerateNumerator > 0)
        gst_caps_set_simple(caps, "framerate", GST_TYPE_FRACTION, mode.framerateNumerator, mode.framerateDenominator,
                            nullptr);
    return caps;
}

GstCaps* capsForTarget(const FrameTarget& target)
{
    return gst_caps_new_simple(kRawVideo, "format", G_TYPE_STRING, target.format.c_str(), "width", G_TYPE_INT,
                               target.width, "height", G_TYPE_INT, target.height, nullptr);
}

QString capsText(const GstCaps* caps)
{
    gchar* text = gst_caps_to_string(caps);
    const QString result = QString::fromUtf8(text);
    g_free(text);
    return result;
}

GstElement* makeElement(const char* factory, const char* name)
{
    GstElement* element = gst_element_factory_make(factory, name);
    if (!element)
        qCWarning(lcVideo, "GStreamer has no %s element; install the plugin that provides it", factory);
    return element;
}

QString cameraName(const CaptureDevicePtr& camera)
{
    return camera ? camera->localizedName() : QStringLiteral("the session's source");
}

}  // namespace

std::vector<CameraMode> cameraModesFromCaps(const GstCaps* caps, const FrameTarget& target)
{
    std::vector<CameraMode> modes;
    if (!caps || gst_caps_is_any(caps))
        return modes;
    for (guint i = 0; i < gst_caps_get_size(caps); ++i) {
        const GstStructure* structure = gst_caps_get_structure(caps, i);
        GstCapsFeatures* features = gst_caps_get_features(caps, i);
        if (features && !gst_caps_features_is_any(features)
            && !gst_caps_features_contains(features, GST_CAPS_FEATURE_MEMORY_SYSTEM_MEMORY))
            continue;
        CameraMode mode;
        std::vector<std::string> formats;
        if (gst_structure_has_name(structure, kRawVideo)) {
            formats = rawFormats(gst_structure_get_value(structure, "format"));
        } else if (gst_structure_has_name(structure, kJpeg)) {
            mode.encoding = CameraMode::Encoding::Jpeg;
            formats = {std::string()};
        } else {
            continue;
        }
        const Rate rate = rateOf(gst_structure_get_value(structure, "framerate"));
        mode.framerateNumerator = rate.numerator;
        mode.framerateDenominator = rate.denominator;
        for (const int width : dimensionCandidates(gst_structure_get_value(structure, "width"), target.width)) {
            for (const int height : dimensionCandidates(gst_structure_get_value(structure, "height"), target.height)) {
                for (const std::string& format : formats) {
                    mode.format = format;
                    mode.width = width;
                    mode.height = height;
                    modes.push_back(mode);
                }
            }
        }
    }
    return modes;
}

FrameTarget frameTargetFor(const VideoSettings& settings)
{
    FrameTarget target;
    if (settings.pixelFormat != 0 && settings.pixelFormat != kPixelFormat2vuy)
        qCWarning(lcVideo, "pixel format 0x%08x is not produced; frames come as '2vuy'", settings.pixelFormat);
    target.format = "UYVY";
    target.width = settings.width > 0 ? settings.width : kDefaultWidth;
    target.height = settings.height > 0 ? settings.height : kDefaultHeight;
    return target;
}

CaptureSessionGst::SourceFactory CaptureSessionGst::captureNodeSource()
{
    return [](const CaptureDevicePtr& camera) -> GstElement* {
        const auto node = std::dynamic_pointer_cast<CaptureDeviceV4l2>(camera);
        if (!node || node->devnode().isEmpty() || !ensureGstInitialized())
            return nullptr;
        GstElement* source = makeElement("v4l2src", nullptr);
        if (source)
            g_object_set(source, "device", node->devnode().toLocal8Bit().constData(), nullptr);
        return source;
    };
}

CaptureSessionGst::SourceFactory CaptureSessionGst::describedSource(const QString& launchDescription)
{
    return [description = launchDescription.toUtf8()](const CaptureDevicePtr&) -> GstElement* {
        if (!ensureGstInitialized())
            return nullptr;
        GError* error = nullptr;
        GstElement* bin = gst_parse_bin_from_description(description.constData(), TRUE, &error);
        if (error) {
            qCWarning(lcVideo, "cannot build the source \"%s\": %s", description.constData(), error->message);
            g_clear_error(&error);
            if (bin)
                gst_object_unref(gst_object_ref_sink(bin));
            return nullptr;
        }
        return bin;
    };
}

CaptureSessionGst::CaptureSessionGst(SourceFactory makeSource, StartAnnouncer announceStart,
                                     MicrophoneSourceFactory makeMicrophoneSource)
    : makeSource_(std::move(makeSource)),
      announceStart_(std::move(announceStart)),
      makeMicrophoneSource_(std::move(makeMicrophoneSource)),
      relay_(new FrameRelay)
{
    relay_->session = this;
    // Deliveries run where the library lives: the application's main thread.
    if (QCoreApplication* application = QCoreApplication::instance())
        relay_->moveToThread(application->thread());
}

CaptureSessionGst::~CaptureSessionGst()
{
    stopMicrophone();
    tearDown();
    relay_->session = nullptr;
    // Destroyed by a delegate in the middle of a delivery: the delivery still holds the
    // relay to learn that the session has gone.
    if (delivering_)
        relay_->deleteLater();
    else
        delete relay_;
}

bool CaptureSessionGst::canAddInput(const CaptureDeviceInputPtr& input) const
{
    if (!input || !input->device() || !input->device()->isConnected())
        return false;
    const CaptureDevicePtr& device = input->device();
    if (device->hasMediaType(MediaType::Video))
        return !camera();
    return device->hasMediaType(MediaType::Audio) && !microphone();
}

void CaptureSessionGst::addInput(const CaptureDeviceInputPtr& input)
{
    if (canAddInput(input))
        inputs_.push_back(input);
}

CaptureDevicePtr CaptureSessionGst::camera() const
{
    for (const auto& input : inputs_) {
        if (input->device()->hasMediaType(MediaType::Video))
            return input->device();
    }
    return nullptr;
}

CaptureDevicePtr CaptureSessionGst::microphone() const
{
    for (const auto& input : inputs_) {
        if (input->device()->hasMediaType(MediaType::Audio))
            return input->device();
    }
    return nullptr;
}

void CaptureSessionGst::addOutput(const VideoDataOutputPtr& output)
{
    if (!output || std::find(outputs_.begin(), outputs_.end(), output) != outputs_.end())
        return;
    outputs_.push_back(output);
    if (!pipeline_)
        return;
    const FrameTarget wanted = wantedFrames();
    if (wanted.format == activeTarget_.format && wanted.width == activeTarget_.width
        && wanted.height == activeTarget_.height)
        return;
    qCDebug(lcVideo) << "an output asks for other frames; rebuilding the pipeline";
    tearDown();
    if (!buildAndPlay())
        running_ = false;
}

void CaptureSessionGst::removeOutput(const VideoDataOutputPtr& output)
{
    outputs_.erase(std::remove(outputs_.begin(), outputs_.end(), output), outputs_.end());
}

bool CaptureSessionGst::canAddOutput(const AudioFileOutputPtr& output) const
{
    const auto ours = std::dynamic_pointer_cast<AudioFileOutputGst>(output);
    return ours && !ours->inSession();
}

void CaptureSessionGst::addOutput(const AudioFileOutputPtr& output)
{
    if (!canAddOutput(output))
        return;
    auto ours = std::dynamic_pointer_cast<AudioFileOutputGst>(output);
    ours->joinSession();
    fileOutputs_.push_back(ours);
    if (recorder_)
        ours->setRecorder(recorder_.get());
}

FrameTarget CaptureSessionGst::wantedFrames() const
{
    return frameTargetFor(outputs_.empty() ? VideoSettings{} : outputs_.back()->videoSettings());
}

void CaptureSessionGst::startRunning()
{
    if (running_)
        return;
    // A microphone alone needs no frames.
    if ((camera() || !microphone()) && !buildAndPlay())
        return;
    if (microphone() && !startMicrophone()) {
        tearDown();
        return;
    }
    running_ = true;
    for (const auto& output : fileOutputs_)
        output->setRecorder(recorder_.get());
    if (announceStart_)
        announceStart_(*this);
}

void CaptureSessionGst::stopRunning()
{
    running_ = false;
    stopMicrophone();
    tearDown();
}

bool CaptureSessionGst::startMicrophone()
{
    const CaptureDevicePtr device = microphone();
    GstElement* source = makeMicrophoneSource_ ? makeMicrophoneSource_(device) : nullptr;
    if (!source) {
        qCWarning(lcSound, "cannot record from %s: GStreamer has no source for it", qUtf8Printable(cameraName(device)));
        return false;
    }
    recorder_ = std::make_unique<AudioRecorderGst>(
        source,
        // Told while the recorder reads its bus: it is ended on the next turn, not under itself.
        // A session stopped meanwhile (its generation moved on) has nothing left to end.
        [relay = relay_, generation = microphoneGeneration_](const QString&) {
            QTimer::singleShot(0, relay, [relay, generation] {
                if (relay->session && relay->session->microphoneGeneration_ == generation)
                    relay->session->microphoneFailed();
            });
        },
        [this](const QString& reason) {
            for (const auto& output : fileOutputs_)
                output->fileFailed(reason);
        });
    QString error;
    if (!recorder_->start(&error)) {
        qCWarning(lcSound, "cannot record from %s: %s", qUtf8Printable(cameraName(device)), qUtf8Printable(error));
        recorder_.reset();
        return false;
    }
    return true;
}

void CaptureSessionGst::stopMicrophone()
{
    if (!recorder_)
        return;
    ++microphoneGeneration_;
    // Each output ends its file completely before the microphone goes.
    for (const auto& output : fileOutputs_)
        output->setRecorder(nullptr);
    recorder_->stop();
    recorder_.reset();
}

void CaptureSessionGst::microphoneFailed()
{
    running_ = false;
    stopMicrophone();
    tearDown();
}

void CaptureSessionGst::microphoneLeft(const CaptureDevicePtr& device)
{
    if (!recorder_ || !device || microphone() != device)
        return;
    qCWarning(lcSound, "%s left while recording; its capture session ends", qUtf8Printable(device->localizedName()));
    microphoneFailed();
}

void CaptureSessionGst::cameraLeft(const CaptureDevicePtr& device)
{
    if (!pipeline_ || !device || camera() != device)
        return;
    qCWarning(lcVideo, "%s left while streaming; its capture session ends", qUtf8Printable(device->localizedName()));
    running_ = false;
    tearDown();
}

void CaptureSessionGst::failStart(const QString& reason)
{
    // The bus usually knows better than the state change's bare failure.
    QString text = reason;
    if (bus_) {
        if (GstMessage* error = gst_bus_pop_filtered(bus_, GST_MESSAGE_ERROR)) {
            text += QStringLiteral(": ") + describeGstError(error);
            gst_message_unref(error);
        }
    }
    qCWarning(lcVideo, "cannot capture from %s: %s", qUtf8Printable(cameraName(camera())), qUtf8Printable(text));
    tearDown();
}

bool CaptureSessionGst::buildAndPlay()
{
    if (!ensureGstInitialized()) {
        qCWarning(lcVideo, "GStreamer cannot start; no video is captured");
        return false;
    }
    const CaptureDevicePtr device = camera();
    GstElement* source = makeSource_ ? makeSource_(device) : nullptr;
    if (!source) {
        if (!device)
            return true;  // nothing to capture from: the session runs empty
        qCWarning(lcVideo, "cannot make a source for %s", qUtf8Printable(device->localizedName()));
        return false;
    }
    const FrameTarget target = wantedFrames();

    pipeline_ = gst_pipeline_new("uvccam-capture");
    bus_ = gst_element_get_bus(pipeline_);
    gst_object_set_name(GST_OBJECT(source), "camera");
    gst_bin_add(GST_BIN(pipeline_), source);

    // In READY the source has opened the camera and can say what it offers.
    if (gst_element_set_state(pipeline_, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
        failStart(QStringLiteral("the source does not open"));
        return false;
    }
    GstPad* sourcePad = gst_element_get_static_pad(source, "src");
    GstCaps* offered = sourcePad ? gst_pad_query_caps(sourcePad, nullptr) : nullptr;
    if (sourcePad)
        gst_object_unref(sourcePad);
    const std::optional<CameraMode> mode = chooseCameraMode(cameraModesFromCaps(offered, target), target);
    const QString offeredText = offered ? capsText(offered) : QString();
    if (offered)
        gst_caps_unref(offered);
    if (!mode) {
        failStart(QStringLiteral("it offers no video the session can convert (%1)").arg(offeredText));
        return false;
    }

    std::vector<GstElement*> chain;
    GstElement* cameraCaps = makeElement("capsfilter", "camera-caps");
    GstElement* sink = makeElement("appsink", "frames");
    bool complete = cameraCaps && sink;
    if (cameraCaps) {
        GstCaps* caps = capsForMode(*mode);
        g_object_set(cameraCaps, "caps", caps, nullptr);
        gst_caps_unref(caps);
        chain.push_back(cameraCaps);
    }
    if (!deliversTargetDirectly(*mode, target)) {
        const bool jpeg = mode->encoding == CameraMode::Encoding::Jpeg;
        if (jpeg)
            chain.push_back(makeElement("jpegdec", "decode"));
        // Scaling before converting handles fewer pixels when the camera's frames are larger.
        if (mode->width != target.width || mode->height != target.height)
            chain.push_back(makeElement("videoscale", "scale"));
        if (jpeg || mode->format != target.format)
            chain.push_back(makeElement("videoconvert", "convert"));
        GstElement* frameCaps = makeElement("capsfilter", "frame-caps");
        if (frameCaps) {
            GstCaps* caps = capsForTarget(target);
            g_object_set(frameCaps, "caps", caps, nullptr);
            gst_caps_unref(caps);
        }
        chain.push_back(frameCaps);
    }
    if (sink) {
        // One buffer at most inside the appsink, and none kept as "last sample": every
        // buffer held is one the camera's pool cannot refill.
        g_object_set(sink, "max-buffers", 1u, "drop", TRUE, "sync", FALSE, "emit-signals", FALSE,
                     "enable-last-sample", FALSE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = [](GstAppSink* appsink, gpointer session) {
            return static_cast<GstFlowReturn>(onNewSample(appsink, session));
        };
        gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks, this, nullptr);
        chain.push_back(sink);
    }
    for (GstElement* element : chain)
        complete = complete && element;
    if (!complete) {
        for (GstElement* element : chain) {
            if (element)
                gst_object_unref(gst_object_ref_sink(element));
        }
        failStart(QStringLiteral("an element is missing"));
        return false;
    }
    // All in the bin first, so a failed link leaves nothing outside it to free.
    for (GstElement* element : chain)
        gst_bin_add(GST_BIN(pipeline_), element);
    GstElement* previous = source;
    for (GstElement* element : chain) {
        if (!gst_element_link(previous, element)) {
            failStart(QStringLiteral("%1 does not link to %2")
                          .arg(QString::fromUtf8(GST_OBJECT_NAME(previous)), QString::fromUtf8(GST_OBJECT_NAME(element))));
            return false;
        }
        previous = element;
    }
    qCDebug(lcVideo) << "capturing from" << cameraName(device) << "in"
                     << (mode->encoding == CameraMode::Encoding::Jpeg ? "JPEG" : mode->format.c_str()) << mode->width
                     << "x" << mode->height << "at" << mode->framerateNumerator << "/" << mode->framerateDenominator
                     << (chain.size() == 2 ? "without conversion" : "converted");

    busReader_ = std::make_unique<GstBusReader>(bus_, [this] { readBus(); });

    activeTarget_ = target;
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        failStart(QStringLiteral("the pipeline does not play"));
        return false;
    }
    return true;
}

int CaptureSessionGst::onNewSample(GstAppSink* sink, void* data)
{
    auto* session = static_cast<CaptureSessionGst*>(data);
    GstSample* sample = gst_app_sink_pull_sample(sink);
    if (!sample)
        return GST_FLOW_OK;
    GstSample* replaced = nullptr;
    bool post = false;
    {
        std::lock_guard<std::mutex> lock(session->mailboxMutex_);
        replaced = session->waiting_;
        if (replaced)
            ++session->framesDropped_;
        session->waiting_ = sample;
        post = !session->deliveryPosted_;
        session->deliveryPosted_ = true;
    }
    if (replaced)
        gst_sample_unref(replaced);
    if (post) {
        FrameRelay* relay = session->relay_;
        QMetaObject::invokeMethod(
            relay,
            [relay] {
                if (relay->session)
                    relay->session->deliverWaitingFrame();
            },
            Qt::QueuedConnection);
    }
    return GST_FLOW_OK;
}

void CaptureSessionGst::deliverWaitingFrame()
{
    GstSample* sample = nullptr;
    {
        std::lock_guard<std::mutex> lock(mailboxMutex_);
        deliveryPosted_ = false;
        sample = waiting_;
        waiting_ = nullptr;
    }
    if (!sample)
        return;
    // A delegate may change the outputs, stop the session or destroy it while it runs.
    std::vector<VideoDataOutputPtr> receivers;
    if (running_ && pipeline_) {
        std::copy_if(outputs_.begin(), outputs_.end(), std::back_inserter(receivers),
                     [](const VideoDataOutputPtr& output) { return output->sampleBufferDelegate() != nullptr; });
    }
    if (receivers.empty()) {
        gst_sample_unref(sample);
        std::lock_guard<std::mutex> lock(mailboxMutex_);
        ++framesDropped_;
        return;
    }
    const auto frame = std::make_shared<PixelBufferGst>(sample);
    const std::uint64_t generation = generation_;
    FrameRelay* relay = relay_;
    for (const auto& output : receivers) {
        const auto delegate = output->sampleBufferDelegate();
        if (!delegate)
            continue;
        ++framesDelivered_;
        delivering_ = true;
        delegate->captureOutput(*output, frame);
        if (!relay->session)
            return;  // destroyed meanwhile; the relay goes later
        delivering_ = false;
        if (generation_ != generation)
            return;
    }
}

void CaptureSessionGst::readBus()
{
    while (bus_) {
        GstMessage* message = gst_bus_pop(bus_);
        if (!message)
            break;
        switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR:
            endWithError(message);
            break;
        case GST_MESSAGE_EOS:
            qCDebug(lcVideo) << "the source's stream ended; the capture session ends";
            running_ = false;
            tearDown();
            break;
        case GST_MESSAGE_WARNING: {
            GError* error = nullptr;
            gst_message_parse_warning(message, &error, nullptr);
            qCDebug(lcVideo) << "warning from" << GST_OBJECT_NAME(GST_MESSAGE_SRC(message)) << ":"
                             << (error ? error->message : "");
            g_clear_error(&error);
            break;
        }
        default:
            break;
        }
        gst_message_unref(message);
    }
}

void CaptureSessionGst::endWithError(GstMessage* error)
{
    // One line per failure: the rest of this pipeline's messages go with it.
    qCWarning(lcVideo, "capture from %s failed and the session ends: %s", qUtf8Printable(cameraName(camera())),
              qUtf8Printable(describeGstError(error)));
    running_ = false;
    tearDown();
}

void CaptureSessionGst::tearDown()
{
    ++generation_;
    if (pipeline_) {
        // Blocks until the streaming thread has left the pipeline, so no callback runs after.
        gst_element_set_state(pipeline_, GST_STATE_NULL);
        busReader_.reset();
        gst_object_unref(bus_);
        bus_ = nullptr;
        gst_object_unref(pipeline_);
        pipeline_ = nullptr;
    }
    GstSample* dropped = nullptr;
    {
        std::lock_guard<std::mutex> lock(mailboxMutex_);
        dropped = waiting_;
        waiting_ = nullptr;
        if (dropped)
            ++framesDropped_;
    }
    if (dropped)
        gst_sample_unref(dropped);
}

std::uint64_t CaptureSessionGst::framesDropped() const
{
    std::lock_guard<std::mutex> lock(mailboxMutex_);
    return framesDropped_;
}

bool CaptureSessionGst::frameWaiting() const
{
    std::lock_guard<std::mutex> lock(mailboxMutex_);
    return waiting_ != nullptr;
}

}  // namespace uvccam::platform
