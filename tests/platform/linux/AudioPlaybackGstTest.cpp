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
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gst/gst.h>
#include <pulse/volume.h>

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

using namespace uvccam::platform;
using namespace uvccam::testing;
using namespace std::chrono_literals;

namespace {

// The warnings on the audio backend's category while it lives.
struct AudioWarnings {
    AudioWarnings() : previous(qInstallMessageHandler(&record)) { lines().clear(); }
    ~AudioWarnings() { qInstallMessageHandler(previous); }
    static QStringList& lines()
    {
        static QStringList heard;
        return heard;
    }
    static void record(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        if (type >= QtWarningMsg && context.category && qstrcmp(context.category, "uvccam.linux.audio") == 0)
            lines() << text;
    }
    QtMessageHandler previous;
};

// Half a second of a 440 Hz tone, played on a private sound server whose default sink is
// "speaker", through the production sink.
class AudioPlaybackGstTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(pulse.error(), QString());
        std::vector<std::int16_t> samples(8000);
        for (std::size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<std::int16_t>(8000 * std::sin(2 * M_PI * 440 * double(i) / 16000));
        ASSERT_TRUE(writeM4aFile(clip, samples, 16000, 1));
        // The container's duration counts the encoder's priming, which the decoder trims, so
        // a pass heard in real time lasts a little less; half of it is a safe least.
        shortestPassMs = probeAudioFileDuration(clip).value_or(0) * 1000 / 2;
        ASSERT_GT(shortestPassMs, 0);
    }

    std::shared_ptr<AudioPlayerGst> open(AudioPlaybackService& service)
    {
        return std::dynamic_pointer_cast<AudioPlayerGst>(service.initWithContentsOfURL(clip, nullptr));
    }

    // This process's streams on the server, each as its channels' volumes when it plays on
    // "speaker" and as none on any other sink.
    std::vector<QList<unsigned>> ourStreams() const
    {
        static const QRegularExpression speakerLine(QStringLiteral("^(\\d+)\tspeaker\t"),
                                                    QRegularExpression::MultilineOption);
        const QString speaker = speakerLine.match(pulse.pactl({"list", "short", "sinks"})).captured(1);
        const QString ours = QStringLiteral("application.process.id = \"%1\"").arg(QCoreApplication::applicationPid());
        std::vector<QList<unsigned>> streams;
        for (const QString& block : pulse.pactl({"list", "sink-inputs"}).split(QStringLiteral("Sink Input #"))) {
            if (!block.contains(ours))
                continue;
            const bool onSpeaker = block.contains(QStringLiteral("\tSink: %1\n").arg(speaker));
            const QString volumeLine = block.section(QStringLiteral("Volume: "), 1);
            streams.push_back(onSpeaker ? pactlVolumes(volumeLine) : QList<unsigned>());
        }
        return streams;
    }

    // The server mixes into the sink's channels, so the stream has as many as the sink.
    bool oneSpeakerStreamAt(pa_volume_t volume) const
    {
        const auto streams = ourStreams();
        return streams.size() == 1 && !streams[0].isEmpty() && streams[0].count(volume) == streams[0].size();
    }

    PrivatePulseAudio pulse;
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.m4a"));
    double shortestPassMs = 0;
    AudioPlaybackGst playback;
};

TEST_F(AudioPlaybackGstTest, RefusesFilesThatDoNotDecodeAsSoundAndSaysWhy)
{
    QFile whole(clip);
    ASSERT_TRUE(whole.open(QIODevice::ReadOnly));
    const QByteArray clipBytes = whole.readAll();
    const std::pair<const char*, std::optional<QByteArray>> cases[] = {
        {"missing", std::nullopt},
        {"empty", QByteArray()},
        {"text", QByteArray("a note, not a recording\n")},
        // The muxer writes the index last, so the first half of a clip has none.
        {"truncated", clipBytes.left(clipBytes.size() / 2)},
    };
    for (const auto& [name, contents] : cases) {
        SCOPED_TRACE(name);
        const QString path = dir.filePath(QString::fromLatin1(name));
        QFile file(path);
        ASSERT_TRUE(!contents || (file.open(QIODevice::WriteOnly) && file.write(*contents) == contents->size()));
        file.close();
        const AudioWarnings warnings;
        QString error;
        EXPECT_EQ(playback.initWithContentsOfURL(path, &error), nullptr);
        EXPECT_TRUE(error.contains(path)) << error.toStdString();
        EXPECT_EQ(warnings.lines().size(), 1) << "the library's caller keeps the reason to itself";
    }
}

// At the player's volume (linear; the server's mixer shows it cubed), also when changed while
// playing, in real time, and the stream is gone with the end.
TEST_F(AudioPlaybackGstTest, PlaysOnceOnTheDefaultSinkAtItsVolumeAndClosesItsStream)
{
    const auto player = open(playback);
    ASSERT_TRUE(player);
    player->setVolume(0.25f);
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(player->play());
    EXPECT_TRUE(waitFor([&] { return oneSpeakerStreamAt(pa_sw_volume_from_linear(0.25)); }));
    player->setVolume(1.0f);
    EXPECT_TRUE(waitFor([&] { return oneSpeakerStreamAt(PA_VOLUME_NORM); }));

    ASSERT_TRUE(waitFor([&] { return !player->isPlaying(); }, 10s));
    EXPECT_GE(elapsed.elapsed(), shortestPassMs);
    EXPECT_EQ(player->passesPlayed(), 1);
    EXPECT_TRUE(waitFor([&] { return ourStreams().empty(); }, 1s));
}

// A loop is a second pass in the same stream; play() in the middle starts over with the full
// count: one pass, then two more.
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
    EXPECT_GE(elapsed.elapsed(), 2 * shortestPassMs);
}

TEST_F(AudioPlaybackGstTest, EndlessLoopsSoundUntilThePlayerIsDestroyed)
{
    auto player = open(playback);
    ASSERT_TRUE(player);
    player->setNumberOfLoops(-1);
    ASSERT_TRUE(player->play());
    ASSERT_TRUE(waitFor([&] { return player->passesPlayed() == 3; }, 20s));
    EXPECT_TRUE(player->isPlaying());
    player.reset();
    EXPECT_TRUE(waitFor([&] { return ourStreams().empty(); }, 1s));
}

TEST_F(AudioPlaybackGstTest, PlayFailsAtOnceWithOneWarningWithoutASoundServer)
{
    const QByteArray nobody = "unix:" + dir.filePath(QStringLiteral("nobody-listens")).toLocal8Bit();
    AudioPlaybackGst unreachable([&nobody] {
        GstElement* sink = AudioPlaybackGst::defaultOutput()();
        if (sink)
            g_object_set(sink, "server", nobody.constData(), nullptr);
        return sink;
    });
    const auto player = open(unreachable);
    ASSERT_TRUE(player);
    const AudioWarnings warnings;
    EXPECT_FALSE(player->play());
    EXPECT_FALSE(player->isPlaying());
    ASSERT_EQ(warnings.lines().size(), 1) << warnings.lines().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(warnings.lines()[0].contains(clip)) << warnings.lines()[0].toStdString();
}

}  // namespace
