// Writes 16-bit PCM into an M4A file (AAC in MPEG-4), as a finished recording is stored.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace uvccam::platform {

// Encodes interleaved signed 16-bit samples at `sampleRate` with `channels` channels into
// `path`, replacing any file there. Blocks until the file is complete (at most a few
// seconds of real time). False, with the reason in `error` when given, when it failed;
// a partial file may then be left behind.
bool writeM4aFile(const QString& path, const std::vector<std::int16_t>& interleavedSamples, int sampleRate,
                  int channels, QString* error = nullptr);

}  // namespace uvccam::platform
