// The microphone's pipeline: level all the time, the M4A file part added and ended on request, the bus read on the main thread.
// GLib names struct members `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "platform/linux/AudioRecorderGst.h"

#include "platform/linux/GstBusReader.h"
#include "platform/linux/GstInit.h"

#include <QFile>
#include <QLoggingCategory>
#include <QObject>

#include <gst/gst.h>

#include <cmath>
#include <limits>

Q_LOGGING_CATEGORY(lcRecording, "uvccam.linux.audio", QtInfoMsg)

namespace uvccam::platform {

namespace {

// The level element reports digital silence as about -700 dB; no microphone hears less
// than its own noise, some -100 dB, so anything far below is silence.
constexpr double kSilenceDb = -200.0;

// The first AAC encoder this machine has: voaacenc (plugins-bad) or libav's.
GstElement* makeAacEncoder()
{
    for (const char* name : {"voaacenc", "avenc_aac", "fdkaacenc"}) {
        if (GstElement* encoder = gst_element_factory_make(name, nullptr))
            return encoder;
    }
    return nullptr;
}

// convert ! resample ! AAC encoder ! mp4mux ! filesink, behind one "sink" pad. The bin
// forwards its children's messages, so the end of a file is seen as filesink's own.
GstElement* makeFilePart(QString* error)
{
    GstElement* bin = gst_bin_new("file");
    g_object_set(bin, "message-forward", TRUE, nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* resample = gst_element_factory_make("audioresample", nullptr);
    GstElement* encoder = makeAacEncoder();
    GstElement* muxer = gst_element_factory_make("mp4mux", nullptr);
    GstElement* sink = gst_element_factory_make("filesink", "filesink");
    if (!convert || !resample || !encoder || !muxer || !sink) {
        for (GstElement* element : {convert, resample, encoder, muxer, sink}) {
            if (element)
                gst_object_unref(element);
        }
        gst_object_unref(bin);
        *error = QStringLiteral("GStreamer lacks an element an M4A file needs (audioconvert, audioresample, an "
                                "AAC encoder, mp4mux, filesink)");
        return nullptr;
    }
    // A sink that starts in a playing live pipeline must not hold the pipeline's state
    // while it waits for its first buffer.
    g_object_set(sink, "async", FALSE, nullptr);
    gst_bin_add_many(GST_BIN(bin), convert, resample, encoder, muxer, sink, nullptr);
    if (!gst_element_link_many(convert, resample, encoder, muxer, sink, nullptr)) {
        gst_object_unref(bin);
        *error = QStringLiteral("the M4A elements do not link");
        return nullptr;
    }
    GstPad* target = gst_element_get_static_pad(convert, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", target));
    gst_object_unref(target);
    return bin;
}

// filesink's end of stream, as the file part forwards it.
bool isEndOfFile(GstMessage* message)
{
    const GstStructure* structure = gst_message_get_structure(message);
    if (!structure || !gst_structure_has_name(structure, "GstBinForwarded"))
        return false;
    GstMessage* forwarded = nullptr;
    gst_structure_get(structure, "message", GST_TYPE_MESSAGE, &forwarded, nullptr);
    const bool ended = forwarded && GST_MESSAGE_TYPE(forwarded) == GST_MESSAGE_EOS;
    if (forwarded)
        gst_message_unref(forwarded);
    return ended;
}

bool isInside(GstMessage* message, GstElement* container)
{
    return container && gst_object_has_as_ancestor(GST_MESSAGE_SRC(message), GST_OBJECT(container));
}

}  // namespace

AudioRecorderGst::AudioRecorderGst(GstElement* source, Failure failed, Failure fileFailed)
    : source_(source), failed_(std::move(failed)), fileFailed_(std::move(fileFailed))
{
    if (source_)
        gst_object_ref_sink(source_);
}

AudioRecorderGst::~AudioRecorderGst()
{
    stop();
    if (source_)
        gst_object_unref(source_);
}

GstElement* AudioRecorderGst::soundServerSource(const QString& sourceName)
{
    if (!ensureGstInitialized())
        return nullptr;
    GstElement* source = gst_element_factory_make("pulsesrc", nullptr);
    if (!source)
        return nullptr;
    g_object_set(source, "device", sourceName.toUtf8().constData(), "client-name", "uvccam", nullptr);
    return source;
}

bool AudioRecorderGst::start(QString* error)
{
    if (pipeline_)
        return true;
    if (!source_ || !ensureGstInitialized()) {
        *error = QStringLiteral("no microphone source");
        return false;
    }
    GstElement* level = gst_element_factory_make("level", nullptr);
    GstElement* gate = gst_element_factory_make("valve", "gate");
    if (!level || !gate) {
        if (level)
            gst_object_unref(level);
        if (gate)
            gst_object_unref(gate);
        *error = QStringLiteral("GStreamer lacks the level or valve element");
        return false;
    }
    g_object_set(level, "interval", static_cast<guint64>(kLevelIntervalNs), "post-messages", TRUE, nullptr);
    g_object_set(gate, "drop", TRUE, nullptr);

    pipeline_ = gst_pipeline_new("microphone");
    GstElement* microphone = source_;
    gst_bin_add_many(GST_BIN(pipeline_), microphone, level, gate, nullptr);
    // The pipeline holds the microphone now.
    gst_object_unref(source_);
    source_ = nullptr;
    gate_ = gate;
    if (!gst_element_link_many(microphone, level, gate, nullptr)) {
        *error = QStringLiteral("the microphone does not link to the level meter");
        tearDown();
        return false;
    }
    // The file part is linked now and kept stopped until a file is asked for: linking it
    // while the microphone's thread starts up was seen to keep that thread from ever
    // streaming.
    file_ = makeFilePart(error);
    if (!file_) {
        tearDown();
        return false;
    }
    gst_bin_add(GST_BIN(pipeline_), file_);
    gst_element_set_locked_state(file_, TRUE);
    if (!gst_element_link(gate, file_)) {
        *error = QStringLiteral("the level meter does not link to the M4A elements");
        tearDown();
        return false;
    }

    bus_ = gst_element_get_bus(pipeline_);
    busReader_ = std::make_unique<GstBusReader>(bus_, [this] { readBus(); });

    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        GstMessage* message = gst_bus_pop_filtered(bus_, GST_MESSAGE_ERROR);
        *error = message ? describeGstError(message) : QStringLiteral("the microphone pipeline does not play");
        if (message)
            gst_message_unref(message);
        tearDown();
        return false;
    }
    return true;
}

bool AudioRecorderGst::recordTo(const QString& path, QString* error)
{
    if (!pipeline_) {
        *error = QStringLiteral("the microphone is not running");
        return false;
    }
    if (writing_) {
        *error = QStringLiteral("a file is being written already: ") + path_;
        return false;
    }
    path_ = path;
    writing_ = true;
    // Until the microphone has streamed, the file waits: starting the file part while the
    // microphone's thread starts up was seen to keep that thread from ever streaming. The
    // file then begins with the second measurement's sound, some 20 ms in.
    if (measurements_ == 0) {
        fileWaiting_ = true;
        return true;
    }
    if (startFilePart(error))
        return true;
    writing_ = false;
    return false;
}

bool AudioRecorderGst::startFilePart(QString* error)
{
    GstElement* sink = gst_bin_get_by_name(GST_BIN(file_), "filesink");
    g_object_set(sink, "location", QFile::encodeName(path_).constData(), nullptr);
    gst_object_unref(sink);
    gst_element_set_locked_state(file_, FALSE);
    if (!gst_element_sync_state_with_parent(file_)) {
        // The file could not be opened: filesink said why on the bus.
        GstMessage* message = gst_bus_pop_filtered(bus_, GST_MESSAGE_ERROR);
        *error = message ? describeGstError(message) : QStringLiteral("cannot write ") + path_;
        if (message)
            gst_message_unref(message);
        stopFilePart();
        return false;
    }
    g_object_set(gate_, "drop", FALSE, nullptr);
    return true;
}

QString AudioRecorderGst::finishFile()
{
    if (!writing_)
        return QString();
    if (fileWaiting_) {
        // A file of no sound would not play: none is written, and the delegate hears why.
        stopFilePart();
        return QStringLiteral("nothing recorded: the microphone gave no sound before the recording ended");
    }
    // Shut first, so that no sound follows the end of the stream into the file part.
    g_object_set(gate_, "drop", TRUE, nullptr);
    GstPad* entry = gst_element_get_static_pad(file_, "sink");
    gst_pad_send_event(entry, gst_event_new_eos());
    gst_object_unref(entry);

    // mp4mux writes the file's index when the end of the stream reaches it, and filesink
    // has written everything when it reports the end.
    QString failure;
    GstMessage* stashed = nullptr;
    const GstClockTime deadline = gst_util_get_timestamp() + kFinishTimeoutMs * GST_MSECOND;
    for (;;) {
        const GstClockTime now = gst_util_get_timestamp();
        if (now >= deadline) {
            failure = QStringLiteral("the file was not finished within %1 ms: %2").arg(kFinishTimeoutMs).arg(path_);
            break;
        }
        GstMessage* message = gst_bus_timed_pop_filtered(
            bus_, deadline - now, static_cast<GstMessageType>(GST_MESSAGE_ELEMENT | GST_MESSAGE_ERROR));
        if (!message)
            continue;
        if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ELEMENT) {
            const bool ended = isEndOfFile(message);
            gst_message_unref(message);
            if (ended)
                break;
            continue;
        }
        if (isInside(message, file_)) {
            failure = describeGstError(message);
            gst_message_unref(message);
            break;
        }
        // The microphone failed meanwhile: told when the bus is read next.
        if (stashed)
            gst_message_unref(stashed);
        stashed = message;
    }
    stopFilePart();
    if (stashed)
        gst_bus_post(bus_, stashed);
    return failure;
}

QString AudioRecorderGst::stop()
{
    const QString failure = finishFile();
    tearDown();
    return failure;
}

void AudioRecorderGst::stopFilePart()
{
    writing_ = false;
    fileWaiting_ = false;
    gst_element_set_locked_state(file_, TRUE);
    // Closes the file and readies the elements for the next one.
    gst_element_set_state(file_, GST_STATE_NULL);
}

void AudioRecorderGst::readBus()
{
    while (bus_) {
        GstMessage* message = gst_bus_pop(bus_);
        if (!message)
            break;
        switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ELEMENT: {
            const GstStructure* structure = gst_message_get_structure(message);
            if (!structure || !gst_structure_has_name(structure, "level"))
                break;
            const GValue* rms = gst_structure_get_value(structure, "rms");
            const auto* values = rms ? static_cast<const GValueArray*>(g_value_get_boxed(rms)) : nullptr;
            if (!values)
                break;
            std::vector<double> rmsDb;
            for (guint i = 0; i < values->n_values; ++i)
                rmsDb.push_back(g_value_get_double(&values->values[i]));
            measured(rmsDb);
            break;
        }
        case GST_MESSAGE_ERROR:
            handleError(message);
            break;
        default:
            break;
        }
        gst_message_unref(message);
    }
}

void AudioRecorderGst::measured(const std::vector<double>& rmsDb)
{
    // A change of channels starts the window afresh.
    if (!powers_.empty() && powers_.back().size() != rmsDb.size())
        powers_.clear();
    std::vector<double> powers;
    for (const double db : rmsDb)
        powers.push_back(db < kSilenceDb ? 0.0 : std::pow(10.0, db / 10.0));
    powers_.push_back(std::move(powers));
    ++measurements_;
    if (fileWaiting_) {
        fileWaiting_ = false;
        QString error;
        if (!startFilePart(&error)) {
            writing_ = false;
            qCWarning(lcRecording, "writing %s failed: %s", qUtf8Printable(path_), qUtf8Printable(error));
            if (fileFailed_)
                fileFailed_(error);
        }
    }
    while (powers_.size() > kLevelWindow)
        powers_.pop_front();
}

std::vector<float> AudioRecorderGst::levels() const
{
    std::vector<float> levels;
    if (powers_.empty())
        return levels;
    for (std::size_t channel = 0; channel < powers_.back().size(); ++channel) {
        double sum = 0;
        for (const auto& measurement : powers_)
            sum += measurement[channel];
        const double mean = sum / static_cast<double>(powers_.size());
        levels.push_back(mean > 0 ? static_cast<float>(10.0 * std::log10(mean))
                                  : -std::numeric_limits<float>::infinity());
    }
    return levels;
}

void AudioRecorderGst::handleError(GstMessage* message)
{
    if (!pipeline_ || !isInside(message, pipeline_))
        return;  // from a file part already removed, or a pipeline already stopped
    const QString reason = describeGstError(message);
    if (isInside(message, file_)) {
        if (!writing_)
            return;  // a file that did not open, reported by recordTo()
        qCWarning(lcRecording, "writing %s failed: %s", qUtf8Printable(path_), qUtf8Printable(reason));
        // Nothing more reaches the file; what it holds cannot be completed.
        g_object_set(gate_, "drop", TRUE, nullptr);
        stopFilePart();
        if (fileFailed_)
            fileFailed_(reason);
        return;
    }
    qCWarning(lcRecording, "the microphone failed and its recording ends: %s", qUtf8Printable(reason));
    if (failed_)
        failed_(reason);
}

void AudioRecorderGst::tearDown()
{
    if (!pipeline_)
        return;
    qCDebug(lcRecording) << "the microphone stops after" << measurements_ << "measurements";
    // Blocks until the streaming thread has left the pipeline.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    busReader_.reset();
    if (bus_)
        gst_object_unref(bus_);
    bus_ = nullptr;
    gst_object_unref(pipeline_);
    pipeline_ = nullptr;
    gate_ = nullptr;
    file_ = nullptr;
    writing_ = false;
    powers_.clear();
    measurements_ = 0;
}

}  // namespace uvccam::platform
