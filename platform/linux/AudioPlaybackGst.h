// Playback on Linux: players for sound files that GStreamer decodes, heard through the sound server.
#pragma once

#include "platform/AudioPlaybackService.h"
#include "platform/linux/AudioPlayerGst.h"

namespace uvccam::platform {

// Makes an AudioPlayerGst for every file that decodes as sound, each sounding through a sink
// of the factory's making. Players keep their own copy of the factory, so they may outlive
// the service.
class AudioPlaybackGst : public AudioPlaybackService {
public:
    using SinkFactory = AudioPlayerGst::SinkFactory;

    // Production: pulsesink with no device named, the sound server's default output
    // (PulseAudio, or the PulseAudio server of PipeWire), the one the user picked last.
    static SinkFactory defaultOutput();

    explicit AudioPlaybackGst(SinkFactory makeSink = defaultOutput());

    // nullptr, with the reason in `error` and on `uvccam.linux.audio`, for a file that is
    // missing or does not decode as sound; the file is read here, so a player's play() fails
    // only for want of a sink.
    std::shared_ptr<AudioPlayer> initWithContentsOfURL(const QString& path, QString* error) override;

private:
    SinkFactory makeSink_;
};

}  // namespace uvccam::platform
