// A sound file through playbin: start, volume, passes by seeking back, and the stream closed at the end.
// GLib names struct members `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "platform/linux/AudioPlayerGst.h"

#include "platform/linux/GstBusReader.h"
#include "platform/linux/GstInit.h"

#include <QFileInfo>
#include <QLoggingCategory>
#include <QObject>
#include <QUrl>

#include <gst/gst.h>

#include <algorithm>

namespace uvccam::platform {

namespace {

Q_LOGGING_CATEGORY(lcAudio, "uvccam.linux.audio", QtInfoMsg)

}  // namespace

AudioPlayerGst::AudioPlayerGst(QString path, SinkFactory makeSink)
    : path_(std::move(path)), makeSink_(std::move(makeSink))
{
}

AudioPlayerGst::~AudioPlayerGst()
{
    stop();
    busReader_.reset();
    if (bus_)
        gst_object_unref(bus_);
    if (pipeline_)
        gst_object_unref(pipeline_);
}

void AudioPlayerGst::setVolume(float volume)
{
    volume_ = std::clamp(static_cast<double>(volume), 0.0, 1.0);
    if (pipeline_)
        g_object_set(pipeline_, "volume", volume_, nullptr);
}

bool AudioPlayerGst::play()
{
    if (!pipeline_ && !buildPipeline())
        return false;
    // From the beginning, whatever the pipeline was doing; NULL also empties the bus of an
    // earlier play's messages, so none of them ends this one.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    playing_ = false;
    passesThisPlay_ = 0;
    // The sink opens its connection on the way to PLAYING, so a missing sound server is
    // known here, not later on the bus.
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        QString reason = QStringLiteral("the pipeline does not start");
        if (GstMessage* error = gst_bus_pop_filtered(bus_, GST_MESSAGE_ERROR)) {
            reason += QStringLiteral(": ") + describeGstError(error);
            gst_message_unref(error);
        }
        fail(reason);
        return false;
    }
    playing_ = true;
    return true;
}

bool AudioPlayerGst::buildPipeline()
{
    if (!ensureGstInitialized()) {
        fail(QStringLiteral("GStreamer cannot start"));
        return false;
    }
    GstElement* sink = makeSink_ ? makeSink_() : nullptr;
    if (!sink) {
        fail(QStringLiteral("no audio sink can be made"));
        return false;
    }
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    if (!playbin) {
        gst_object_unref(gst_object_ref_sink(sink));
        fail(QStringLiteral("GStreamer has no playbin element; install gstreamer1.0-plugins-base"));
        return false;
    }
    const QByteArray uri = QUrl::fromLocalFile(QFileInfo(path_).absoluteFilePath()).toEncoded();
    g_object_set(playbin, "uri", uri.constData(), "audio-sink", sink, "volume", volume_, nullptr);
    // Sound only, and without playbin's own software volume: the volume then goes to the
    // sink, so the sound server's mixer shows the stream at the player's volume.
    gst_util_set_object_arg(G_OBJECT(playbin), "flags", "audio");

    pipeline_ = playbin;
    bus_ = gst_element_get_bus(pipeline_);
    busReader_ = std::make_unique<GstBusReader>(bus_, [this] { readBus(); });
    return true;
}

void AudioPlayerGst::readBus()
{
    while (bus_) {
        GstMessage* message = gst_bus_pop(bus_);
        if (!message)
            break;
        switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_EOS:
            if (playing_)
                endOfPass();
            break;
        case GST_MESSAGE_ERROR:
            if (playing_)
                fail(describeGstError(message));
            break;
        default:
            break;
        }
        gst_message_unref(message);
    }
}

void AudioPlayerGst::endOfPass()
{
    ++passesPlayed_;
    ++passesThisPlay_;
    if (loops_ >= 0 && passesThisPlay_ > loops_) {
        stop();
        return;
    }
    // Back to the start within the same stream; should the seek be refused, the pass
    // starts again from a fresh pipeline instead.
    if (gst_element_seek_simple(pipeline_, GST_FORMAT_TIME, GST_SEEK_FLAG_FLUSH, 0))
        return;
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        fail(QStringLiteral("the pipeline does not start again for the next pass"));
}

void AudioPlayerGst::fail(const QString& reason)
{
    qCWarning(lcAudio, "cannot play %s: %s", qUtf8Printable(path_), qUtf8Printable(reason));
    stop();
}

void AudioPlayerGst::stop()
{
    playing_ = false;
    // Blocks until the streaming threads have left and the sink has closed its stream.
    if (pipeline_)
        gst_element_set_state(pipeline_, GST_STATE_NULL);
}

}  // namespace uvccam::platform
