// Players for the sound files GStreamer decodes, each sounding through the sink the service was given.
// GLib names struct members `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "platform/linux/AudioPlaybackGst.h"

#include "platform/linux/AudioFileProbeGst.h"
#include "platform/linux/GstInit.h"

#include <QLoggingCategory>

#include <gst/gst.h>

namespace uvccam::platform {

namespace {

Q_LOGGING_CATEGORY(lcAudio, "uvccam.linux.audio", QtInfoMsg)

}  // namespace

AudioPlaybackGst::SinkFactory AudioPlaybackGst::defaultOutput()
{
    return []() -> GstElement* {
        return ensureGstInitialized() ? gst_element_factory_make("pulsesink", nullptr) : nullptr;
    };
}

AudioPlaybackGst::AudioPlaybackGst(SinkFactory makeSink) : makeSink_(std::move(makeSink)) {}

std::shared_ptr<AudioPlayer> AudioPlaybackGst::initWithContentsOfURL(const QString& path, QString* error)
{
    QString reason;
    if (!probeAudioFileDuration(path, &reason)) {
        // The library's caller keeps the reason to itself; the log is where it can be read.
        qCWarning(lcAudio, "not playing %s: %s", qUtf8Printable(path), qUtf8Printable(reason));
        if (error)
            *error = reason;
        return nullptr;
    }
    return std::make_shared<AudioPlayerGst>(path, makeSink_);
}

}  // namespace uvccam::platform
