// Playback on a private PulseAudio: files refused, a clip heard once, looped and stopped, as pactl sees its stream.
// GLib names struct members `signals`, which Qt would otherwise take for its keyword.
#define QT_NO_KEYWORDS
#include "platform/linux/AudioPlaybackGst.h"

#include "platform/linux/AudioFileProbeGst.h"
#include "platform/linux/M4aFileWriterGst.h"
#include "support/EmulatedUsb.h"
#include "support/PrivatePulseAudio.h"
#include "support/QtPrinters.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gst/gst.h>
#include <pulse/volume.h>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <optional>

using namespace uvccam::platform;
using namespace uvccam::testing;
using namespace std::chrono_literals;

namespace {

constexpr int kSampleRate = 16000;

// A stream of this process on the sound server, as `pactl list sink-inputs` lists it.
struct ServerStream {
    QString sink;
    QList<unsigned> volume;
};

// The warnings of the audio backend's logging category.
class AudioWarnings {
public:
    AudioWarnings()
    {
        heard() = &lines;
        previous_ = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (heard() && type >= QtWarningMsg && context.category && qstrcmp(context.category, "uvccam.linux.audio") == 0)
                heard()->append(text);
        });
    }
    ~AudioWarnings()
    {
        qInstallMessageHandler(previous_);
        heard() = nullptr;
    }
    QStringList lines;

private:
    static QStringList*& heard()
    {
        static QStringList* lines = nullptr;
        return lines;
    }
    QtMessageHandler previous_ = nullptr;
};

// A clip of half a second (a 440 Hz tone) on a private sound server whose default sink is
// "speaker", played through the production sink.
class AudioPlaybackGstTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(pulse.error(), QString());
        ASSERT_TRUE(dir.isValid());
        clip = dir.filePath(QStringLiteral("clip.m4a"));
        std::vector<std::int16_t> samples(kSampleRate / 2);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440 * double(i) / kSampleRate));
        QString error;
        ASSERT_TRUE(writeM4aFile(clip, samples, kSampleRate, 1, &error)) << error.toStdString();
        const std::optional<double> seconds = probeAudioFileDuration(clip, &error);
        ASSERT_TRUE(seconds) << error.toStdString();
        clipMs = *seconds * 1000;
    }

    // The least a pass can take when heard in real time: the container's duration counts the
    // encoder's priming, which the decoder trims, so a pass sounds a little shorter.
    double shortestPassMs() const { return clipMs / 2; }

    std::shared_ptr<AudioPlayerGst> open(AudioPlaybackGst& service)
    {
        QString error;
        auto player = std::dynamic_pointer_cast<AudioPlayerGst>(service.initWithContentsOfURL(clip, &error));
        EXPECT_TRUE(player) << error.toStdString();
        return player;
    }

    // This process's streams, each with the name of the sink it plays on.
    std::vector<ServerStream> ourStreams() const
    {
        QString failure;
        const QString sinks = pulse.pactl({"list", "short", "sinks"}, &failure);
        const QString inputs = pulse.pactl({"list", "sink-inputs"}, &failure);
        EXPECT_FALSE(sinks.isNull() || inputs.isNull()) << failure.toStdString();
        std::map<QString, QString> sinkNames;
        for (const QString& line : sinks.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            sinkNames[line.section(QLatin1Char('\t'), 0, 0)] = line.section(QLatin1Char('\t'), 1, 1);
        const QString ours = QStringLiteral("application.process.id = \"%1\"").arg(QCoreApplication::applicationPid());
        std::vector<ServerStream> streams;
        for (const QString& block : inputs.split(QStringLiteral("Sink Input #"), Qt::SkipEmptyParts)) {
            if (!block.contains(ours))
                continue;
            ServerStream stream;
            for (const QString& line : block.split(QLatin1Char('\n'))) {
                const QString field = line.trimmed();
                if (field.startsWith(QLatin1String("Sink: ")))
                    stream.sink = sinkNames[field.mid(6)];
                else if (field.startsWith(QLatin1String("Volume: ")))
                    stream.volume = pactlVolumes(field);
            }
            streams.push_back(stream);
        }
        return streams;
    }

    // The server mixes into the sink's channels, so the stream has as many as the sink.
    bool oneStreamOnTheSpeakerAt(pa_volume_t volume) const
    {
        const std::vector<ServerStream> streams = ourStreams();
        return streams.size() == 1 && streams[0].sink == QLatin1String("speaker") && !streams[0].volume.isEmpty()
            && streams[0].volume.count(volume) == streams[0].volume.size();
    }

    PrivatePulseAudio pulse;
    QTemporaryDir dir;
    AudioPlaybackGst playback;
    QString clip;
    double clipMs = 0;
};

TEST_F(AudioPlaybackGstTest, RefusesFilesThatDoNotDecodeAsSound)
{
    QFile whole(clip);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray clipBytes = whole.readAll();
    struct Case {
        const char* name;
        std::optional<QByteArray> contents;  // none: the file is not there
    };
    const Case cases[] = {
        {"missing", std::nullopt},
        {"empty", QByteArray()},
        {"text", QByteArray("a note, not a recording\n")},
        // The muxer writes the index last, so the first half of a clip has none.
        {"truncated", clipBytes.left(clipBytes.size() / 2)},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        const QString path = dir.filePath(QString::fromLatin1(test.name) + QStringLiteral(".m4a"));
        if (test.contents) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(*test.contents);
        }
        AudioWarnings warnings;
        QString error;
        EXPECT_EQ(playback.initWithContentsOfURL(path, &error), nullptr);
        EXPECT_TRUE(error.contains(path)) << error.toStdString();
        EXPECT_EQ(warnings.lines.size(), 1) << "the caller keeps the reason to itself, so the log says it";
    }
}

// The clip sounds on the default sink at the player's volume (linear, as the server's mixer
// shows it cubed), follows a change while playing, lasts in real time and leaves no stream.
TEST_F(AudioPlaybackGstTest, PlaysOnceOnTheDefaultSinkAtItsVolumeAndClosesItsStream)
{
    const auto player = open(playback);
    ASSERT_TRUE(player);
    player->setVolume(0.25f);
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(player->play());
    EXPECT_TRUE(player->isPlaying());
    EXPECT_TRUE(waitFor([&] { return oneStreamOnTheSpeakerAt(pa_sw_volume_from_linear(0.25)); }));
    player->setVolume(1.0f);
    EXPECT_TRUE(waitFor([&] { return oneStreamOnTheSpeakerAt(PA_VOLUME_NORM); }));

    ASSERT_TRUE(waitFor([&] { return !player->isPlaying(); }, 10s));
    EXPECT_GE(elapsed.elapsed(), shortestPassMs()) << "heard in real time";
    EXPECT_EQ(player->passesPlayed(), 1);
    EXPECT_TRUE(waitFor([&] { return ourStreams().empty(); }, 1s)) << "the stream closes with the end";
}

// One loop is a second pass in the same stream; play() in the middle starts over with the
// full count again.
TEST_F(AudioPlaybackGstTest, LoopsPlayTheFileAgainAndPlayStartsOver)
{
    const auto player = open(playback);
    ASSERT_TRUE(player);
    player->setNumberOfLoops(1);
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(waitFor([&] { return player->passesPlayed() == 1; }, 10s));
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(ourStreams().size(), 1u);

    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(waitFor([&] { return !player->isPlaying(); }, 15s));
    EXPECT_EQ(player->passesPlayed(), 3);
    EXPECT_GE(elapsed.elapsed(), 2 * shortestPassMs()) << "two passes after the restart, in real time";
    EXPECT_TRUE(waitFor([&] { return ourStreams().empty(); }, 1s));
}

TEST_F(AudioPlaybackGstTest, EndlessLoopsSoundUntilThePlayerIsDestroyed)
{
    auto player = open(playback);
    ASSERT_TRUE(player);
    player->setNumberOfLoops(-1);
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(waitFor([&] { return player->passesPlayed() == 3; }, 20s));
    EXPECT_TRUE(player->isPlaying());
    EXPECT_EQ(ourStreams().size(), 1u);
    player.reset();
    EXPECT_TRUE(waitFor([&] { return ourStreams().empty(); }, 1s));
}

// Without a sink to sound through, play() fails at once and says so in one line.
TEST_F(AudioPlaybackGstTest, PlayFailsWithOneWarningWhenTheSinkCannotStart)
{
    const QByteArray nobody = "unix:" + dir.filePath(QStringLiteral("nobody-listens")).toLocal8Bit();
    struct Case {
        const char* name;
        AudioPlaybackGst::SinkFactory makeSink;
    };
    const Case cases[] = {
        {"no sink element", [] { return static_cast<GstElement*>(nullptr); }},
        {"no sound server",
         [&nobody] {
             GstElement* sink = AudioPlaybackGst::defaultOutput()();
             if (sink)
                 g_object_set(sink, "server", nobody.constData(), nullptr);
             return sink;
         }},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        AudioPlaybackGst service(test.makeSink);
        const auto player = open(service);
        ASSERT_TRUE(player);
        AudioWarnings warnings;
        EXPECT_FALSE(player->play());
        EXPECT_FALSE(player->isPlaying());
        ASSERT_EQ(warnings.lines.size(), 1) << warnings.lines.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(warnings.lines[0].contains(clip)) << warnings.lines[0].toStdString();
    }
}

}  // namespace
