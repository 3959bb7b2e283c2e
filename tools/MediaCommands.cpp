// stream, record and volume: video, the test clip and the system volumes.
#include "Commands.h"
#include "Recording.h"
#include "Streaming.h"

#include <QJsonObject>

namespace uvccamctl {

namespace {

// Without a limit a stream runs this long.
constexpr double kDefaultStreamSeconds = 2.0;
constexpr int kMostFrames = 1000000;

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
        return kBadUsage;

    const std::optional<StreamResult> result = streamFrames(session, request);
    if (!result)
        return session.refused(QStringLiteral("stream: the library refused to start the stream"));
    session.console().line(QStringLiteral("streamed ") + describeStream(*result));
    if (result->deviceLeft)
        return session.refused(QStringLiteral("stream: the camera left"));
    if (!request.snapshot.isEmpty()) {
        if (!result->snapshotProblem.isEmpty())
            return session.refused(QStringLiteral("stream: no snapshot: ") + result->snapshotProblem);
        session.console().line(QStringLiteral("snapshot: ") + request.snapshot);
    }
    return kSuccess;
}

int runRecord(Session& session, Arguments& arguments)
{
    if (!arguments.finish())
        return session.badUsage(arguments.error());
    if (!session.requireDevice(QStringLiteral("record")))
        return kBadUsage;

    Console& console = session.console();
    console.line(QStringLiteral("recording 10 s from %1").arg(describe(session.camera().getDeviceInfo())));
    const std::optional<RecordResult> result = recordClip(session, session.options().simulate);
    if (!result)
        return session.refused(QStringLiteral("record: the library refused to record"));
    if (result->deviceLeft)
        return session.refused(QStringLiteral("record: the device left during the recording"));
    if (result->interrupted)
        return session.refused(QStringLiteral("record: interrupted"));
    console.line(QStringLiteral("level: %1 readings from %2 to %3 (5 is full scale)")
                     .arg(result->levelReadings)
                     .arg(result->lowestLevel)
                     .arg(result->highestLevel));
    console.line(QStringLiteral("file: %1").arg(result->file.isEmpty() ? QStringLiteral("(not found)") : result->file));
    if (!result->playing)
        return session.refused(QStringLiteral("record: the library refused to play the clip back"));
    console.line(QStringLiteral("played back"));
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
