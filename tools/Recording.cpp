// The recording's timeline: ten seconds of level readings, the file, two seconds to playback.
#include "Recording.h"

#include "TestClip.h"
#include "UVCCamSimulation.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace uvccamctl {

namespace {

constexpr double kStep = 0.1;

// Syllables of about 0.8 s between -2 and -18 dBFS: the meter swings from 3 down to 0.
double voiceLevel(double seconds)
{
    constexpr double kPi = 3.14159265358979323846;
    return -2.0 - 16.0 * (0.5 - 0.5 * std::cos(2.0 * kPi * seconds / 1.6));
}

}  // namespace

std::optional<RecordResult> recordClip(Session& session, bool voice)
{
    UVCCam& camera = session.camera();
    Console& console = session.console();
    const QString device = camera.getDeviceInfo().deviceUniqueId;
    RecordResult result;
    int level = 0;
    session.events().onUpdateVolume = [&result, &level](int volume) {
        level = volume;
        result.lowestLevel = result.levelReadings == 0 ? volume : std::min(result.lowestLevel, volume);
        result.highestLevel = result.levelReadings == 0 ? volume : std::max(result.highestLevel, volume);
        ++result.levelReadings;
    };
    session.events().onDeviceRemove = [&result] { result.deviceLeft = true; };
    auto disconnect = [&session] {
        session.events().onUpdateVolume = nullptr;
        session.events().onDeviceRemove = nullptr;
    };

    // File times have whole-second precision on some file systems.
    const QDateTime since = QDateTime::currentDateTime().addSecs(-1);
    if (voice)
        uvccam::sim::setMicrophoneLevel(device, voiceLevel(0));
    if (camera.startAudioRecording(0, QString()) != 0) {
        disconnect();
        return std::nullopt;
    }
    const double start = session.now();
    for (double elapsed = 0; elapsed < kClipSeconds + kClipSettleSeconds && !result.deviceLeft; elapsed = session.now() - start) {
        if (voice)
            uvccam::sim::setMicrophoneLevel(device, voiceLevel(elapsed));
        console.status(QStringLiteral("recording %1 %2 s   level %3 %4")
                           .arg(Console::gauge(elapsed / kClipSeconds, 30))
                           .arg(std::min(elapsed, kClipSeconds), 4, 'f', 1)
                           .arg(Console::gauge(level / static_cast<double>(kFullScaleLevel), 10))
                           .arg(level));
        if (!session.wait(std::min(kStep, kClipSeconds + kClipSettleSeconds - elapsed))) {
            result.interrupted = true;
            break;
        }
    }
    console.endStatus();
    if (result.deviceLeft || result.interrupted) {
        disconnect();
        return result;
    }

    result.file = findClip(since);
    // Playback starts two seconds after the request; wait for it so it is not cut off. A
    // real clip is heard to its end before the tool exits and takes the sound with it.
    result.playing = camera.startAudioPlaying(QString()) == 1;
    const double listening = kPlaybackDelaySeconds + (session.options().simulate ? 0.0 : kClipSeconds) + kClipSettleSeconds;
    if (result.playing && !session.wait(listening))
        result.interrupted = true;
    disconnect();
    return result;
}

}  // namespace uvccamctl
