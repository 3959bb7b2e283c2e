// Decodes a file's header with GStreamer's discoverer to learn whether and how long it plays.
#include "platform/linux/AudioFileProbeGst.h"

#include "platform/linux/GstInit.h"

#include <gst/pbutils/pbutils.h>

#include <QFileInfo>

namespace uvccam::platform {

namespace {

// Generous, in real time: a local file answers in milliseconds.
constexpr GstClockTime kDiscoverTimeout = 5 * GST_SECOND;

std::optional<double> fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return std::nullopt;
}

}  // namespace

std::optional<double> probeAudioFileDuration(const QString& path, QString* error)
{
    // The discoverer's message for a missing file is vaguer than this.
    if (!QFileInfo(path).isFile())
        return fail(error, QStringLiteral("no such file: %1").arg(path));
    if (!ensureGstInitialized())
        return fail(error, QStringLiteral("GStreamer could not be initialised"));

    GError* gerror = nullptr;
    GstDiscoverer* discoverer = gst_discoverer_new(kDiscoverTimeout, &gerror);
    if (!discoverer) {
        const QString reason = QString::fromUtf8(gerror ? gerror->message : "no discoverer");
        g_clear_error(&gerror);
        return fail(error, reason);
    }
    const QByteArray absolute = QFileInfo(path).absoluteFilePath().toLocal8Bit();
    gchar* uri = gst_filename_to_uri(absolute.constData(), nullptr);
    GstDiscovererInfo* info = uri ? gst_discoverer_discover_uri(discoverer, uri, &gerror) : nullptr;
    g_free(uri);

    std::optional<double> duration;
    QString reason = QStringLiteral("cannot decode %1").arg(path);
    if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
        GList* audio = gst_discoverer_info_get_audio_streams(info);
        if (audio)
            duration = static_cast<double>(gst_discoverer_info_get_duration(info)) / GST_SECOND;
        else
            reason = QStringLiteral("no sound in %1").arg(path);
        gst_discoverer_stream_info_list_free(audio);
    } else if (gerror) {
        reason += QStringLiteral(": ") + QString::fromUtf8(gerror->message);
    }
    g_clear_error(&gerror);
    if (info)
        gst_discoverer_info_unref(info);
    g_object_unref(discoverer);
    return duration ? duration : fail(error, reason);
}

}  // namespace uvccam::platform
