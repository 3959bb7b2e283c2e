// Simulated playback: a file must decode to be played, and every play is recorded, not heard.
#pragma once

#include "platform/AudioPlaybackService.h"
#include "platform/RunLoop.h"

#include <memory>
#include <vector>

namespace uvccam::platform {

class AudioPlaybackSim : public AudioPlaybackService {
public:
    // One play() of a player, as it was set up at that moment.
    struct Play {
        QString path;
        double durationSeconds = 0;
        int loops = 0;
        float volume = 1.0f;
        TimePoint at{};  // run-loop time of the call
    };

    explicit AudioPlaybackSim(RunLoop& runLoop);

    // Probes the file for real (it must be a sound file that decodes).
    std::shared_ptr<AudioPlayer> initWithContentsOfURL(const QString& path, QString* error) override;

    // Every play so far, oldest first.
    const std::vector<Play>& plays() const { return state_->plays; }

    // Shared with the players, which may outlive the service and then play into nothing.
    struct State {
        RunLoop* runLoop = nullptr;
        std::vector<Play> plays;
    };

private:
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

}  // namespace uvccam::platform
