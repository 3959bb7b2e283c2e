// Streaming the selected camera for a while, counting frames and keeping one as a picture.
#pragma once

#include "CommandLine.h"
#include "Session.h"

#include <optional>

namespace uvccamctl {

struct StreamRequest {
    std::optional<int> frames;      // stop after this many frames
    std::optional<double> seconds;  // stop after this long
    QString snapshot;               // a PNG file to write the last frame to, or empty
};

struct StreamResult {
    int frames = 0;
    double seconds = 0;           // how long the stream ran
    std::optional<double> rate;   // frames per second, from the first frame to the last
    int width = 0;
    int height = 0;
    int frameBytes = 0;
    bool deviceLeft = false;
    bool interrupted = false;
    QString snapshotProblem;      // why the snapshot was not written, or empty
};

// Reads "--snapshot FILE.png", refusing another suffix or a directory that is not there.
std::optional<QString> takeSnapshotOption(Arguments& arguments);
// "30 frames in 1.00 s, 30.0 frames per second (640 x 360, 460800 bytes each)".
QString describeStream(const StreamResult& result);

// Streams until the request is met, Ctrl-C, or the camera leaves; none when the library
// refused to start the stream. Shows a status line on a terminal.
std::optional<StreamResult> streamFrames(Session& session, const StreamRequest& request);

}  // namespace uvccamctl
