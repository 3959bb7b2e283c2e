// Recording the test clip with its level meter, then playing it back.
#pragma once

#include "Session.h"

#include <optional>

namespace uvccamctl {

struct RecordResult {
    QString file;           // the clip, or empty when it could not be found
    int levelReadings = 0;  // updateVolume signals received
    int lowestLevel = 0;
    int highestLevel = 0;
    bool playing = false;   // the library took the playback request
    bool deviceLeft = false;
    bool interrupted = false;
};

// Records the library's 10-second clip from the selected device's microphone and asks
// for its playback; none when the library refused to record. With `voice` the simulated
// microphone hears a voice rising and falling, so that the meter has something to show.
// Shows the level meter and the progress on a terminal.
std::optional<RecordResult> recordClip(Session& session, bool voice);

}  // namespace uvccamctl
