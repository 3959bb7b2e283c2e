// One sound file played through GStreamer's playbin into a given sink, its bus read on the main thread.
#pragma once

#include "platform/AudioPlaybackService.h"

#include <QString>

#include <functional>
#include <memory>

typedef struct _GstElement GstElement;
typedef struct _GstMessage GstMessage;
typedef struct _GstBus GstBus;

namespace uvccam::platform {

class GstBusReader;

// The player's pipeline is one playbin, made at the first play() and kept for the player's
// life. It holds the sound server's stream only while it plays: at the end of the last pass,
// at an error and at destruction it goes to NULL, which closes the stream. Between passes it
// seeks back to the start, so a loop stays one stream.
//
// The bus is read on the main thread through a socket notifier, so the player works under
// any Qt event dispatcher. Make, use and destroy it on the main thread.
class AudioPlayerGst : public AudioPlayer {
public:
    // Makes the element the sound goes to; nullptr when it cannot be made. Called at the
    // first play(), and at every later one until a pipeline could be made.
    using SinkFactory = std::function<GstElement*()>;

    AudioPlayerGst(QString path, SinkFactory makeSink);
    // Stops the sound at once.
    ~AudioPlayerGst() override;
    AudioPlayerGst(const AudioPlayerGst&) = delete;
    AudioPlayerGst& operator=(const AudioPlayerGst&) = delete;

    // 0 plays the file once, n plays it n + 1 times, a negative count until the player is
    // destroyed. A change while playing counts the passes already heard.
    void setNumberOfLoops(int loops) override { loops_ = loops; }
    // 0 to 1 (outside that, the nearest end), linear in amplitude; applied at once when playing.
    void setVolume(float volume) override;
    // Starts from the beginning, also while playing. False, with one warning on
    // `uvccam.linux.audio`, when the pipeline cannot start (no sink, no sound server).
    bool play() override;

    bool isPlaying() const { return playing_; }
    // How many times the file has been heard to its end, over the player's life.
    int passesPlayed() const { return passesPlayed_; }
    const QString& path() const { return path_; }

private:
    bool buildPipeline();
    void readBus();
    void endOfPass();
    void fail(const QString& reason);
    void stop();

    QString path_;
    SinkFactory makeSink_;
    int loops_ = 0;
    double volume_ = 1.0;
    bool playing_ = false;
    int passesThisPlay_ = 0;
    int passesPlayed_ = 0;

    GstElement* pipeline_ = nullptr;
    GstBus* bus_ = nullptr;
    std::unique_ptr<GstBusReader> busReader_;
};

}  // namespace uvccam::platform
