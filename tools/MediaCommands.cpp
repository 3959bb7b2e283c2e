// stream, record and volume: video, the test clip and the system volumes.
#include "Commands.h"
#include "Recording.h"
#include "Streaming.h"

#include <QJsonObject>

#include <cmath>

namespace uvccamctl {

namespace {

// Without a limit a stream runs this long.
constexpr double kDefaultStreamSeconds = 2.0;
constexpr int kMostFrames = 1000000;

// Thousandths are what a clock of frames can tell; the nanoseconds beyond them are noise.
double thousandths(double value)
{
    return std::round(value * 1000) / 1000;
}

}  // namespace

int runStream(Session& session, Arguments& arguments)
{
    StreamRequest request;
    if (const auto frames = arguments.takeIntegerOption(QStringLiteral("--frames"), 1, kMostFrames))
        request.frames = static_cast<int>(*frames);
    request.seconds = arguments.takeSecondsOption(QStringLiteral("--seconds"));
    request.snapshot = takeSnapshotOption(arguments).value_or(QString());
    if (!arguments.finish())
        return session.badUsage(arguments.error());
    if (!request.frames && !request.seconds)
        request.seconds = kDefaultStreamSeconds;
    if (!session.requireCamera(QStringLiteral("stream")))
        return kNoDevice;

    const std::optional<StreamResult> result = streamFrames(session, request);
    if (!result)
        return session.refused(QStringLiteral("stream: the library refused to start the stream"));
    const bool snapshot = !request.snapshot.isEmpty() && result->snapshotProblem.isEmpty();
    if (session.options().json) {
        session.console().json(QJsonObject{
            {QStringLiteral("frames"), result->frames},
            {QStringLiteral("seconds"), thousandths(result->seconds)},
            {QStringLiteral("framesPerSecond"), result->rate ? QJsonValue(thousandths(*result->rate)) : QJsonValue()},
            {QStringLiteral("width"), result->width},
            {QStringLiteral("height"), result->height},
            {QStringLiteral("frameBytes"), result->frameBytes},
            {QStringLiteral("snapshot"), snapshot ? QJsonValue(request.snapshot) : QJsonValue()}});
    } else {
        session.console().line(QStringLiteral("streamed ") + describeStream(*result));
    }
    if (result->deviceLeft)
        return session.noDevice(QStringLiteral("stream: the camera left"));
    if (!request.snapshot.isEmpty() && !snapshot)
        return session.refused(QStringLiteral("stream: no snapshot: ") + result->snapshotProblem);
    if (snapshot && !session.options().json)
        session.console().line(QStringLiteral("snapshot: ") + request.snapshot);
    return kSuccess;
}

int runRecord(Session& session, Arguments& arguments)
{
    if (!arguments.finish())
        return session.badUsage(arguments.error());
    if (!session.requireDevice(QStringLiteral("record")))
        return kNoDevice;

    Console& console = session.console();
    const bool json = session.options().json;
    const DeviceInfo device = session.camera().getDeviceInfo();
    if (!json)
        console.line(QStringLiteral("recording 10 s from %1").arg(describe(device)));
    const std::optional<RecordResult> result = recordClip(session, session.options().simulate);
    if (!result)
        return session.refused(QStringLiteral("record: the library refused to record"));
    if (result->deviceLeft)
        return session.noDevice(QStringLiteral("record: the device left during the recording"));
    if (result->interrupted)
        return session.refused(QStringLiteral("record: interrupted"));
    if (json) {
        console.json(QJsonObject{{QStringLiteral("model"), device.modelName},
                                 {QStringLiteral("uniqueId"), device.deviceUniqueId},
                                 {QStringLiteral("levelReadings"), result->levelReadings},
                                 {QStringLiteral("lowestLevel"), result->lowestLevel},
                                 {QStringLiteral("highestLevel"), result->highestLevel},
                                 {QStringLiteral("file"), result->file.isEmpty() ? QJsonValue() : QJsonValue(result->file)},
                                 {QStringLiteral("playedBack"), result->playing}});
    } else {
        console.line(QStringLiteral("level: %1 readings from %2 to %3 (5 is full scale)")
                         .arg(result->levelReadings)
                         .arg(result->lowestLevel)
                         .arg(result->highestLevel));
        console.line(QStringLiteral("file: %1").arg(result->file.isEmpty() ? QStringLiteral("(not found)") : result->file));
        if (result->playing)
            console.line(QStringLiteral("played back"));
    }
    if (!result->playing)
        return session.refused(QStringLiteral("record: the library refused to play the clip back"));
    return result->file.isEmpty() ? kRefused : kSuccess;
}

int runVolume(Session& session, Arguments& arguments)
{
    if (!arguments.finish())
        return session.badUsage(arguments.error());
    // The system's default output and input, whichever device is selected.
    const int speaker = session.camera().getSpeakerVol();
    const int microphone = session.camera().getMicVol();
    if (session.options().json) {
        session.console().json(QJsonObject{{QStringLiteral("speaker"), speaker}, {QStringLiteral("microphone"), microphone}});
        return kSuccess;
    }
    session.console().line(QStringLiteral("speaker:     %1 %").arg(speaker));
    session.console().line(QStringLiteral("microphone:  %1 %").arg(microphone));
    return kSuccess;
}

}  // namespace uvccamctl
