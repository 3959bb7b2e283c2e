// A bus's descriptor watched by a socket notifier on the main thread; error messages as one line.
// GLib names struct members `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "platform/linux/GstBusReader.h"

#include <QObject>
#include <QSocketNotifier>

#include <gst/gst.h>

namespace uvccam::platform {

GstBusReader::GstBusReader(GstBus* bus, std::function<void()> onMessages)
{
    GPollFD pollFd{};
    gst_bus_get_pollfd(bus, &pollFd);
    notifier_ = new QSocketNotifier(pollFd.fd, QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_,
                     [inCall = inCall_, onMessages = std::move(onMessages)] {
                         *inCall = true;
                         onMessages();
                         *inCall = false;
                     });
}

GstBusReader::~GstBusReader()
{
    notifier_->setEnabled(false);
    // A notifier may not be deleted inside its own call.
    if (*inCall_)
        notifier_->deleteLater();
    else
        delete notifier_;
}

QString describeGstError(GstMessage* error)
{
    GError* details = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(error, &details, &debug);
    QString text = QStringLiteral("%1: %2").arg(QString::fromUtf8(GST_OBJECT_NAME(GST_MESSAGE_SRC(error))),
                                                 QString::fromUtf8(details ? details->message : "unknown error"));
    // GStreamer's details span lines; the log keeps one line per failure.
    if (debug)
        text += QStringLiteral(" (%1)").arg(QString::fromUtf8(debug).simplified());
    g_clear_error(&details);
    g_free(debug);
    return text;
}

}  // namespace uvccam::platform
