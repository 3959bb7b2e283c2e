// demo: a guided tour of the library on the simulated devices, one capability at a time.
#include "Commands.h"
#include "DeviceCommands.h"
#include "Recording.h"
#include "Streaming.h"

#include <QDir>
#include <QFileInfo>

namespace uvccamctl {

namespace {

constexpr int kZoomProperty = 9;
constexpr int kDemoFrames = 10;

struct Step {
    QString name;
    bool ok;
    QString outcome;
};

class Tour {
public:
    explicit Tour(Session& session) : session_(session) {}

    void heading(const QString& title)
    {
        session_.console().line();
        session_.console().line(QStringLiteral("== %1. %2").arg(steps_.size() + 1).arg(title));
    }
    void say(const QString& text) { session_.console().line(QStringLiteral("   ") + text); }
    void done(const QString& name, bool ok, const QString& outcome) { steps_.push_back({name, ok, outcome}); }

    int summary()
    {
        Console& console = session_.console();
        console.line();
        console.line(QStringLiteral("== Summary"));
        QList<QStringList> rows;
        bool allOk = true;
        for (const Step& step : steps_) {
            rows << QStringList{step.name, step.ok ? QStringLiteral("ok") : QStringLiteral("FAILED"), step.outcome};
            allOk = allOk && step.ok;
        }
        console.table({QStringLiteral("STEP"), QStringLiteral("RESULT"), QStringLiteral("WHAT HAPPENED")}, rows);
        return allOk ? kSuccess : kRefused;
    }

private:
    Session& session_;
    std::vector<Step> steps_;
};

void showDevices(Session& session, Tour& tour)
{
    tour.heading(QStringLiteral("The attached devices (getDeviceList)"));
    printDeviceTable(session);
    const int count = session.camera().getDeviceList().size();
    tour.done(QStringLiteral("list"), count > 0, QStringLiteral("%1 devices").arg(count));
}

bool selectCamera(Session& session, Tour& tour)
{
    tour.heading(QStringLiteral("Selecting the RX710 (setDevice, getDeviceInfo, getDeviceSN)"));
    UVCCam& camera = session.camera();
    QString id;
    for (const DeviceInfo& device : camera.getDeviceList()) {
        if (device.modelName == QLatin1String("RX710"))
            id = device.deviceUniqueId;
    }
    const bool selected = !id.isEmpty() && camera.setDevice(id) == 1;
    if (selected)
        printDeviceInfo(session);
    else
        tour.say(QStringLiteral("the RX710 could not be selected"));
    tour.done(QStringLiteral("select"), selected, selected ? QStringLiteral("RX710 selected") : QStringLiteral("refused"));
    return selected;
}

void showControl(Session& session, Tour& tour)
{
    tour.heading(QStringLiteral("A camera control: zoom (getPropertyRange, getProperty, setProperty)"));
    UVCCam& camera = session.camera();
    int minimum = 0, maximum = 0, defaultValue = 0, before = 0, after = 0;
    const bool ranged = camera.getPropertyRange(kZoomProperty, &minimum, &maximum, &defaultValue) == 0;
    const bool read = camera.getProperty(kZoomProperty, &before) == 0;
    const int wanted = (minimum + maximum) / 2;
    const bool set = ranged && read && camera.setProperty(kZoomProperty, wanted, false) == 0
                     && camera.getProperty(kZoomProperty, &after) == 0 && after == wanted;
    if (ranged)
        tour.say(QStringLiteral("range: minimum %1, maximum %2, default %3").arg(minimum).arg(maximum).arg(defaultValue));
    if (read)
        tour.say(QStringLiteral("zoom is %1").arg(before));
    if (set) {
        tour.say(QStringLiteral("set to %1, reads back %2").arg(wanted).arg(after));
        camera.setProperty(kZoomProperty, before, false);
        tour.say(QStringLiteral("set back to %1").arg(before));
    }
    tour.done(QStringLiteral("control"), set, set ? QStringLiteral("zoom %1 -> %2 -> %1").arg(before).arg(after) : QStringLiteral("refused"));
}

// Writes a vendor property and reads it back. In HID mode the read takes the device's
// answer to the write, which the firmware sends for every property report.
bool roundTrip(UVCCam& camera, unsigned short selector, QByteArray value, QByteArray* readBack)
{
    const auto length = static_cast<unsigned int>(value.size());
    readBack->fill('\0', value.size());
    return camera.setExProperty(selector, value.data(), length, 1) == 0
           && camera.getExProperty(selector, readBack->data(), length, 1) == 0 && *readBack == value;
}

void showVendorProperty(Session& session, Tour& tour)
{
    tour.heading(QStringLiteral("A vendor property over UVC and over HID (setProtocolMode, setExProperty, getExProperty)"));
    UVCCam& camera = session.camera();
    QByteArray readBack;

    camera.setProtocolMode(0);
    const bool uvc = roundTrip(camera, 4, QByteArray::fromHex("1234"), &readBack);
    tour.say(QStringLiteral("UVC mode, selector 4 of extension unit 1: wrote 12 34, read %1").arg(Console::hex(readBack)));

    camera.setProtocolMode(1);
    const bool hid = roundTrip(camera, 3, QByteArray::fromHex("a55a"), &readBack);
    tour.say(QStringLiteral("HID mode, selector 3 of extension unit 1 (a HID report): wrote a5 5a, read %1").arg(Console::hex(readBack)));
    tour.done(QStringLiteral("vendor property"), uvc && hid,
              QStringLiteral("UVC %1, HID %2").arg(uvc ? QStringLiteral("ok") : QStringLiteral("failed"), hid ? QStringLiteral("ok") : QStringLiteral("failed")));
}

void showStream(Session& session, Tour& tour, const QString& snapshot)
{
    tour.heading(QStringLiteral("Ten frames and a snapshot (setVideoCallback, startVideoStream, stopVideoStream)"));
    StreamRequest request;
    request.frames = kDemoFrames;
    request.snapshot = snapshot;
    const std::optional<StreamResult> result = streamFrames(session, request);
    if (!result) {
        tour.say(QStringLiteral("the library refused to stream"));
        tour.done(QStringLiteral("stream"), false, QStringLiteral("refused"));
        return;
    }
    tour.say(describeStream(*result));
    const bool pictured = result->snapshotProblem.isEmpty();
    tour.say(pictured ? QStringLiteral("snapshot (colour bars, frame number in the top left): ") + snapshot
                      : QStringLiteral("no snapshot: ") + result->snapshotProblem);
    tour.done(QStringLiteral("stream"), result->frames == kDemoFrames && pictured,
              QStringLiteral("%1 frames, snapshot %2").arg(result->frames).arg(pictured ? snapshot : QStringLiteral("missing")));
}

void showRecording(Session& session, Tour& tour)
{
    tour.heading(QStringLiteral("A 10-second recording with its level meter (startAudioRecording, updateVolume, startAudioPlaying)"));
    const std::optional<RecordResult> result = recordClip(session, true);
    if (!result) {
        tour.say(QStringLiteral("the library refused to record"));
        tour.done(QStringLiteral("record"), false, QStringLiteral("refused"));
        return;
    }
    tour.say(QStringLiteral("level: %1 readings from %2 to %3 (5 is full scale)")
                 .arg(result->levelReadings)
                 .arg(result->lowestLevel)
                 .arg(result->highestLevel));
    tour.say(QStringLiteral("file: %1").arg(result->file.isEmpty() ? QStringLiteral("(not found)") : result->file));
    tour.say(result->playing ? QStringLiteral("played back") : QStringLiteral("playback refused"));
    const bool ok = !result->file.isEmpty() && result->playing && result->levelReadings > 0;
    tour.done(QStringLiteral("record"), ok, QStringLiteral("%1 level readings, %2").arg(result->levelReadings).arg(QFileInfo(result->file).fileName()));
}

void showVolumes(Session& session, Tour& tour)
{
    tour.heading(QStringLiteral("The system volumes (getSpeakerVol, getMicVol)"));
    const int speaker = session.camera().getSpeakerVol();
    const int microphone = session.camera().getMicVol();
    tour.say(QStringLiteral("speaker %1 %, microphone %2 %").arg(speaker).arg(microphone));
    tour.done(QStringLiteral("volume"), true, QStringLiteral("speaker %1 %, microphone %2 %").arg(speaker).arg(microphone));
}

}  // namespace

int runDemo(Session& session, Arguments& arguments)
{
    const QString snapshot = takeSnapshotOption(arguments).value_or(QDir::temp().filePath(QStringLiteral("uvccam-demo-snapshot.png")));
    if (!arguments.finish())
        return session.badUsage(arguments.error());

    session.console().line(QStringLiteral("uvccam demo: the library on its simulated devices%1")
                               .arg(session.options().virtualClock ? QStringLiteral(" (virtual clock)") : QString()));
    Tour tour(session);
    showDevices(session, tour);
    if (selectCamera(session, tour)) {
        showControl(session, tour);
        showVendorProperty(session, tour);
        showStream(session, tour, snapshot);
        showRecording(session, tour);
    }
    showVolumes(session, tour);
    return tour.summary();
}

}  // namespace uvccamctl
