// appsrc ! audioconvert ! AAC encoder ! mp4mux ! filesink, run to end of stream.
#include "platform/linux/M4aFileWriterGst.h"

#include "platform/linux/GstInit.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <algorithm>
#include <memory>

namespace uvccam::platform {

namespace {

// The muxer writes its index only at end of stream; give it that long, in real time.
constexpr GstClockTime kEosTimeout = 10 * GST_SECOND;
// Samples per channel in each buffer pushed: small enough for the encoder's frames.
constexpr std::size_t kFramesPerBuffer = 4096;

struct PipelineDeleter {
    void operator()(GstElement* pipeline) const
    {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        gst_object_unref(pipeline);
    }
};

bool fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

// Not every distribution ships the same AAC encoder.
GstElement* makeAacEncoder()
{
    for (const char* name : {"voaacenc", "avenc_aac", "fdkaacenc"}) {
        if (GstElement* encoder = gst_element_factory_make(name, nullptr))
            return encoder;
    }
    return nullptr;
}

// Waits for the end of the stream or an error; the message that ended the wait, if any.
QString waitForEos(GstElement* pipeline)
{
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* message = gst_bus_timed_pop_filtered(bus, kEosTimeout,
                                                     static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
    gst_object_unref(bus);
    if (!message)
        return QStringLiteral("timed out waiting for the end of the stream");
    QString result;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
        GError* gerror = nullptr;
        gst_message_parse_error(message, &gerror, nullptr);
        result = QString::fromUtf8(gerror ? gerror->message : "unknown error");
        if (gerror)
            g_error_free(gerror);
    }
    gst_message_unref(message);
    return result;
}

}  // namespace

bool writeM4aFile(const QString& path, const std::vector<std::int16_t>& interleavedSamples, int sampleRate,
                  int channels, QString* error)
{
    if (sampleRate <= 0 || channels <= 0)
        return fail(error, QStringLiteral("invalid audio format"));
    if (!ensureGstInitialized())
        return fail(error, QStringLiteral("GStreamer could not be initialised"));

    std::unique_ptr<GstElement, PipelineDeleter> pipeline(gst_pipeline_new("m4a-writer"));
    GstElement* source = gst_element_factory_make("appsrc", nullptr);
    GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
    GstElement* encoder = makeAacEncoder();
    GstElement* muxer = gst_element_factory_make("mp4mux", nullptr);
    GstElement* sink = gst_element_factory_make("filesink", nullptr);
    if (!source || !convert || !encoder || !muxer || !sink) {
        for (GstElement* element : {source, convert, encoder, muxer, sink}) {
            if (element)
                gst_object_unref(gst_object_ref_sink(element));
        }
        return fail(error, QStringLiteral("a GStreamer element for M4A encoding is missing"));
    }
    gst_bin_add_many(GST_BIN(pipeline.get()), source, convert, encoder, muxer, sink, nullptr);
    if (!gst_element_link_many(source, convert, encoder, muxer, sink, nullptr))
        return fail(error, QStringLiteral("could not link the encoding pipeline"));

    GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "layout", G_TYPE_STRING,
                                        "interleaved", "rate", G_TYPE_INT, sampleRate, "channels", G_TYPE_INT,
                                        channels, nullptr);
    g_object_set(source, "caps", caps, "format", GST_FORMAT_TIME, "max-bytes", guint64{0}, nullptr);
    gst_caps_unref(caps);
    const QByteArray location = path.toLocal8Bit();
    g_object_set(sink, "location", location.constData(), nullptr);

    if (gst_element_set_state(pipeline.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        return fail(error, QStringLiteral("could not start writing %1").arg(path));

    const std::size_t frames = interleavedSamples.size() / static_cast<std::size_t>(channels);
    for (std::size_t first = 0; first < frames; first += kFramesPerBuffer) {
        const std::size_t count = std::min(kFramesPerBuffer, frames - first);
        const std::size_t bytes = count * static_cast<std::size_t>(channels) * sizeof(std::int16_t);
        GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
        gst_buffer_fill(buffer, 0, interleavedSamples.data() + first * static_cast<std::size_t>(channels), bytes);
        GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(first, GST_SECOND, static_cast<guint64>(sampleRate));
        GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(count, GST_SECOND, static_cast<guint64>(sampleRate));
        // Takes the buffer; a refusal means the pipeline already failed, which the bus says.
        if (gst_app_src_push_buffer(GST_APP_SRC(source), buffer) != GST_FLOW_OK)
            break;
    }
    gst_app_src_end_of_stream(GST_APP_SRC(source));

    const QString problem = waitForEos(pipeline.get());
    if (!problem.isEmpty())
        return fail(error, QStringLiteral("writing %1 failed: %2").arg(path, problem));
    return true;
}

}  // namespace uvccam::platform
