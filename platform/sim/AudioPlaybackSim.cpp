// Players that check their file with GStreamer and log their plays for the tests to read.
#include "platform/sim/AudioPlaybackSim.h"

#include "platform/linux/AudioFileProbeGst.h"

namespace uvccam::platform {

namespace {

class AudioPlayerSim : public AudioPlayer {
public:
    AudioPlayerSim(std::weak_ptr<AudioPlaybackSim::State> state, QString path, double duration)
        : state_(std::move(state)), path_(std::move(path)), duration_(duration)
    {
    }

    void setNumberOfLoops(int loops) override { loops_ = loops; }
    void setVolume(float volume) override { volume_ = volume; }

    bool play() override
    {
        auto state = state_.lock();
        if (!state)
            return false;
        state->plays.push_back({path_, duration_, loops_, volume_, state->runLoop->now()});
        return true;
    }

private:
    std::weak_ptr<AudioPlaybackSim::State> state_;
    QString path_;
    double duration_;
    int loops_ = 0;
    float volume_ = 1.0f;
};

}  // namespace

AudioPlaybackSim::AudioPlaybackSim(RunLoop& runLoop)
{
    state_->runLoop = &runLoop;
}

std::shared_ptr<AudioPlayer> AudioPlaybackSim::initWithContentsOfURL(const QString& path, QString* error)
{
    const auto duration = probeAudioFileDuration(path, error);
    if (!duration)
        return nullptr;
    return std::make_shared<AudioPlayerSim>(state_, path, *duration);
}

}  // namespace uvccam::platform
