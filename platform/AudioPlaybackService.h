// Playing a sound file once, as the test-clip playback needs.
#pragma once

#include <QString>

#include <memory>

namespace uvccam::platform {

class AudioPlayer {
public:
    virtual ~AudioPlayer() = default;
    // 0 plays the sound once.
    virtual void setNumberOfLoops(int loops) = 0;
    virtual void setVolume(float volume) = 0;
    virtual bool play() = 0;
};

class AudioPlaybackService {
public:
    virtual ~AudioPlaybackService() = default;
    // A player for the file, or nullptr (and the reason in `error`) when it cannot be read.
    virtual std::shared_ptr<AudioPlayer> initWithContentsOfURL(const QString& path, QString* error) = 0;
};

}  // namespace uvccam::platform
