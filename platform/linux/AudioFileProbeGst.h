// Reads a sound file far enough to know it plays, and how long it lasts.
#pragma once

#include <QString>

#include <optional>

namespace uvccam::platform {

// The file's duration in seconds when it is a sound file that can be decoded; nothing,
// with the reason in `error` when given, otherwise.
std::optional<double> probeAudioFileDuration(const QString& path, QString* error = nullptr);

}  // namespace uvccam::platform
