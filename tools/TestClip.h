// The library's test clip as a host sees it: its timeline and where the clip is left.
#pragma once

#include <QDateTime>
#include <QString>

namespace uvccamctl {

// The library records for exactly this long and starts playback this long after asking.
constexpr double kClipSeconds = 10.0;
constexpr double kPlaybackDelaySeconds = 2.0;
// Time for the file to be finished after the recording stops.
constexpr double kClipSettleSeconds = 0.2;
// updateVolume carries five times the amplitude: 5 is full scale.
constexpr int kFullScaleLevel = 5;

// The library names the clip by its start time in the temporary directory; the newest
// .m4a written there since the recording started is it. Empty when there is none.
QString findClip(const QDateTime& since);

}  // namespace uvccamctl
