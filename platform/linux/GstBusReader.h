// A pipeline's bus read on the Qt main thread, and one line for an error message from it.
#pragma once

#include <QString>

#include <functional>
#include <memory>

typedef struct _GstBus GstBus;
typedef struct _GstMessage GstMessage;
class QSocketNotifier;

namespace uvccam::platform {

// Calls `onMessages` on the main thread whenever the bus holds messages, through a socket
// notifier on the bus's descriptor (which works with any Qt event dispatcher, where a bus
// watch needs GLib's). The owner pops the messages itself. The reader may be destroyed from
// inside its own call: the notifier is then silenced at once and deleted later. The bus
// must outlive the reader.
class GstBusReader {
public:
    GstBusReader(GstBus* bus, std::function<void()> onMessages);
    ~GstBusReader();
    GstBusReader(const GstBusReader&) = delete;
    GstBusReader& operator=(const GstBusReader&) = delete;

private:
    QSocketNotifier* notifier_;
    // Shared with the notifier's call, which outlives a reader destroyed inside it.
    std::shared_ptr<bool> inCall_ = std::make_shared<bool>(false);
};

// "element: message (details)", the details on the same line: one log line per failure.
QString describeGstError(GstMessage* error);

}  // namespace uvccam::platform
