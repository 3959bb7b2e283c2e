// A video data output of a GStreamer capture session: the frames wanted and who receives them.
#pragma once

#include "platform/CaptureService.h"

#include <memory>

namespace uvccam::platform {

// Settings and delegate only: the session that holds the output reads them when it builds
// its pipeline and hands each frame to the delegate, which is held weakly. Late frames are
// always dropped, never queued, whatever alwaysDiscardsLateVideoFrames says: a camera's
// frames are worth nothing once a newer one exists.
class VideoDataOutputGst : public VideoDataOutput {
public:
    void setVideoSettings(const VideoSettings& settings) override;
    VideoSettings videoSettings() const override;
    void setAlwaysDiscardsLateVideoFrames(bool discard) override;
    bool alwaysDiscardsLateVideoFrames() const override;
    void setSampleBufferDelegate(std::weak_ptr<SampleBufferDelegate> delegate) override;
    std::shared_ptr<SampleBufferDelegate> sampleBufferDelegate() const override;

private:
    VideoSettings settings_;
    bool discardsLateFrames_ = false;
    std::weak_ptr<SampleBufferDelegate> delegate_;
};

}  // namespace uvccam::platform
