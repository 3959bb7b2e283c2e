// GStreamer's one-time start, shared by the writer and the probe.
#include "platform/linux/GstInit.h"

#include <gst/gst.h>

namespace uvccam::platform {

bool ensureGstInitialized()
{
    // gst_init_check is not itself safe to race; a function-local static runs it once.
    static const bool initialized = gst_init_check(nullptr, nullptr, nullptr);
    return initialized;
}

}  // namespace uvccam::platform
