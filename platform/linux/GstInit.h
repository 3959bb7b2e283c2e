// Starts GStreamer once per process for every file helper that needs it.
#pragma once

namespace uvccam::platform {

// Safe to call any number of times; false when GStreamer cannot start.
bool ensureGstInitialized();

}  // namespace uvccam::platform
